#include "platform/filesys.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <optional>

#include "base/failure.h"
#include "base/text.h"
#include "files/copy.h"
#include "files/host.h"
#include "files/links.h"
#include "files/rewrite.h"
#include "files/sweep.h"
#include "platform/winpath.h"

namespace platform {
namespace fs = std::filesystem;

namespace {

bool IsFolder(const fs::path& p) {
  auto st = StatOf(p);
  return st && S_ISDIR(st->st_mode);
}

[[noreturn]] void RaiseErrno(int code) {
  Raise(FailureNumberForErrno(code));
}

// Shared checks of the append functions; gives the host path to open.
fs::path AppendTarget(std::string_view winFile) {
  auto host = ToHost(winFile);
  if (!host) Raise(kPathNotFound);
  if (auto leads = ForeignLinkTarget(*host))
    Raise(kPermissionDenied, ForeignLinkText(winFile, *leads));
  fs::path target = ReplacementTarget(*host);
  auto folder = StatOf(target.parent_path());
  if (!folder || !S_ISDIR(folder->st_mode)) Raise(kPathNotFound);
  if (auto st = StatOf(target)) {
    // A folder, pipe, socket or device would take the text without keeping it.
    if (!S_ISREG(st->st_mode)) Raise(kPathFileAccessError);
    if (ReadOnlyMode(st->st_mode)) Raise(kPermissionDenied);
  } else if (ReadOnlyMode(folder->st_mode)) {
    Raise(kPermissionDenied);
  }
  return target;
}

void Append(std::string_view winFile, std::string_view bytes) {
  fs::path target = AppendTarget(winFile);
  UniqueFd fd(open(target.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666));
  if (fd.fd < 0) {
    int e = errno;
    if (e == ENOENT || e == ENOTDIR) Raise(kPathNotFound);
    RaiseErrno(e);
  }
  if (!WriteAll(fd.fd, bytes)) RaiseErrno(errno);
  if (fd.Close() != 0) RaiseErrno(errno);
}

enum class EntryKind { kFile, kFolder };

std::vector<std::string> ListNames(std::string_view winFolder, EntryKind kind) {
  auto host = ToHost(winFolder);
  auto st = host ? StatOf(*host) : std::nullopt;
  if (!st || !S_ISDIR(st->st_mode)) Raise(kPathNotFound);
  if (UnreadableMode(st->st_mode)) Raise(kPermissionDenied);
  DIR* d = opendir(host->c_str());
  if (d == nullptr) {
    int e = errno;
    if (e == ENOENT || e == ENOTDIR) Raise(kPathNotFound);
    RaiseErrno(e);
  }
  std::vector<std::string> names;
  while (dirent* e = readdir(d)) {
    std::string_view n = e->d_name;
    if (n == "." || n == "..") continue;
    bool isFolder = false, isFile = false;
    if (e->d_type == DT_DIR) {
      isFolder = true;
    } else if (e->d_type == DT_REG) {
      isFile = true;
    } else if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
      struct stat st;
      if (fstatat(dirfd(d), e->d_name, &st, 0) == 0) {
        isFolder = S_ISDIR(st.st_mode);
        isFile = S_ISREG(st.st_mode);
      }
    }
    if (kind == EntryKind::kFolder ? isFolder : isFile) names.emplace_back(n);
  }
  closedir(d);
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return LessIgnoringCase(a, b); });
  return names;
}

}  // namespace

std::optional<std::string> ForeignLinkTarget(const fs::path& host) {
  const std::optional<fs::path> leads = ForeignLink(host);
  if (!leads) return std::nullopt;
  return ToWindows(*leads).value_or(leads->string());
}

std::string ForeignLinkText(std::string_view winFile, const std::string& leadsTo) {
  return std::string(winFile) + " could not be written: a link another user made leads it to " +
         leadsTo + ", outside the installation";
}

bool NormalFileExists(std::string_view winPath) {
  if (winPath.empty()) return false;
  auto host = ToHost(winPath);
  if (!host) return false;
  auto st = StatOf(*host);
  return st && S_ISREG(st->st_mode) && !IsHiddenName(host->filename().string());
}

bool FileExists(std::string_view winPath) {
  if (winPath.empty()) return false;
  auto host = ToHost(winPath);
  if (!host) return false;
  auto st = StatOf(*host);
  return st && S_ISREG(st->st_mode);
}

bool SourceFileExists(std::string_view winPath) {
  if (FileExists(winPath)) return true;
  auto host = winPath.empty() ? std::nullopt : ToHost(winPath);
  if (!host) return false;
  // The deepest folder on the way that exists decides: a missing name in a folder
  // that was read is truly missing.
  for (fs::path folder = host->parent_path();; folder = folder.parent_path()) {
    if (auto st = StatOf(folder)) {
      if (!S_ISDIR(st->st_mode)) return false;
      if (UnreadableMode(st->st_mode) || (st->st_mode & 0111) == 0 ||
          access(folder.c_str(), R_OK | X_OK) != 0) {
        const std::string shown = ToWindows(folder).value_or(folder.string());
        Raise(kPermissionDenied, shown + " could not be read");
      }
      return false;
    }
    if (folder == folder.parent_path()) return false;
  }
}

bool FolderExists(std::string_view winPath) {
  if (winPath.empty()) return false;
  auto host = ToHost(winPath);
  return host && IsFolder(*host);
}

std::string GetParentFolderName(std::string_view winPath) {
  auto isSep = [](char c) { return c == '\\' || c == '/'; };
  auto hasDrive = [](std::string_view s) { return s.size() >= 2 && s[1] == ':'; };
  std::string_view s = winPath;
  while (!s.empty() && isSep(s.back())) s.remove_suffix(1);
  // A root ("C:\", "\") has no parent.
  if (s.empty() || (hasDrive(s) && s.size() == 2)) return {};
  size_t last = s.find_last_of("\\/");
  if (last == std::string_view::npos) {
    // "C:name" lies in the drive's folder; a bare name has no parent text.
    return hasDrive(s) ? std::string(s.substr(0, 2)) : std::string();
  }
  std::string_view parent = s.substr(0, last);
  while (!parent.empty() && isSep(parent.back())) parent.remove_suffix(1);
  if (parent.empty()) return std::string(1, s[0]);
  if (hasDrive(parent) && parent.size() == 2) return std::string(parent) + "\\";
  return std::string(parent);
}

std::vector<std::string> FolderFiles(std::string_view winFolder) {
  std::vector<std::string> names = ListNames(winFolder, EntryKind::kFile);
  std::string prefix(winFolder);
  if (prefix.empty() || (prefix.back() != '\\' && prefix.back() != '/')) prefix += '\\';
  for (std::string& n : names) n = prefix + n;
  return names;
}

std::vector<std::string> SubFolderNames(std::string_view winFolder) {
  return ListNames(winFolder, EntryKind::kFolder);
}

std::vector<std::string> VisibleSubFolderNames(std::string_view winFolder) {
  std::vector<std::string> names;
  try {
    names = ListNames(winFolder, EntryKind::kFolder);
  } catch (const std::exception&) {
    return {};
  }
  std::erase_if(names, [](const std::string& n) { return IsHiddenName(n); });
  return names;
}

void AppendLine(std::string_view winFile, std::string_view text) {
  Append(winFile, ToAnsi(text) + "\r\n");
}

namespace {

bool WideText(std::string_view bytes) {
  return bytes.substr(0, 2) == "\xFF\xFE";
}

}  // namespace

void AppendBytes(std::string_view winFile, std::string_view bytes) {
  std::string head;
  auto host = ToHost(winFile);
  if (host) {
    UniqueFd fd(open(host->c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    char mark[2];
    if (fd.fd >= 0 && pread(fd.fd, mark, 2, 0) == 2) head.assign(mark, 2);
  }
  if (!WideText(head)) return Append(winFile, bytes);
  // Every Windows-1252 character lies in the Basic Multilingual Plane: one
  // unit each, from its UTF-8 form of one to three bytes.
  std::string wide;
  for (char ch : bytes) {
    const std::string utf8 = FromAnsi(std::string_view(&ch, 1));
    char32_t c = static_cast<unsigned char>(utf8[0]);
    if (utf8.size() > 1) {
      c &= utf8.size() == 2 ? 0x1F : 0x0F;
      for (size_t i = 1; i < utf8.size(); ++i) c = c << 6 | (utf8[i] & 0x3F);
    }
    wide += static_cast<char>(c & 0xFF);
    wide += static_cast<char>(c >> 8);
  }
  Append(winFile, wide);
}

bool LastLineOpen(std::string_view bytes) {
  if (WideText(bytes)) {
    if (bytes.size() < 4) return false;
    const char last = bytes[bytes.size() - 2];
    return bytes.back() != 0 || (last != '\n' && last != '\r');
  }
  return !bytes.empty() && bytes.back() != '\n' && bytes.back() != '\r';
}

bool ReadWholeFile(std::string_view winFile, std::string& bytes) {
  bytes.clear();
  auto host = ToHost(winFile);
  if (!host) return false;
  UniqueFd fd(open(host->c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (fd.fd < 0) return false;
  struct stat st;
  if (fstat(fd.fd, &st) != 0 || !S_ISREG(st.st_mode) || UnreadableMode(st.st_mode)) return false;
  std::string data;
  data.reserve(static_cast<size_t>(st.st_size));
  char buffer[65536];
  for (;;) {
    ssize_t n = read(fd.fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) break;
    data.append(buffer, static_cast<size_t>(n));
  }
  bytes = std::move(data);
  return true;
}

void CopyFile(std::string_view source, std::string_view destination, bool overwrite,
              std::string_view confinedTo) {
  auto src = ToHost(source);
  if (!src) Raise(kPathNotFound);
  auto dst = ToHost(destination);
  if (!dst) Raise(kPathNotFound);
  if (auto leads = ForeignLinkTarget(*dst))
    Raise(kPermissionDenied, ForeignLinkText(destination, *leads));
  const std::optional<fs::path> root = confinedTo.empty() ? std::nullopt : ToHost(confinedTo);
  CopyHostFile(*src, *dst, overwrite, root, confinedTo, destination);
}

bool EditWholeFile(std::string_view winFile, const std::function<bool(std::string& bytes)>& edit) {
  // On a copy: the kept bytes must not change unless the edit says so.
  return Rewrite(ToHost(winFile), true, [&edit](FileContents& contents) {
    std::string bytes = contents.bytes;
    if (!edit(bytes)) return false;
    contents.bytes = std::move(bytes);
    contents.index.reset();
    return true;
  });
}

bool EditCachedFile(std::string_view winFile, const std::function<bool(FileContents&)>& edit) {
  return Rewrite(ToHost(winFile), true, edit);
}

bool ReplaceWholeFile(std::string_view winFile, std::string_view bytes) {
  return Rewrite(ToHost(winFile), false, [bytes](FileContents& contents) {
    contents.bytes.assign(bytes);
    contents.index.reset();
    return true;
  });
}

std::optional<std::string> LastWriteRefusedLink() {
  const std::optional<fs::path> leads = LastRefusedLink();
  if (!leads) return std::nullopt;
  return ToWindows(*leads).value_or(leads->string());
}

FileContents* ReadCachedFile(std::string_view winFile) {
  auto host = ToHost(winFile);
  if (!host) return nullptr;
  return ReadCachedHostFile(*host);
}

void RemoveStaleTemporaries(std::string_view winFolder) {
  try {
    auto host = ToHost(winFolder);
    if (!host) return;
    RemoveStaleTemporariesAt(*host);
  } catch (const std::exception&) {
    // Clearing up is never worth a failure.
  }
}

}  // namespace platform
