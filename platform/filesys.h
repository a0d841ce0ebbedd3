// File-system services of the step: the directory lookup of the runtime, the
// scripting file-system object, and line appends for the logs. Paths are Windows
// paths (platform/winpath.h); failures are raised as platform::Failure with the
// numbers the runtime uses (53 file not found, 76 path not found, 70 permission
// denied, 61 disk full).
//
// Read-only means what it means on Windows: a file whose mode has no write bit
// is read-only even for root, and a folder without write bits takes no new files.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The runtime's directory lookup for normal files: true when the path is not
// empty and names a regular file that is not hidden. Never raises.
bool NormalFileExists(std::string_view winPath);

// The file-system object's FileExists: any regular file, hidden ones included;
// false for folders, devices and an empty path. Never raises.
bool FileExists(std::string_view winPath);
// The file-system object's FolderExists. Never raises.
bool FolderExists(std::string_view winPath);

// The file-system object's GetParentFolderName: the text before the last
// component ("C:\Korvex\Start" gives "C:\Korvex", "C:\Korvex" gives "C:\",
// "C:\" gives ""). Pure text operation.
std::string GetParentFolderName(std::string_view winPath);

// Full Windows paths of the files of a folder (hidden ones included), in
// case-insensitive name order. Raises 76 when the folder does not exist.
std::vector<std::string> FolderFiles(std::string_view winFolder);
// Names of the direct subfolders of a folder (hidden ones included), in
// case-insensitive name order. Raises 76 when the folder does not exist.
std::vector<std::string> SubFolderNames(std::string_view winFolder);
// Names of the visible subfolders, as a folder list box shows them. Never raises
// (a missing folder has none).
std::vector<std::string> VisibleSubFolderNames(std::string_view winFolder);

// The file-system object's CopyFile with a full destination file name. Raises 53
// when the source is missing, 76 when the destination folder is missing, 58 when
// the destination exists and overwrite is false, 70 when the destination is
// read-only or a folder, 61 on a full disk. The copy is written to a temporary
// file beside the destination and renamed over it, so a failed copy never
// leaves a truncated file; copying a file onto itself leaves it as it is.
void CopyFile(std::string_view source, std::string_view destination, bool overwrite);

// Appends text (converted to Windows-1252) and CR LF to a file, creating the
// file when missing; opened and closed within the call. Raises 76 when the folder
// is missing, 70 when the file or folder is read-only, 75 when the path names a
// folder.
void AppendLine(std::string_view winFile, std::string_view text);
// Appends raw bytes without any conversion (for exact line-break handling).
void AppendBytes(std::string_view winFile, std::string_view bytes);

// Whole-file helpers for the INI services: nothing when the file is missing, a
// folder or unreadable.
bool ReadWholeFile(std::string_view winFile, std::string& bytes);
// Replaces a file's contents through a temporary file in the same folder and a
// rename, keeping the old file's permission bits. False when the folder is
// missing, the file or folder is read-only, or the write fails; the old file is
// then unchanged.
bool ReplaceWholeFile(std::string_view winFile, std::string_view bytes);

}  // namespace platform
