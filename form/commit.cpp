// OK: the commit of the step. The files are copied first, then every setting of
// the window goes to Program.ini and the presets file, the CFG file is stamped,
// and the process ends.
#include <string>

#include "form/program_ini_keys.h"
#include "form/start_config_form.h"
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

}  // namespace

void frm_Start_Config_Exe::CommandOK_Click() {
  if (rt::HelpMode) {
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
  step([&] { window.DoEvents(); });
  step([&] { window.SetMousePointer(ui::MousePointer::Hourglass); });
  step([&] { CopyFiles(); });
  step([&] { WriteInputs(); });
  step([&] { window.SetMousePointer(ui::MousePointer::Default); });
  platform::EndProcess(kExitCommitted);
}

void frm_Start_Config_Exe::WriteInputs() {
  const rt::Trap step("WriteInputs");
  using rt::SaveIni;
  std::string valid, ini;
  step([&] { valid = rt::GetValidMachines(); });
  step([&] { ini = rt::GetProgramIniPath(2); });

  const int machines = rt::MachineCountOrZero();
  step([&] {
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
        SaveIni(factor, section, keys::kSpeedFactor, ini);
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
