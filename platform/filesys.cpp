#include "platform/filesys.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <optional>

#include "platform/failure.h"
#include "platform/text.h"
#include "platform/winpath.h"

namespace platform {
namespace fs = std::filesystem;

namespace {

// Windows' notion of access, which must hold even for root (where the kernel
// ignores permission bits): no write bit means read-only, no read bit means
// unreadable. Every check in this file goes through these two.
bool ReadOnlyMode(mode_t mode) {
  return (mode & 0222) == 0;
}
bool UnreadableMode(mode_t mode) {
  return (mode & 0444) == 0;
}

std::optional<struct stat> StatOf(const fs::path& p) {
  struct stat st;
  if (stat(p.c_str(), &st) != 0) return std::nullopt;
  return st;
}

std::optional<struct stat> LstatOf(const fs::path& p) {
  struct stat st;
  if (lstat(p.c_str(), &st) != 0) return std::nullopt;
  return st;
}

bool IsFolder(const fs::path& p) {
  auto st = StatOf(p);
  return st && S_ISDIR(st->st_mode);
}

[[noreturn]] void RaiseErrno(int code) {
  Raise(FailureNumberForErrno(code));
}

// Closes a descriptor on every way out.
struct Fd {
  int fd = -1;
  explicit Fd(int f) : fd(f) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
  // Closes now and reports the result (errors of delayed writes show up here).
  int Close() {
    int r = ::close(fd);
    fd = -1;
    return r;
  }
};

// The file a replacement is written for: a symbolic link is followed, so that
// the linked file gets the new contents and the link stays.
fs::path ReplacementTarget(const fs::path& host) {
  auto lst = LstatOf(host);
  if (lst && S_ISLNK(lst->st_mode)) {
    std::error_code ec;
    fs::path target = fs::canonical(host, ec);
    if (!ec) return target;
  }
  return host;
}

// A temporary file beside target, hidden from listings by its leading dot. The
// kernel applies the umask to mode.
struct TempFile {
  fs::path path;
  int fd = -1;
};

std::optional<TempFile> CreateTempBeside(const fs::path& target, mode_t mode, int& error) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    unsigned long long tag = (static_cast<unsigned long long>(getpid()) << 32) ^
                             static_cast<unsigned long long>(ts.tv_nsec) ^
                             (static_cast<unsigned long long>(counter++) << 20);
    char suffix[24];
    snprintf(suffix, sizeof suffix, ".%llx.tmp", tag);
    fs::path p = target.parent_path() / ("." + target.filename().string() + suffix);
    int fd = open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0) return TempFile{p, fd};
    if (errno != EEXIST) {
      error = errno;
      return std::nullopt;
    }
  }
  error = EEXIST;
  return std::nullopt;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// Makes a finished rename durable; a failure here changes nothing visible.
void SyncFolder(const fs::path& folder) {
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
}

// Copies from the current offset of in to the end of the file, through the
// kernel's copy path where the file systems allow it. Returns 0 or an errno.
int CopyContents(int in, int out, off_t size) {
  off_t copied = 0;
  bool tryRange = true, trySendfile = true;
  while (tryRange) {
    ssize_t n = copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
    if (n > 0) {
      copied += n;
      continue;
    }
    if (n == 0 && copied >= size) return 0;
    if (n < 0 && errno == EINTR) continue;
    // Not supported here (or a premature end some file systems report): go on
    // from the current offsets with the next method.
    if (n < 0 && errno != EXDEV && errno != ENOSYS && errno != EOPNOTSUPP && errno != EINVAL &&
        errno != EBADF && errno != EPERM)
      return errno;
    tryRange = false;
  }
  while (trySendfile) {
    ssize_t n = sendfile(out, in, nullptr, 1 << 30);
    if (n > 0) {
      copied += n;
      continue;
    }
    if (n == 0 && copied >= size) return 0;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
    trySendfile = false;
  }
  constexpr size_t kBuffer = 1 << 20;
  std::unique_ptr<char[]> buffer(new char[kBuffer]);
  for (;;) {
    ssize_t n = read(in, buffer.get(), kBuffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return 0;
    if (!WriteAll(out, std::string_view(buffer.get(), static_cast<size_t>(n)))) return errno;
  }
}

// Shared checks of the append functions; gives the host path to open.
fs::path AppendTarget(std::string_view winFile) {
  auto host = ToHost(winFile);
  if (!host) Raise(kPathNotFound);
  fs::path target = ReplacementTarget(*host);
  auto folder = StatOf(target.parent_path());
  if (!folder || !S_ISDIR(folder->st_mode)) Raise(kPathNotFound);
  if (auto st = StatOf(target)) {
    if (S_ISDIR(st->st_mode)) Raise(kPathFileAccessError);
    if (S_ISFIFO(st->st_mode) || S_ISSOCK(st->st_mode)) Raise(kPathFileAccessError);
    if (ReadOnlyMode(st->st_mode)) Raise(kPermissionDenied);
  } else if (ReadOnlyMode(folder->st_mode)) {
    Raise(kPermissionDenied);
  }
  return target;
}

void Append(std::string_view winFile, std::string_view bytes) {
  fs::path target = AppendTarget(winFile);
  Fd fd(open(target.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666));
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
  if (!host || !IsFolder(*host)) Raise(kPathNotFound);
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

void CopyFile(std::string_view source, std::string_view destination, bool overwrite) {
  auto src = ToHost(source);
  if (!src) Raise(kPathNotFound);
  auto dst = ToHost(destination);
  if (!dst) Raise(kPathNotFound);

  Fd in(open(src->c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (in.fd < 0) {
    int e = errno;
    if (e == ENOENT || e == ENOTDIR || e == ELOOP || e == ENXIO) Raise(kFileNotFound);
    RaiseErrno(e);
  }
  struct stat srcSt;
  if (fstat(in.fd, &srcSt) != 0) RaiseErrno(errno);
  if (!S_ISREG(srcSt.st_mode)) Raise(kFileNotFound);
  if (UnreadableMode(srcSt.st_mode)) Raise(kPermissionDenied);

  fs::path target = ReplacementTarget(*dst);
  auto folder = StatOf(target.parent_path());
  if (!folder || !S_ISDIR(folder->st_mode)) Raise(kPathNotFound);
  if (auto dstSt = StatOf(target)) {
    if (S_ISDIR(dstSt->st_mode)) Raise(kPermissionDenied);
    if (!overwrite) Raise(kFileAlreadyExists);
    // The same file under another name: copying would truncate the source.
    if (dstSt->st_dev == srcSt.st_dev && dstSt->st_ino == srcSt.st_ino) return;
    if (!S_ISREG(dstSt->st_mode) || ReadOnlyMode(dstSt->st_mode)) Raise(kPermissionDenied);
  }
  if (ReadOnlyMode(folder->st_mode)) Raise(kPermissionDenied);

  int error = 0;
  auto temp = CreateTempBeside(target, 0600, error);
  if (!temp) RaiseErrno(error);
  Fd out(temp->fd);
  auto fail = [&](int e) {
    out.Close();
    unlink(temp->path.c_str());
    RaiseErrno(e);
  };
  if (int e = CopyContents(in.fd, out.fd, srcSt.st_size)) fail(e);
  if (fchmod(out.fd, srcSt.st_mode & 07777) != 0) fail(errno);
  timespec times[2] = {srcSt.st_atim, srcSt.st_mtim};
  if (futimens(out.fd, times) != 0) fail(errno);
  // No fsync: the rename alone guarantees that an interrupted copy leaves the
  // old file or the whole new one, and a database copy must keep pace with cp.
  if (out.Close() != 0) {
    int e = errno;
    unlink(temp->path.c_str());
    RaiseErrno(e);
  }
  if (rename(temp->path.c_str(), target.c_str()) != 0) {
    int e = errno;
    unlink(temp->path.c_str());
    RaiseErrno(e);
  }
}

void AppendLine(std::string_view winFile, std::string_view text) {
  Append(winFile, ToAnsi(text) + "\r\n");
}

void AppendBytes(std::string_view winFile, std::string_view bytes) {
  Append(winFile, bytes);
}

bool ReadWholeFile(std::string_view winFile, std::string& bytes) {
  bytes.clear();
  auto host = ToHost(winFile);
  if (!host) return false;
  Fd fd(open(host->c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
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

bool ReplaceWholeFile(std::string_view winFile, std::string_view bytes) {
  auto host = ToHost(winFile);
  if (!host) return false;
  fs::path target = ReplacementTarget(*host);
  auto folder = StatOf(target.parent_path());
  if (!folder || !S_ISDIR(folder->st_mode) || ReadOnlyMode(folder->st_mode)) return false;
  auto old = StatOf(target);
  if (old && (!S_ISREG(old->st_mode) || ReadOnlyMode(old->st_mode))) return false;

  int error = 0;
  auto temp = CreateTempBeside(target, old ? 0600 : 0666, error);
  if (!temp) return false;
  Fd out(temp->fd);
  bool ok = WriteAll(out.fd, bytes);
  if (ok && old) {
    ok = fchmod(out.fd, old->st_mode & 07777) == 0;
    // Keep the owner when running privileged; an ordinary user cannot give files
    // away, and the file then simply becomes theirs.
    if (ok && (old->st_uid != geteuid() || old->st_gid != getegid()))
      (void)!fchown(out.fd, old->st_uid, old->st_gid);
  }
  ok = ok && fsync(out.fd) == 0;
  ok = (out.Close() == 0) && ok;
  ok = ok && rename(temp->path.c_str(), target.c_str()) == 0;
  if (!ok) {
    unlink(temp->path.c_str());
    return false;
  }
  SyncFolder(target.parent_path());
  return true;
}

}  // namespace platform
