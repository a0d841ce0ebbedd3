// Leaving the step without OK: Cancel and the window's close box ask the same
// question; "Yes" leaves the cancel mark for the configuration tool, logs the
// cancellation and ends the process, so the tool aborts the whole procedure.
#include <string>

#include "form/program_ini_keys.h"
#include "form/start_config_form.h"
#include "platform/failure.h"
#include "platform/msgbox.h"
#include "platform/process.h"
#include "runtime/command_line.h"
#include "runtime/errors.h"
#include "runtime/help_mode.h"
#include "runtime/ini_access.h"

namespace {

platform::MessageBox CancelQuestion() {
  const std::string text = std::string("Cancel configuration?") + rt::kLfCr + "\"Yes\"" +
                           " will abort the whole procedure!";
  // "No" is the default: Enter must not throw the configuration away.
  return {text, "Cancel?", platform::Buttons::YesNo, platform::Icon::Stop, 1};
}

std::string CancelLogLine() {
  return "Konfigurations-EXE wurde abgebrochen:     " + rt::GetOCXName();
}

// The configuration tool learns of the cancellation only through the mark; when
// it cannot be written the tool would take the step for done, so the user must
// hear of it.
platform::Failure MarkNotWritten(const std::string& configurationIni) {
  return platform::Failure(
      platform::kPathFileAccessError, platform::kProjectName,
      "The cancel mark ConfigExeCancel could not be written to \"" + configurationIni + "\"");
}

int16_t WriteCancelMark(const std::string& configurationIni) {
  return rt::SaveIni(platform::ProgramFileName(), keys::kCommon, keys::kConfigExeCancel,
                     configurationIni);
}

}  // namespace

void frm_Start_Config_Exe::CommandCancel_Click() {
  if (rt::HelpMode) {
    rt::ShowHelp(*CommandCancel);
    return;
  }
  if (platform::ShowMessageBox(CancelQuestion()) != platform::Answer::Yes) return;
  if (WriteCancelMark(ConfigurationIniPath) == 0)
    rt::Trap("CommandCancel_Click").Report(MarkNotWritten(ConfigurationIniPath));
  rt::WriteErrorLog(CancelLogLine(), true);
  platform::EndProcess(kExitCancelled);
}

void frm_Start_Config_Exe::Form_QueryUnload(bool& cancel, int /*unloadMode*/) {
  const rt::Trap step("Form_QueryUnload");
  platform::Answer answer = platform::Answer::No;
  step([&] { answer = platform::ShowMessageBox(CancelQuestion()); });
  if (answer != platform::Answer::Yes) {
    cancel = true;
    return;
  }
  int16_t written = 0;
  step([&] { written = WriteCancelMark(ConfigurationIniPath); });
  step([&] {
    if (written == 0) throw MarkNotWritten(ConfigurationIniPath);
  });
  step([&] { rt::WriteErrorLog(CancelLogLine(), true); });
  platform::EndProcess(kExitCancelled);
}
