// File-system services of the step: the directory lookup of the runtime, the
// scripting file-system object's queries, whole-file reads, and line appends for
// the logs (copies and whole-file replacements are in platform/replace.h). Paths are Windows
// paths (platform/winpath.h); failures are raised as platform::Failure with the
// numbers the runtime uses (53 file not found, 76 path not found, 70 permission
// denied, 61 disk full).
//
// Read-only means what it means on Windows: a file whose mode has no write bit
// is read-only even for root, and a folder without write bits takes no new files.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
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
// Host-side pieces the file services share.

// Windows' notion of access, which must hold even for root (where the kernel
// ignores permission bits): no write bit means read-only, no read bit means
// unreadable. Every access check of the file services goes through these two.
inline bool ReadOnlyMode(mode_t mode) {
  return (mode & 0222) == 0;
}
inline bool UnreadableMode(mode_t mode) {
  return (mode & 0444) == 0;
}

// A path's status, following links (StatOf) or not (LstatOf); nothing when it
// cannot be had.
std::optional<struct stat> StatOf(const std::filesystem::path& p);
std::optional<struct stat> LstatOf(const std::filesystem::path& p);

// Closes a descriptor on every way out.
struct UniqueFd {
  int fd = -1;
  explicit UniqueFd(int f) : fd(f) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() {
    if (fd >= 0) ::close(fd);
  }
  // Closes now and reports the result (errors of delayed writes show up here).
  int Close() {
    int r = ::close(fd);
    fd = -1;
    return r;
  }
};

// All of bytes, resuming after interruptions; false (errno set) on an error.
bool WriteAll(int fd, std::string_view bytes);

// The file a write to host goes to: a symbolic link is followed, so that the
// linked file gets the new contents and the link stays.
std::filesystem::path ReplacementTarget(const std::filesystem::path& host);

// The installation folder (a host path): a write follows every link that leads
// into it. Set once at start-up; until then no folder counts as inside.
void SetInstallationFolder(const std::filesystem::path& host);

// Where a write to host would be led by a symbolic link (the file's own or a
// folder's on its way) that neither the step's user nor root has made and that
// leads out of the installation folder, as a Windows path where it lies under
// a drive: such a link may have been planted to turn the write of a privileged
// step onto a file its maker may not write. Nothing when there is none.
std::optional<std::string> ForeignLinkTarget(const std::filesystem::path& host);

// The failure's description of a write refused for such a link.
std::string ForeignLinkText(std::string_view winFile, const std::string& leadsTo);

}  // namespace platform
