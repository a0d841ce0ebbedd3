// Leaving the step without OK: Cancel and the window's close box ask the same
// question; "Yes" leaves the cancel mark for the configuration tool, logs the
// cancellation and ends the process, so the tool aborts the whole procedure. A
// step left without being asked (its script or terminal gone, the process told
// to end) leaves the same mark, so the tool never takes it for done.
#include <iostream>
#include <string>

#include "base/failure.h"
#include "base/termination.h"
#include "form/program_ini_keys.h"
#include "form/start_config_form.h"
#include "platform/msgbox.h"
#include "platform/process.h"
#include "runtime/command_line.h"
#include "runtime/config_paths.h"
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

// The configuration tool learns of the cancellation only through the mark, so
// a mark that was not written is reported like every other failed write.
void WriteCancelMark(const std::string& configurationIni) {
  rt::SaveIniChecked(platform::ProgramFileName(), keys::kCommon, keys::kConfigExeCancel,
                     configurationIni, rt::KVXConfigurationIniPlace());
}

// The status of a cancel that has left its mark and log line; 0 before.
int cancelledWith = 0;

// Mark, log line, end: the status tells whether all of it went well, and
// whether any settings write of the run failed before.
[[noreturn]] void EndCancelled(const std::string& configurationIni, const rt::Trap& step) {
  const uint32_t failuresBefore = rt::ReportedFailures();
  step([&] { WriteCancelMark(configurationIni); });
  step([&] { rt::SyncWrites(); });
  std::string notice;
  step([&] { notice = rt::WriteErrorLog(CancelLogLine(), false); });
  const bool failed = rt::ReportedFailures() != failuresBefore || rt::FailedSettingsWrites() != 0;
  // The cancel is done: a signal or the input gone while its notice shows
  // ends with this status, and writes no second mark or log line.
  cancelledWith = failed ? kExitEndedWithFailures : kExitCancelled;
  platform::DeferEndRequests();
  step([&] { rt::ReportFault(notice); });
  platform::EndProcess(cancelledWith);
}

}  // namespace

void frm_Start_Config_Exe::CommandCancel_Click() {
  if (rt::DivertsToHelp()) {
    rt::ShowHelp(*CommandCancel);
    return;
  }
  if (platform::ShowMessageBox(CancelQuestion()) != platform::Answer::Yes) return;
  // The handler has no trap of its own; the mark's failure is reported under its name.
  EndCancelled(ConfigurationIniPath, rt::Trap("CommandCancel_Click"));
}

void frm_Start_Config_Exe::Form_QueryUnload(bool& cancel, int /*unloadMode*/) {
  const rt::Trap step("Form_QueryUnload");
  platform::Answer answer = platform::Answer::No;
  step([&] { answer = platform::ShowMessageBox(CancelQuestion()); });
  if (answer != platform::Answer::Yes) {
    cancel = true;
    return;
  }
  EndCancelled(ConfigurationIniPath, step);
}

bool frm_Start_Config_Exe::LeaveWithoutOK() {
  if (cancelledWith != 0) platform::EndProcess(cancelledWith);
  // Nobody is there to answer: no box, no further end request, no report that
  // could ask "Resume?".
  platform::DeferEndRequests();
  platform::SetMessageBoxHandler(nullptr);
  rt::QuietReports quiet;
  std::string configurationIni = ConfigurationIniPath;
  bool written = false;
  const rt::Trap step("LeaveWithoutOK");
  // Left before the load handler came this far: the mode decides where the log goes.
  step([&] { rt::GetStartModeIntegrated(); });
  if (configurationIni.empty()) step([&] { configurationIni = rt::GetKVXConfigurationIniPath(); });
  step([&] {
    WriteCancelMark(configurationIni);
    written = true;
  });
  step([&] { rt::WriteErrorLog(CancelLogLine(), false); });
  if (!written) {
    const std::string line =
        "Start_Config: the cancel mark could not be written to " +
        (configurationIni.empty() ? rt::KVXConfigurationIniPlace() : configurationIni);
    std::cerr << line << "\n";
    step([&] { rt::WriteErrorLog(line, false); });
  }
  return written;
}
