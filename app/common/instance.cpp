#include "app/common/instance.h"

#include <iostream>
#include <string>

#include "app/common/lifecycle.h"
#include "base/termination.h"
#include "platform/filesys.h"
#include "platform/msgbox.h"
#include "platform/process.h"
#include "runtime/config_paths.h"

namespace app {

bool ClaimInstallation() {
  const std::string installation = rt::GetInstallationFolder();
  if (!platform::LockFolderForLife(installation)) return false;
  // Only the holder of the installation may clear temporaries: those of a
  // running writer are its own, and their owners are checked as well.
  for (const char* folder : {"", "\\Start", "\\parameter", "\\program", "\\standard"})
    platform::RemoveStaleTemporaries(installation + folder);
  return true;
}

platform::MessageBox SecondStartBox() {
  return {platform::ProgramFileName() + " is already running for " + rt::GetInstallationFolder(),
          platform::ProgramFileName(), platform::Buttons::OK, platform::Icon::Stop, 0};
}

int RefuseSecondStart(const std::function<void()>& beforeErrors) {
  const platform::MessageBox refusal = SecondStartBox();
  try {
    platform::ShowMessageBox(refusal);
  } catch (const platform::EndRequest&) {
  }
  if (beforeErrors) beforeErrors();
  std::cerr << "Start_Config: " << refusal.text << "; this start ends without writing anything\n";
  return kExitOther;
}

}  // namespace app
