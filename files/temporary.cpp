#include "files/temporary.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>

#include "files/file_cache.h"

namespace platform {
namespace fs = std::filesystem;

namespace {

constexpr size_t kNameMax = 255;

std::atomic<unsigned> tempCounter{0};
std::atomic<bool> namedTemporaries{false};

// ".<target name>.kvxtmp-<pid>-<counter>"; the target's part is cut where the
// whole would be too long a name.
std::string TempName(const std::string& targetName) {
  const std::string suffix = std::string(kTempMark) + std::to_string(getpid()) + "-" +
                             std::to_string(tempCounter.fetch_add(1));
  return "." + targetName.substr(0, kNameMax - 1 - suffix.size()) + suffix;
}

// A nameless file is named through /proc/self/fd; without /proc it could be
// named only with a privilege, so the files are named from the start instead.
bool NamelessFilesUsable() {
  static const bool usable = access("/proc/self/fd", X_OK) == 0;
  return usable && !namedTemporaries.load();
}

}  // namespace

bool FolderRefusesNewNames(int error) {
  return error == EACCES || error == EPERM;
}

bool MayWrite(const fs::path& target) {
  return faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) == 0;
}

bool TakeOverOwner(int fd, const struct stat& old) {
  if (old.st_uid == geteuid() && old.st_gid == getegid()) return true;
  return fchown(fd, old.st_uid, old.st_gid) == 0;
}

int OpenFreeingDescriptors(const char* path, int flags, mode_t mode) {
  int fd = open(path, flags, mode);
  if (fd < 0 && errno == EMFILE && CloseReplacedNow()) fd = open(path, flags, mode);
  return fd;
}

TempFile::~TempFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!named_.empty()) unlink(named_.c_str());
}

int TempFile::Create(const fs::path& target, mode_t mode) {
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  if (NamelessFilesUsable()) {
    fd_ = OpenFreeingDescriptors(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (fd_ >= 0) return 0;
    // Kernels and file systems without nameless files answer with one of these.
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return errno;
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path name = folder / TempName(target.filename().string());
    fd_ = OpenFreeingDescriptors(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY,
                                 mode);
    if (fd_ >= 0) {
      named_ = std::move(name);
      return 0;
    }
    if (errno != EEXIST) return errno;
  }
  return EEXIST;
}

int TempFile::Commit(const fs::path& target, bool replace) {
  if (named_.empty()) {
    // Straight to the target where nothing is there: no name in between.
    int e = LinkTo(target);
    if (e == 0 || !replace || e != EEXIST) {
      ::close(fd_);
      fd_ = -1;
      return e;
    }
    // A name of our form for the moment between link and rename; only a kill
    // in that moment leaves it behind.
    for (int attempt = 0;; ++attempt) {
      fs::path name = target.parent_path() / TempName(target.filename().string());
      e = LinkTo(name);
      if (e == 0) {
        named_ = std::move(name);
        break;
      }
      if (e != EEXIST || attempt == 100) return e;
    }
    ::close(fd_);
    fd_ = -1;
  } else {
    // Errors of delayed writes may show up only here.
    int r = ::close(fd_);
    fd_ = -1;
    if (r != 0) return errno;
  }
  if (replace) {
    if (rename(named_.c_str(), target.c_str()) != 0) return errno;
  } else if (renameat2(AT_FDCWD, named_.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // A file system without that rename: a hard link refuses an existing name too.
    if (link(named_.c_str(), target.c_str()) != 0) return errno;
    unlink(named_.c_str());
  }
  named_.clear();
  return 0;
}

int TempFile::LinkTo(const fs::path& name) const {
  char self[40];
  snprintf(self, sizeof self, "/proc/self/fd/%d", fd_);
  return linkat(AT_FDCWD, self, AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

void SetNamedTemporariesForTesting(bool named) {
  namedTemporaries = named;
}

}  // namespace platform
