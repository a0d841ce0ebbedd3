#include "app/common/lifecycle.h"

#include <iostream>

#include "app/common/instance.h"
#include "platform/process.h"

namespace app {

void ClaimOrEnd(const BeforeEnd& beforeEnd) {
  if (!ClaimInstallation()) platform::EndProcess(RefuseSecondStart(beforeEnd));
}

void EndOnRequest(frm_Start_Config_Exe& form, int signal, const BeforeEnd& beforeEnd) {
  if (beforeEnd) beforeEnd();
  form.LeaveWithoutOK();
  platform::EndProcess(kExitSignalBase + signal);
}

void EndWithWindowOpen(frm_Start_Config_Exe& form, const std::string& why,
                       const BeforeEnd& beforeEnd) {
  if (beforeEnd) beforeEnd();
  const bool marked = form.LeaveWithoutOK();
  if (!why.empty())
    std::cerr << "Start_Config: " << why << "; the step is left without OK"
              << (marked ? " and the cancel mark is written\n" : "\n");
  platform::EndProcess(kExitWindowOpen);
}

void EndOnFailure(frm_Start_Config_Exe& form, const std::exception& failure,
                  const BeforeEnd& beforeEnd) {
  EndWithWindowOpen(form, std::string("the step failed (") + failure.what() + ")", beforeEnd);
}

}  // namespace app
