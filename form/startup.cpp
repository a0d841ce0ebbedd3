// Start-up of the window: the load handler, which decides whether the step may
// run at all, and the set-up that fills every control from the installation.
#include <iostream>
#include <string>
#include <vector>

#include "base/failure.h"
#include "base/text.h"
#include "form/program_ini_keys.h"
#include "form/start_config_form.h"
#include "platform/filesys.h"
#include "platform/process.h"
#include "runtime/command_line.h"
#include "runtime/config_paths.h"
#include "runtime/errors.h"
#include "runtime/exit_status.h"
#include "runtime/ini_access.h"
#include "runtime/language.h"

namespace {

constexpr const char* kMakerSupplier = "**Tarvel & Co**";
constexpr const char* kNoCopyEntry = "Kein Maschinenabzug gefunden";
constexpr const char* kDateFormats[] = {"MM-TT-JJJJ", "TT.MM.JJJJ", "JJJJ/MM/TT"};
constexpr const char* kControlTypes[] = {"Beckhoff", "Siemens"};

// "Start_" + supplier + "Logo.bmp": the supplier is cut out by character
// position, not at the found texts, so 6 leading and 8 trailing characters go.
constexpr size_t kLogoPrefixLength = 6;
constexpr size_t kLogoAffixLength = 14;

// The supplier a logo file name stands for; empty for a file that is no
// supplier logo, and for the maker's own "Start_Logo.bmp".
std::string SupplierOfLogoFile(const std::string& fileName) {
  const std::string upper = platform::UpperCase(fileName);
  if (upper.find("START_") == std::string::npos || upper.find("LOGO.BMP") == std::string::npos)
    return {};
  const size_t length = platform::CharCount(fileName);
  if (length < kLogoAffixLength) platform::Raise(platform::kInvalidProcedureCall);
  return platform::MidChars(fileName, kLogoPrefixLength, length - kLogoAffixLength);
}

}  // namespace

void frm_Start_Config_Exe::Form_Load() {
  const rt::Trap step("Form_Load");
  step([&] { rt::LoadToolTipTexts(); });
  step([&] { ConfigurationIniPath = rt::GetKVXConfigurationIniPath(); });
  step([&] {
    window.SetCaption("Erweiterte Konfiguration " +
                      rt::GetFileNameOnly(platform::ExecutableFolder()) +
                      (rt::GetStartModeIntegrated() ? " - integriert" : " - standalone"));
  });
  step([&] { rt::GetExistingMachines(ConfigurationIniPath); });

  bool integrated = false;
  step([&] { integrated = rt::GetStartModeIntegrated(); });
  if (!integrated) {
    // Only the configuration tool may run this step; ending here skips the
    // close handling, so no cancel mark is left anywhere.
    std::cerr << platform::ProgramFileName()
              << ": not started by the configuration tool; it runs when started with "
                 "/EXTERNAL=KVXCFG\n";
    platform::EndProcess(kExitOther);
  }

  step([&] { VisuVersion = GetVisuVersion(); });
  step([&] { SetupUserInterFace(); });
  // Every start ends without a copy connected, whatever folder the list shows.
  step([&] { ConnectSAR(""); });
}

void frm_Start_Config_Exe::SetupUserInterFace() {
  const rt::Trap step("SetupUserInterFace");

  std::string validMachines;
  step([&] { validMachines = rt::GetValidMachines(); });
  step([&] { InitProgramIni(); });
  step([&] {
    MonitorResolution = std::to_string(rt::LoadIniInteger(keys::kCommon, keys::kMonitorRes,
                                                          rt::GetKVXConfigurationIniPath(), false));
  });

  bool integrated = false;
  step([&] { integrated = rt::GetStartModeIntegrated(); });
  if (integrated) {
    step([&] { FrameCopyPath->SetVisible(true); });
    step([&] { FramePathSelect->SetVisible(true); });
    step([&] { ComboSupplier->SetEnabled(true); });
    step([&] { ComboSteuerung->SetEnabled(true); });
  }

  // One speed-factor row per valid machine. Without any machine the count
  // fails once, is reported, and no row is shown.
  int machines = 0;
  step([&] { machines = rt::MachineCount(); });
  for (int i = 1; i <= machines; ++i) {
    bool valid = false;
    step([&] { valid = rt::IsValidMachine(validMachines, rt::ExistingMachines.at(i)); });
    if (!valid) continue;
    step([&] { Element(LabelSpeedFactor, i).SetVisible(true); });
    step([&] { Element(LabelSpeedFactor, i).SetCaption(rt::ExistingMachines.at(i)); });
    step([&] { Element(TextSpeedFactor, i).SetVisible(true); });
  }

  for (const char* format : kDateFormats) step([&] { ComboDateFormat->AddItem(format); });
  step([&] { ComboDateFormat->SetListIndex(0); });

  step([&] { ComboSupplier->AddItem(kMakerSupplier); });
  std::vector<std::string> files;
  step([&] { files = platform::FolderFiles(platform::ExecutableFolder()); });
  for (const std::string& file : files) {
    step([&] {
      const std::string supplier = SupplierOfLogoFile(rt::GetFileNameOnly(file));
      if (!supplier.empty()) ComboSupplier->AddItem(supplier);
    });
  }
  step([&] { ComboSupplier->SetListIndex(0); });  // the logo follows

  for (const char* type : kControlTypes) step([&] { ComboSteuerung->AddItem(type); });
  step([&] { ComboSteuerung->SetListIndex(0); });

  if (VisuVersion >= kVisuVWStudio) {
    step([&] { LabelVisuVersion->SetCaption("VWStudio"); });
    step([&] { CommandPath[0]->SetCaption("Korvex.vws"); });
    step([&] { CommandPath[1]->SetVisible(false); });
    step([&] { TextPath[1]->SetVisible(false); });
  } else {
    step([&] { LabelVisuVersion->SetCaption("VisiWin"); });
    step([&] { CommandPath[1]->SetVisible(true); });
    step([&] { TextPath[1]->SetVisible(true); });
    step([&] { CommandPath[0]->SetCaption("Korvex.mdb"); });
  }

  step([&] { DirSAR->SetPath(DriveSAR->Drive()); });
  step([&] { ListSAR->Clear(); });
  step([&] { ListSAR->AddItem(kNoCopyEntry); });
  step([&] { DirSAR_Change(); });
}

void frm_Start_Config_Exe::InitProgramIni() {
  const rt::Trap step("InitProgramIni");
  std::string path;
  step([&] { path = rt::GetInstallationFolder() + "\\parameter\\Program.ini"; });
  step([&] {
    // A file whose last line has no line break would get the header glued to
    // its last entry ("SpeedFactor=3[Project]"), changing that value.
    std::string bytes;
    std::string header = "[Project]\r\n";
    if (platform::ReadWholeFile(path, bytes) && platform::LastLineOpen(bytes))
      header = "\r\n" + header;
    try {
      platform::AppendBytes(path, header);
    } catch (const platform::Failure&) {
      rt::RaiseNotWritten(path);  // reported like every other settings write
    }
  });
}

int16_t frm_Start_Config_Exe::GetVisuVersion() {
  const rt::Trap step("GetVisuVersion");
  std::string kind;
  step([&] {
    kind = platform::UpperCase(
        rt::LoadIniString(keys::kCommon, keys::kConfigVWStudio, ConfigurationIniPath, false));
  });
  if (kind == "FALSE") return kVisuVisiWin;
  if (kind == "TRUE") return kVisuVWStudio;
  return kVisuUndetermined;  // "-1", empty or anything else
}
