#include "runtime/config_paths.h"

#include "base/failure.h"
#include "base/text.h"
#include "platform/filesys.h"
#include "platform/process.h"
#include "runtime/command_line.h"
#include "runtime/errors.h"
#include "runtime/exit_status.h"
#include "runtime/ini_access.h"

namespace rt {

std::vector<std::string> ExistingMachines;

int MachineCount() {
  if (ExistingMachines.empty()) platform::Raise(platform::kSubscriptOutOfRange);
  return static_cast<int>(ExistingMachines.size()) - 1;
}

int MachineCountOrZero() {
  return ExistingMachines.empty() ? 0 : static_cast<int>(ExistingMachines.size()) - 1;
}

std::string GetInstallationFolder() {
  std::string folder = platform::ExecutableFolder();
  // Drop the last component; a drive root ("C:\") loses only its backslash. A
  // folder text without any backslash leaves nothing.
  while (!folder.empty() && folder.back() != '\\') folder.pop_back();
  if (!folder.empty()) folder.pop_back();
  return folder;
}

std::string GetKVXConfigurationIniPath() {
  const Trap step("GetKVXConfigurationIniPath");
  std::string path;
  std::string result;
  step([&] { path = KVXConfigurationIniPlace(); });
  step([&] {
    if (platform::NormalFileExists(path)) result = path;
  });
  return result;
}

std::string KVXConfigurationIniPlace() {
  return GetInstallationFolder() + "\\parameter\\kvxconfiguration.ini";
}

std::string GetTarvelPresetsIniPath() {
  const Trap step("GetTarvelPresetsIniPath");
  std::string path;
  step([&] { path = GetInstallationFolder() + "\\TarvelPresets.ini"; });
  return path;
}

std::string GetCFGPath() {
  const Trap step("GetCFGPath");
  std::string path;
  bool exists = false;
  step([&] {
    const std::string component = GetOCXName();
    path = GetInstallationFolder() + "\\" + component + "\\" + component + ".cfg";
  });
  step([&] { exists = platform::NormalFileExists(path); });
  if (exists) return path;
  step([&] { ReportFault("File not found: " + std::string(kLfCr) + platform::UpperCase(path)); });
  platform::EndProcess(kExitOther);
}

std::string GetProgramIniPath(int32_t mode) {
  const Trap step("GetProgramIniPath");
  std::string path;
  std::string result;
  if (mode == 1 && IntegratedMode) {
    std::string folder;
    step([&] {
      folder = LoadIniString("Common", "SaveAndRestore", GetKVXConfigurationIniPath(), false);
    });
    step([&] {
      path = folder + (!folder.empty() && folder.back() == '\\' ? "parameter\\program.ini"
                                                                : "\\parameter\\program.ini");
    });
  } else {
    step([&] { path = GetInstallationFolder() + "\\parameter\\Program.ini"; });
  }
  step([&] {
    if (platform::NormalFileExists(path)) result = path;
  });
  return result;
}

void GetExistingMachines(const std::string& configurationIniPath) {
  const Trap step("GetExistingMachines");
  std::string programIni;
  step([&] { programIni = GetProgramIniPath(1); });

  if (IntegratedMode) {
    bool usable = false;
    step([&] {
      usable = !configurationIniPath.empty() && platform::NormalFileExists(configurationIniPath);
    });
    if (!usable) return;
    for (int i = 1; i <= 5; ++i) {
      std::string name;
      step([&] {
        name = LoadIniString("Common", "NameM" + std::to_string(i), configurationIniPath, false);
      });
      if (name == "-" || name.empty()) break;
      step([&] {
        ExistingMachines.resize(i + 1);
        ExistingMachines[i] = name;
      });
    }
    return;
  }

  int count = 0;
  step([&] { count = LoadIniInteger("Project", "NumberOfMachines", programIni, false); });
  for (int i = 1; i <= count; ++i) {
    step([&] {
      ExistingMachines.resize(i + 1);
      ExistingMachines[i] =
          LoadIniString("Machine" + std::to_string(i), "MachineName", programIni, false);
    });
  }
}

std::string GetValidMachines() {
  // No trap: a failure here belongs to the caller's report.
  return LoadIniString("Project", "ValidMachines", GetCFGPath(), false);
}

bool IsValidMachine(const std::string& validMachines, const std::string& machineName) {
  const std::string valid = platform::UpperCase(validMachines);
  if (valid == "ALL") return true;
  // A substring search in an empty text finds nothing, not even an empty name.
  if (valid.empty()) return false;
  return valid.find(platform::UpperCase(machineName)) != std::string::npos;
}

std::string GetFileNameOnly(const std::string& path) {
  const size_t last = path.rfind('\\');
  return last == std::string::npos ? path : path.substr(last + 1);
}

}  // namespace rt
