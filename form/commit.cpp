// OK: the commit of the step. The files are copied first, then every setting of
// the window goes to Program.ini and the presets file, the CFG file is stamped,
// and the process ends.
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>

#include "form/program_ini_keys.h"
#include "form/start_config_form.h"
#include "platform/number.h"
#include "platform/process.h"
#include "runtime/config_paths.h"
#include "runtime/edit_info.h"
#include "runtime/errors.h"
#include "runtime/help_mode.h"
#include "runtime/ini_access.h"

namespace {

constexpr int kDefaultPasswordLevels = 4;  // levels 1..4 get a digit, level 5 the letter
constexpr int kPasswordKeys = 3;
constexpr int kLanguages = 4;
constexpr int kServiceCounters = 5;

// The default password of levels 1 to 4: one decimal digit, the level's own
// number, so that the lower levels are easy to hand out on site.
int32_t DefaultPassword(int level) {
  return static_cast<int32_t>(level % 10);
}

// The box keeps a whole number in the form it was typed ("1e3", " 7 ", "+7");
// the file gets the number in plain digits, so every reader of Program.ini sees
// the value the installer saw accepted. A text that was not accepted (too large
// for the box's 16-bit value) stays as typed: the installer was told.
std::string SpeedFactorText(const std::string& typed) {
  const std::optional<double> x = platform::ParseNumber(typed);
  if (!x || *x != std::floor(*x) || *x < INT16_MIN || *x > INT16_MAX) return typed;
  return std::to_string(static_cast<int>(*x));
}

}  // namespace

void frm_Start_Config_Exe::CommandOK_Click() {
  if (rt::DivertsToHelp()) {
    rt::ShowHelp(*CommandOK);
    return;
  }
  const rt::Trap step("CommandOK_Click");
  step([&] { CommandOK->SetEnabled(false); });
  step([&] { CommandCancel->SetEnabled(false); });
  step([&] { CloseMe(); });
}

void frm_Start_Config_Exe::CloseMe() {
  const rt::Trap step("CloseMe");
  const uint32_t failuresBefore = rt::ReportedFailures();
  step([&] { window.DoEvents(); });
  step([&] { window.SetMousePointer(ui::MousePointer::Hourglass); });
  step([&] { CopyFiles(); });
  step([&] { WriteInputs(); });
  // Durable before the status is told: a file that did not reach the disk is a
  // failure like a write that did not happen.
  step([&] { rt::SyncWrites(); });
  // Everything is written: a request to end the process now changes nothing.
  platform::DeferEndRequests();
  step([&] { window.SetMousePointer(ui::MousePointer::Default); });
  // A failure the installer resumed past still leaves the commit incomplete, and
  // the status must not say otherwise; nor may it hide a settings write that
  // failed before OK (a takeover's marks, the start-up's), which may have left
  // a stale cancel mark behind.
  const bool failed = rt::ReportedFailures() != failuresBefore || rt::FailedSettingsWrites() != 0;
  platform::EndProcess(failed ? kExitEndedWithFailures : kExitCommitted);
}

void frm_Start_Config_Exe::WriteInputs() {
  const rt::Trap step("WriteInputs");
  std::string valid, ini;
  step([&] { valid = rt::GetValidMachines(); });
  step([&] { ini = rt::GetProgramIniPath(2); });
  // Every write is checked: a setting that did not reach the disk is reported,
  // naming Program.ini even when it is missing and its path therefore empty.
  std::string programIni;
  step([&] { programIni = rt::GetInstallationFolder() + "\\parameter\\Program.ini"; });
  const auto SaveIni = [&programIni](const rt::IniValue& value, const std::string& section,
                                     const std::string& key, const std::string& file) {
    rt::SaveIniChecked(value, section, key, file, programIni);
  };

  // Without the configuration tool's machine list the count fails and is
  // reported, and NumberOfMachines keeps what it held instead of becoming 0.
  int machines = 0;
  step([&] {
    machines = rt::MachineCount();
    SaveIni(static_cast<int32_t>(machines), keys::kProject, keys::kNumberOfMachines, ini);
  });
  step([&] {
    const std::string supplier = ComboSupplier->ListIndex() == 0 ? "" : ComboSupplier->Text();
    SaveIni(supplier, keys::kProject, keys::kSupplier, ini);
  });
  step([&] {
    SaveIni(static_cast<int32_t>(ComboSteuerung->ListIndex()), keys::kProject, keys::kControl, ini);
  });
  step([&] {
    SaveIni(static_cast<int32_t>(ComboDateFormat->ListIndex()), keys::kProject, keys::kDateFormat,
            ini);
  });
  step(
      [&] { SaveIni(keys::kMachineSelectionValue, keys::kProject, keys::kMachineSelection, ini); });
  step([&] { SaveIni(keys::kServicePictureValue, keys::kProject, keys::kServicePicture, ini); });
  step([&] { TimeChanging = CheckTimeChanging->Value() == 1; });
  step([&] { SaveIni(TimeChanging, keys::kProject, keys::kTimeChanging, ini); });
  for (int k = 1; k <= kLanguages; ++k)
    step([&] { SaveIni(int32_t{0}, keys::kProject, keys::LanguageKey(k), ini); });
  step([&] { SaveIni(MonitorResolution, keys::kProject, keys::kResolution, ini); });
  for (int k = 1; k <= kServiceCounters; ++k)
    step([&] { SaveIni(int32_t{0}, keys::kProject, keys::OrderOfServiceCounterKey(k), ini); });

  for (int level = 1; level <= kDefaultPasswordLevels; ++level) {
    const std::string section = keys::PasswordSection(level);
    step([&] { SaveIni(DefaultPassword(level), section, keys::kWord, ini); });
    step([&] { SaveIni("false", section, keys::kKeyboard, ini); });
    for (int k = 1; k <= kPasswordKeys; ++k)
      step([&] { SaveIni("false", section, keys::PasswordKey(k), ini); });
  }
  {
    const std::string section = keys::PasswordSection(keys::kPasswordLevels);
    step([&] { SaveIni("Z", section, keys::kWord, ini); });
    step([&] { SaveIni("true", section, keys::kKeyboard, ini); });
    for (int k = 1; k <= kPasswordKeys; ++k)
      step([&] { SaveIni("false", section, keys::PasswordKey(k), ini); });
  }

  for (int n = 1; n <= machines; ++n) {
    bool isValid = false;
    step([&] { isValid = rt::IsValidMachine(valid, rt::ExistingMachines.at(n)); });
    if (!isValid) continue;
    const std::string section = keys::MachineSection(n);
    step([&] { SaveIni(rt::ExistingMachines.at(n), section, keys::kMachineName, ini); });
    step([&] {
      const std::string factor = Element(TextSpeedFactor, n).Text();
      if (factor.empty())
        SaveIni(int32_t{1}, section, keys::kSpeedFactor, ini);
      else
        SaveIni(SpeedFactorText(factor), section, keys::kSpeedFactor, ini);
    });
    step([&] { SaveIni(int32_t{0}, section, keys::kNumberOfCams, ini); });
    step([&] { SaveIni(int32_t{0}, section, keys::kNumberOfServos, ini); });
  }

  step([&] {
    if (GetVisuVersion() == kVisuVWStudio)
      SaveIni(keys::kVWStudioValue, keys::kProject, keys::kVWStudio, ini);
  });
  step([&] { SaveIni(NumberOfRejects, keys::kProject, keys::kNumberOfRejects, ini); });
  step([&] { SaveIni(NumberOfAlarms, keys::kProject, keys::kNumberOfAlarms, ini); });
  step([&] { SaveIni(NumberOfWarnings, keys::kProject, keys::kNumberOfWarnings, ini); });
  step(
      [&] { SaveIni(FaultWithMachineNumber, keys::kProject, keys::kFaultWithMachineNumber, ini); });

  std::string presets;
  step([&] { presets = rt::GetTarvelPresetsIniPath(); });
  step([&] {
    SaveIni(static_cast<int32_t>(ComboDateFormat->ListIndex()), keys::kProject, keys::kFormatOfDate,
            presets);
  });
  step([&] { rt::WriteEditInfo(); });
}
