// File-system services of the step: the directory lookup of the runtime, the
// scripting file-system object, and line appends for the logs. Paths are Windows
// paths (platform/winpath.h); failures are raised as platform::Failure with the
// numbers the runtime uses (53 file not found, 76 path not found, 70 permission
// denied, 61 disk full).
//
// Read-only means what it means on Windows: a file whose mode has no write bit
// is read-only even for root, and a folder without write bits takes no new files.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_cache.h"

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
// read-only or a folder, or missing in a folder that takes no new files, 61 on a
// full disk. The copy is written to a temporary file beside the destination and
// renamed over it, so that the destination is always the old file or the whole
// new one, even when the process is killed; copying a file onto itself leaves it
// as it is. A writable destination in a folder that takes no new files (no write
// bits, or the system refuses new names there) is overwritten in place instead,
// as Windows does it. A pending termination request (platform/termination.h) is
// raised between the chunks of a copy, after the temporary file is removed.
void CopyFile(std::string_view source, std::string_view destination, bool overwrite);

// How far a copy has come, for a front end that shows it: the destination, the
// bytes copied so far and the source's size; told before the first chunk and
// after each one. Nothing is told while no observer is set.
using CopyProgress =
    std::function<void(std::string_view destination, uint64_t copied, uint64_t size)>;
void SetCopyProgress(CopyProgress progress);

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

// A read-modify-write of a whole file, serialised with every other one on the
// same file by an exclusive advisory lock on the file, held from before the read
// until the new contents are in place. edit gets the current bytes (empty for a
// missing file) and returns true when it changed them. The new contents go to a
// temporary file in the same folder that replaces the old file by a rename,
// keeping its permission bits (and owner, when privileged); a missing file is
// created only where no other writer created one meanwhile, otherwise the cycle
// starts again on that file. A writable file in a folder that takes no new files
// is rewritten in place. True when the file holds the edited bytes (or edit
// changed nothing); false when the folder is missing, the path names a folder or
// an unreadable file, the file or (for a new file) the folder is read-only, or
// the write fails, which leaves the old file unchanged. The new file is synced
// by the next SyncWrittenFiles (platform/file_cache.h), not here.
bool EditWholeFile(std::string_view winFile, const std::function<bool(std::string& bytes)>& edit);
// The same on the cached contents (platform/file_cache.h), without reading the
// file when they are current: edit changes bytes in place and keeps the index in
// step with them or drops it.
bool EditCachedFile(std::string_view winFile, const std::function<bool(FileContents&)>& edit);

// Replaces a file's contents in the same way, without reading it first.
bool ReplaceWholeFile(std::string_view winFile, std::string_view bytes);

// Removes what killed writers left in a folder: the temporary files of this
// program (".<name>.kvxtmp-<process id>-<number>") whose process no longer runs.
// Touches nothing else; never raises.
void RemoveStaleTemporaries(std::string_view winFolder);

// Makes every temporary file a named one from its creation on, as on file
// systems that cannot keep a file without a name (for tests of that way).
void SetNamedTemporariesForTesting(bool named);

}  // namespace platform
