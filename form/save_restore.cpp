// The Save & Restore selection: which folder is a copy, which visualisation it
// was made with, and the takeover of its settings into the window. A copy whose
// machines differ from the installation's is refused and leaves the cancel mark.
#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "base/failure.h"
#include "base/text.h"
#include "form/program_ini_keys.h"
#include "form/start_config_form.h"
#include "platform/filesys.h"
#include "platform/msgbox.h"
#include "platform/number.h"
#include "platform/process.h"
#include "runtime/command_line.h"
#include "runtime/config_paths.h"
#include "runtime/errors.h"
#include "runtime/help_mode.h"
#include "runtime/ini_access.h"

std::string SarFolder;

namespace {

// Folder texts are appended to as they are: a drive root gives a doubled
// backslash, which the path layer accepts.
constexpr const char* kCopyIni = "\\parameter\\program.ini";
constexpr const char* kQuote = "\"";

void ShowNotice(const std::string& text) {
  platform::ShowMessageBox(
      {text, platform::kProjectName, platform::Buttons::OK, platform::Icon::None, 0});
}

}  // namespace

int16_t frm_Start_Config_Exe::GetSARVisuVersion(const std::string& folder) {
  // Reports under the name of the installation's own version lookup.
  const rt::Trap step("GetVisuVersion");
  bool vws = false;
  bool mdb = false;
  step([&] { vws = platform::FileExists(folder + "\\Program\\Korvex.vws"); });
  step([&] { mdb = platform::FileExists(folder + "\\Program\\Korvex.mdb"); });
  if (vws && mdb) return kVisuUndetermined;
  if (mdb) return kVisuVisiWin;
  if (vws) return kVisuVWStudio;
  return kVisuUndetermined;
}

void frm_Start_Config_Exe::DriveSAR_Change() {
  const rt::Trap step("DriveSAR_Change");
  step([&] { DirSAR->SetPath(DriveSAR->Drive()); });  // raises DirSAR_Change on a new path
}

void frm_Start_Config_Exe::DirSAR_Change() {
  const rt::Trap step("DirSAR_Change");
  std::string path;
  bool isCopy = false;
  step([&] { path = DirSAR->Path(); });
  step([&] { isCopy = platform::FileExists(path + kCopyIni); });
  // The configuration tool finds the copy by the name written to its settings,
  // which hold Windows-1252 only: a name that cannot be spelled there would
  // name a folder that does not exist, so the copy is not taken over.
  if (isCopy && !platform::SpelledInAnsi(path)) {
    isCopy = false;
    step([&] {
      platform::Raise(platform::kBadFileName,
                      "The name of the folder " + path +
                          " cannot be recorded in the settings (Windows-1252 cannot spell it)");
    });
  }
  if (isCopy) {
    step([&] { ConnectSAR(path); });
  } else {
    step([&] { ConnectSAR(""); });
  }
}

void frm_Start_Config_Exe::ConnectSAR(const std::string& folder) {
  // The takeover's own selections raise the controls' click handlers; in help
  // mode they must still do their work (logo, check mark), not show help.
  const rt::ChangesFromCode takeover;
  const rt::Trap step("ConnectSAR");
  const int machines = rt::MachineCountOrZero();

  step([&] { ListSAR->Clear(); });
  const std::string ini = folder + kCopyIni;
  bool iniFound = false;
  step([&] { iniFound = platform::NormalFileExists(ini); });
  // No copy never leaves OK enabled: the empty folder text would otherwise test
  // a "\parameter\program.ini" below the root of whatever drive is current, and
  // OK could commit a copy that is no longer connected.
  if (!iniFound || folder.empty()) step([&] { CommandOK->SetEnabled(false); });

  if (folder.empty()) {
    step([&] { ComboDateFormat->SetEnabled(true); });
    step([&] { CheckTimeChanging->SetEnabled(true); });
    step([&] { CheckTimeChanging->SetValue(1); });
    for (int i = 1; i <= machines; ++i) {
      step([&] { Element(TextSpeedFactor, i).SetText(""); });
      step([&] { Element(TextSpeedFactor, i).SetEnabled(true); });
    }
    step([&] {
      rt::SaveIniChecked("", keys::kCommon, keys::kSaveAndRestore, ConfigurationIniPath,
                         rt::KVXConfigurationIniPlace());
    });
    return;
  }

  step([&] { SARVisuVersion = GetSARVisuVersion(folder); });
  step([&] {
    LabelSARVisuVersion->SetForeColor(SARVisuVersion == VisuVersion ? ui::kButtonText
                                                                    : ui::Rgb(255, 0, 0));
  });
  step([&] {
    switch (SARVisuVersion) {
      case kVisuUndetermined:
        LabelSARVisuVersion->SetCaption("VisiWin && VWStudio (?)");
        break;
      case kVisuVisiWin:
        LabelSARVisuVersion->SetCaption("VisiWin");
        break;
      case kVisuVWStudio:
        LabelSARVisuVersion->SetCaption("VWStudio");
        break;
      default:
        break;
    }
  });

  // For information only: the settings file and every machine-copy database.
  step([&] { ListSAR->Clear(); });
  step([&] { ListSAR->AddItem("Program.ini"); });
  std::vector<std::string> subfolders;
  step([&] { subfolders = platform::SubFolderNames(folder); });
  for (const std::string& sub : subfolders) {
    step([&] {
      if (platform::FileExists(folder + "\\" + sub + "\\" + sub + ".mdb"))
        ListSAR->AddItem(sub + ".mdb");
    });
  }

  step([&] { ComboDateFormat->SetEnabled(true); });
  step([&] { CheckTimeChanging->SetEnabled(true); });

  std::string current;
  step([&] { current = DirSAR->Path(); });
  step([&] {
    rt::SaveIniChecked(current, keys::kCommon, keys::kSaveAndRestore, ConfigurationIniPath,
                       rt::KVXConfigurationIniPlace());
  });
  step([&] { SarFolder = current; });

  // Supplier: the first entry of exactly that text; one selection change, so
  // the logo is loaded once.
  std::string supplier;
  step([&] { supplier = rt::LoadIniString(keys::kProject, keys::kSupplier, ini, false); });
  if (supplier.empty()) {
    step([&] { ComboSupplier->SetListIndex(0); });
  } else {
    int found = -1;
    step([&] {
      for (int k = 0; k < ComboSupplier->ListCount() && found < 0; ++k)
        if (ComboSupplier->List(k) == supplier) found = k;
    });
    if (found >= 0) {
      step([&] { ComboSupplier->SetListIndex(found); });
    } else {
      step([&] { ComboSupplier->SetListIndex(0); });
      if (!rt::SilentMode) {
        step([&] {
          ShowNotice("Unknown supplier (" + std::string(kQuote) + supplier + kQuote +
                     ") found in  S&R " + ini);
        });
      }
    }
  }

  int control = 0;
  step([&] { control = rt::LoadIniInteger(keys::kProject, keys::kControl, ini, false); });
  if (control < 0) control = 0;
  int highestControl = 0;
  step([&] { highestControl = ComboSteuerung->ListCount() - 1; });
  if (control > highestControl) {
    if (!rt::SilentMode) {
      step([&] {
        ShowNotice("Unknown control (" + std::string(kQuote) + std::to_string(control) + kQuote +
                   ") found in  S&R " + ini);
      });
    }
    control = 0;
  }
  step([&] { ComboSteuerung->SetListIndex(control); });

  // The date format is kept as its decimal text, as the message shows it. A
  // value below -1 is no list index either and counts as unknown.
  std::string dateText = "0";
  step([&] {
    dateText = std::to_string(rt::LoadIniInteger(keys::kProject, keys::kDateFormat, ini, false));
  });
  if (dateText == "-1") dateText = "0";
  const int date = std::stoi(dateText);
  int highestDate = 0;
  step([&] { highestDate = ComboDateFormat->ListCount() - 1; });
  if (date > highestDate || date < 0) {
    if (!rt::SilentMode) {
      step([&] { ShowNotice("Unknown dateformat (" + dateText + ") found in S&R " + ini); });
    }
  } else {
    step([&] { ComboDateFormat->SetListIndex(date); });
  }

  step([&] { TimeChanging = rt::LoadIniBoolean(keys::kProject, keys::kTimeChanging, ini, false); });
  for (int i = 1; i <= machines; ++i) {
    // The box's own change handling checks the value as it arrives. The file's
    // number is read as files write it ("1.5"), not as the locale would read a
    // typed one (German: 15), and reaches the box as the whole number the box
    // would make of it, in digits every locale reads alike.
    step([&] {
      std::string factor =
          rt::LoadIniString(keys::MachineSection(i), keys::kSpeedFactor, ini, false);
      if (const std::optional<double> x = platform::ParseFileNumber(factor))
        factor = platform::WholeNumberText(std::floor(*x));
      Element(TextSpeedFactor, i).SetText(factor);
    });
    step([&] { Element(TextSpeedFactor, i).SetEnabled(true); });
  }
  step([&] { CheckTimeChanging->SetValue(TimeChanging ? 1 : 0); });

  auto atLeast = [](int16_t value, int minimum) {
    return static_cast<int16_t>(std::max<int>(value, minimum));
  };
  step([&] {
    NumberOfRejects =
        atLeast(rt::LoadIniInteger(keys::kProject, keys::kNumberOfRejects, ini, false),
                keys::kMinimumRejects);
  });
  step([&] {
    NumberOfAlarms = atLeast(rt::LoadIniInteger(keys::kProject, keys::kNumberOfAlarms, ini, false),
                             keys::kMinimumAlarms);
  });
  step([&] {
    NumberOfWarnings =
        atLeast(rt::LoadIniInteger(keys::kProject, keys::kNumberOfWarnings, ini, false),
                keys::kMinimumWarnings);
  });
  step([&] {
    FaultWithMachineNumber =
        rt::LoadIniBoolean(keys::kProject, keys::kFaultWithMachineNumber, ini, false);
  });

  step([&] { CommandOK->SetEnabled(false); });

  // Machines the copy has beyond ours are not looked at; one it lacks reads as
  // the empty name and so differs.
  std::string diff;
  bool differs = false;
  for (int k = 1; k <= machines; ++k) {
    step([&] {
      const std::string name =
          rt::LoadIniString(keys::MachineSection(k), keys::kMachineName, ini, false);
      const std::string& ours = rt::ExistingMachines.at(k);
      if (name != ours) {
        diff += "Machine " + std::to_string(k) + " S&R: " + name + " New Visualation:" + ours +
                rt::kLfCr;
        differs = true;
      }
    });
  }

  if (differs) {
    step([&] { CommandOK->SetEnabled(false); });
    step([&] {
      rt::SaveIniChecked(platform::ProgramFileName(), keys::kCommon, keys::kConfigExeCancel,
                         ConfigurationIniPath, rt::KVXConfigurationIniPlace());
    });
    step([&] {
      platform::ShowMessageBox(
          {"Please select a different " + std::string(kQuote) + "Save & Restore" + kQuote + "!" +
               rt::kLfCr + "Machineconfiguration differs" + rt::kLfCr + diff,
           "Error - Wrong Save & Restore!", platform::Buttons::OK, platform::Icon::Stop, 0});
    });
    return;
  }

  step([&] { CommandOK->SetEnabled(platform::NormalFileExists(ini)); });

  // Each row is tested against the copy's main project file only.
  struct Row {
    int index;
    const char* file;
  };
  const bool studio = VisuVersion >= kVisuVWStudio;
  const std::vector<Row> rows =
      studio ? std::vector<Row>{{0, "\\program\\korvex.vws"}, {2, "\\program\\Helptext.mdb"}}
             : std::vector<Row>{{0, "\\program\\korvex.mdb"},
                                {1, "\\program\\Alarmdefinition.mdb"},
                                {2, "\\program\\Helptext.mdb"}};
  const char* mainFile = studio ? "\\program\\korvex.vws" : "\\program\\korvex.mdb";
  for (const Row& row : rows) {
    bool present = false;
    step([&] { present = platform::NormalFileExists(DirSAR->Path() + mainFile); });
    if (present) {
      step([&] { TextPath.at(row.index)->SetText(DirSAR->Path() + row.file); });
    } else {
      step([&] { TextPath.at(row.index)->SetText(""); });
      step([&] { CommandOK->SetEnabled(false); });
    }
  }

  step([&] {
    rt::SaveIniChecked("False", keys::kCommon, keys::kConfigExeCancel, ConfigurationIniPath,
                       rt::KVXConfigurationIniPlace());
  });
}
