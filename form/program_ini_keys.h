// The settings files of the installation: the sections and keys of Program.ini,
// the presets file and the configuration tool's INI that the step reads and
// writes. The Save & Restore takeover and the writing on OK both use this table,
// so a key is spelled in one place only.
#pragma once

#include <string>

namespace keys {

// Program.ini, section "Project".
inline constexpr const char* kProject = "Project";
inline constexpr const char* kNumberOfMachines = "NumberOfMachines";
inline constexpr const char* kSupplier = "Supplier";
inline constexpr const char* kControl = "Control";
inline constexpr const char* kDateFormat = "DateFormat";
inline constexpr const char* kMachineSelection = "MachineSelection";
inline constexpr const char* kServicePicture = "ServicePicture";
inline constexpr const char* kTimeChanging = "TimeChanging";
inline constexpr const char* kResolution = "Resolution";
inline constexpr const char* kVWStudio = "VWStudio";
inline constexpr const char* kNumberOfRejects = "NumberOfRejects";
inline constexpr const char* kNumberOfAlarms = "NumberOfAlarms";
inline constexpr const char* kNumberOfWarnings = "NumberOfWarnings";
inline constexpr const char* kFaultWithMachineNumber = "FaultWithMachineNumber";
inline std::string LanguageKey(int k) {
  return "Language" + std::to_string(k);
}
inline std::string OrderOfServiceCounterKey(int k) {
  return "OrderOfServiceCounter" + std::to_string(k);
}

// Fixed values written on OK.
inline constexpr const char* kMachineSelectionValue = "MachineSelection";
inline constexpr const char* kServicePictureValue = "Service";
inline constexpr const char* kVWStudioValue = "True";

// Smallest counters the installation accepts from a Save & Restore copy.
inline constexpr int kMinimumRejects = 48;
inline constexpr int kMinimumAlarms = 256;
inline constexpr int kMinimumWarnings = 256;

// Program.ini, password sections "Password1" ... "Password5".
inline std::string PasswordSection(int level) {
  return "Password" + std::to_string(level);
}
inline constexpr const char* kWord = "Word";
inline constexpr const char* kKeyboard = "Keyboard";
inline std::string PasswordKey(int k) {
  return "Key" + std::to_string(k);
}
inline constexpr int kPasswordLevels = 5;

// Program.ini, machine sections "Machine1" ... "Machine5".
inline std::string MachineSection(int n) {
  return "Machine" + std::to_string(n);
}
inline constexpr const char* kMachineName = "MachineName";
inline constexpr const char* kSpeedFactor = "SpeedFactor";
inline constexpr const char* kNumberOfCams = "NumberOfCams";
inline constexpr const char* kNumberOfServos = "NumberOfServos";

// TarvelPresets.ini, section "Project".
inline constexpr const char* kFormatOfDate = "FormatOfDate";

// kvxconfiguration.ini, section "Common".
inline constexpr const char* kCommon = "Common";
inline constexpr const char* kMonitorRes = "MonitorRes";
inline constexpr const char* kConfigVWStudio = "VWStudio";
inline constexpr const char* kSaveAndRestore = "SaveAndRestore";
inline constexpr const char* kConfigExeCancel = "ConfigExeCancel";

}  // namespace keys
