// File-system services of the step: the directory lookup of the runtime, the
// scripting file-system object's queries, whole-file reads, line appends for
// the logs, and copies and whole-file replacements. Paths are Windows paths
// (platform/winpath.h); failures are raised as platform::Failure with the
// numbers the runtime uses (53 file not found, 76 path not found, 70 permission
// denied, 61 disk full).
//
// Read-only means what it means on Windows: a file whose mode has no write bit
// is read-only even for root, and a folder without write bits takes no new files.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/file_cache.h"

namespace platform {

// The runtime's directory lookup for normal files: true when the path is not
// empty and names a regular file that is not hidden. Never raises.
bool NormalFileExists(std::string_view winPath);

// The file-system object's FileExists: any regular file, hidden ones included;
// false for folders, devices and an empty path. Never raises.
bool FileExists(std::string_view winPath);
// FileExists for a file to be copied in: false only when the file is truly
// absent. When a folder on its way exists but cannot be read (no read or search
// permission, or the system refuses it), the name could not be looked up, and
// that is raised as 70 naming the folder instead of passing for a missing file.
bool SourceFileExists(std::string_view winPath);
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

// Appends text (converted to Windows-1252) and CR LF to a file, creating the
// file when missing; opened and closed within the call. Raises 76 when the folder
// is missing, 70 when the file or folder is read-only, 75 when the path names a
// folder.
void AppendLine(std::string_view winFile, std::string_view text);
// Appends raw bytes without any conversion (for exact line-break handling); to
// a Unicode text file (UTF-16LE after its mark FF FE) each byte goes as the
// UTF-16LE unit of its Windows-1252 character.
void AppendBytes(std::string_view winFile, std::string_view bytes);
// True when the text of a file's bytes (Windows-1252, or UTF-16LE after its
// mark) is not empty and its last line has no line break.
bool LastLineOpen(std::string_view bytes);

// Whole-file helpers for the INI services: nothing when the file is missing, a
// folder or unreadable.
bool ReadWholeFile(std::string_view winFile, std::string& bytes);

// ---------------------------------------------------------------------------
// Copies and whole-file writes, over the engine of files/ (files/copy.h,
// files/rewrite.h), which works on the host paths these name.

// The file-system object's CopyFile with a full destination file name, raising
// as files/copy.h CopyHostFile says, and 76 when a path names no host file. A
// destination that a link of another user leads out of the installation
// (files/links.h ForeignLink) is refused with 70, naming where it leads.
//
// A source named as lying in the folder confinedTo (a Save & Restore copy, the
// source folder) is refused with 70 when it is a symbolic link, or lies below
// one, whose target is outside that folder: a copy must not bring in a file
// from elsewhere on the machine through a link planted in it.
void CopyFile(std::string_view source, std::string_view destination, bool overwrite,
              std::string_view confinedTo = {});

// A read-modify-write of a whole file under its lock (files/rewrite.h Rewrite,
// which says when it is true): edit gets the current bytes (empty for a
// missing file) and returns true when it changed them. The new file is synced
// by the next SyncWrittenFiles (files/file_cache.h), not here.
bool EditWholeFile(std::string_view winFile, const std::function<bool(std::string& bytes)>& edit);
// The same on the cached contents, without reading the file when they are
// current: edit changes bytes in place and keeps the index in step with them
// or drops it.
bool EditCachedFile(std::string_view winFile, const std::function<bool(FileContents&)>& edit);
// Replaces a file's contents in the same way, without reading it first.
bool ReplaceWholeFile(std::string_view winFile, std::string_view bytes);
// Where the link leads that the last of these three refused to follow, as a
// Windows path where it lies under a drive; nothing when it refused none.
std::optional<std::string> LastWriteRefusedLink();

// The current contents of a file, kept between calls (files/file_cache.h);
// nullptr when it is missing, a folder or unreadable.
FileContents* ReadCachedFile(std::string_view winFile);

// Removes what killed writers left in a folder (files/sweep.h). Never raises.
void RemoveStaleTemporaries(std::string_view winFolder);

// Where a write to host would be led by a link of another user out of the
// installation (files/links.h ForeignLink), as a Windows path where it lies
// under a drive. Nothing when there is none.
std::optional<std::string> ForeignLinkTarget(const std::filesystem::path& host);

// The failure's description of a write refused for such a link.
std::string ForeignLinkText(std::string_view winFile, const std::string& leadsTo);

}  // namespace platform
