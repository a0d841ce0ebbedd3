// Windows paths over the host file system. The step speaks in Windows path texts
// ("C:\Korvex\parameter\Program.ini"); this layer maps drive letters to host
// folders and resolves names without regard to letter case, as Windows does.
//
// Drives come from the environment variable KORVEX_DRIVES, e.g.
// "C=/srv/plant-c;D=/media/usb" (letters in any case). A drive not named there
// does not exist, except C:, which is the host root "/" unless mapped.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct Drive {
  char letter;                 // upper case
  std::filesystem::path root;  // absolute host folder
};

// The mapped drives in letter order (C: always among them). Reads KORVEX_DRIVES
// anew on every call, so tests may change it.
std::vector<Drive> MappedDrives();

// What is wrong with KORVEX_DRIVES, naming the entry: no "=", no drive letter
// before it, an empty or relative folder after it, a letter mapped twice.
// Empty when it is well formed or not set. A folder that does not exist is no
// fault: that drive is simply not there, as a stick not plugged in.
std::string DrivesProblem();

// Maps a Windows path to a host path. Accepts "X:\a\b", "X:a" (taken from the
// drive's root), "\a\b" (root of the current drive) and "a\b" (relative to the
// current directory); "/" separates like "\" and doubled separators count once;
// "." and ".." are folded lexically and never climb above the drive's root.
// Every component that exists is resolved ignoring letter case (an exact match
// first, then the first of the case-insensitive matches in byte order); the
// components after the first missing one are kept as given, so new files get
// the name as written. Returns nothing for an unmapped drive or a UNC path.
std::optional<std::filesystem::path> ToHost(std::string_view winPath);

// Maps a host path to a Windows path ("C:\Korvex\Start"; a drive root is "C:\").
// The drive whose root is the longest prefix wins. Nothing when the path lies
// under no drive.
std::optional<std::string> ToWindows(const std::filesystem::path& host);

// The current directory as a Windows path, and its drive letter; C: when the
// host's working directory lies under no drive.
std::string CurrentDirectory();
char CurrentDrive();

// True for host names that Windows would treat as hidden (they start with ".").
bool IsHiddenName(std::string_view hostName);

}  // namespace platform
