// Where the files of an installation lie, found from the executable's own
// folder, and the two machine lists the window works with.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rt {

// Machine names at positions 1..n (n at most 5). Before anything is stored the
// list has no positions at all (empty vector); once a machine is stored,
// position 0 exists and stays empty, so the highest position is size() - 1.
extern std::vector<std::string> ExistingMachines;

// The highest position of ExistingMachines; raises 9 (subscript out of range)
// when the list has no positions, as asking for the upper bound of an empty
// list does.
int MachineCount();
// The number of machines, 0 for a list without positions. For the loops that
// treat an empty list as no machines without a report.
int MachineCountOrZero();

// Executable folder without its last component ("D:\Plant\Start" -> "D:\Plant";
// "C:\" -> "C:").
std::string GetInstallationFolder();

std::string GetKVXConfigurationIniPath();
// Where the configuration tool's INI belongs, whether or not it exists: the
// name a report gives it when it is missing.
std::string KVXConfigurationIniPlace();
std::string GetTarvelPresetsIniPath();
// Ends the process (status 1) after its "File not found: " message when the CFG
// file is missing.
std::string GetCFGPath();
std::string GetProgramIniPath(int32_t mode);

void GetExistingMachines(const std::string& configurationIniPath);
std::string GetValidMachines();
// The validity rule: "ALL" in any case, or the upper-case name found anywhere in
// the upper-case valid-machines text.
bool IsValidMachine(const std::string& validMachines, const std::string& machineName);

std::string GetFileNameOnly(const std::string& path);

}  // namespace rt
