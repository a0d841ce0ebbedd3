#include "files/rewrite.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <memory>
#include <optional>

#include "base/failure.h"
#include "base/termination.h"
#include "files/file_cache.h"
#include "platform/filesys.h"
#include "platform/winpath.h"

namespace platform {
namespace fs = std::filesystem;

namespace {

[[noreturn]] void RaiseErrno(int code) {
  Raise(FailureNumberForErrno(code));
}

// ---------------------------------------------------------------------------
// Temporary files.
//
// A new file is written under no name at all (O_TMPFILE) and named only once it
// is complete, so that a killed process leaves nothing behind. Where the file
// system cannot do that, the temporary file has a name of its own form from the
// start, which tells the process that owns it: RemoveStaleTemporaries clears
// those of processes that no longer run.

constexpr std::string_view kTempMark = ".kvxtmp-";
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

// The process that owns a temporary file of our form, from its name.
std::optional<pid_t> TempOwner(std::string_view name) {
  if (name.size() < 2 || name[0] != '.') return std::nullopt;
  const size_t mark = name.rfind(kTempMark);
  if (mark == std::string_view::npos || mark == 0) return std::nullopt;
  std::string_view rest = name.substr(mark + kTempMark.size());
  const size_t dash = rest.find('-');
  if (dash == std::string_view::npos) return std::nullopt;
  auto number = [](std::string_view digits, long long& value) {
    if (digits.empty() || digits.size() > 10) return false;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return ec == std::errc() && end == digits.data() + digits.size() &&
           std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  long long pid = 0, counter = 0;
  if (!number(rest.substr(0, dash), pid) || !number(rest.substr(dash + 1), counter))
    return std::nullopt;
  if (pid <= 0 || pid > 0x7fffffff) return std::nullopt;
  return static_cast<pid_t>(pid);
}

// A nameless file is named through /proc/self/fd; without /proc it could be
// named only with a privilege, so the files are named from the start instead.
bool NamelessFilesUsable() {
  static const bool usable = access("/proc/self/fd", X_OK) == 0;
  return usable && !namedTemporaries.load();
}

// The errors by which the system refuses a new name in a folder although an
// existing file there may still be writable: no write permission on the folder
// (EACCES), or a folder that is immutable or takes no new names (EPERM). A
// read-only file system (EROFS) or a full disk refuses the file's own writes as
// well, so those are failures.
bool FolderRefusesNewNames(int error) {
  return error == EACCES || error == EPERM;
}

// True when the step's own user may write the existing file at target. A
// replacement by rename needs only the folder's right, but a file its user may
// not write is not to be written, as on Windows.
bool MayWrite(const fs::path& target) {
  return faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) == 0;
}

// Gives the new file at fd the owner and group of the file it replaces, as the
// file keeps them when cp writes over it. False where the system refuses that
// (an ordinary user cannot give a file away): the file is then written in place.
bool TakeOverOwner(int fd, const struct stat& old) {
  if (old.st_uid == geteuid() && old.st_gid == getegid()) return true;
  return fchown(fd, old.st_uid, old.st_gid) == 0;
}

// open(2), once more after the replaced files kept for their close are closed
// where the process has used up its descriptors (a tight ulimit -n).
int OpenFreeingDescriptors(const char* path, int flags, mode_t mode = 0) {
  int fd = open(path, flags, mode);
  if (fd < 0 && errno == EMFILE && CloseReplacedNow()) fd = open(path, flags, mode);
  return fd;
}

// A temporary file for a target: whatever is written to fd() reaches the target
// only through Commit, and the file is gone on every other way out (a failure,
// an exception, a kill).
class TempFile {
 public:
  TempFile() = default;
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!named_.empty()) unlink(named_.c_str());
  }

  int fd() const { return fd_; }

  // Creates the file beside target with the permission bits mode (less the
  // umask). Returns 0 or an errno.
  int Create(const fs::path& target, mode_t mode) {
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

  // Puts the finished file at target: over whatever is there (replace), or only
  // where nothing is (EEXIST otherwise). Returns 0 or an errno; the target is
  // unchanged unless it is 0.
  int Commit(const fs::path& target, bool replace) {
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
    } else if (renameat2(AT_FDCWD, named_.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) !=
               0) {
      if (errno != EINVAL && errno != ENOSYS) return errno;
      // A file system without that rename: a hard link refuses an existing name too.
      if (link(named_.c_str(), target.c_str()) != 0) return errno;
      unlink(named_.c_str());
    }
    named_.clear();
    return 0;
  }

 private:
  int LinkTo(const fs::path& name) const {
    char self[40];
    snprintf(self, sizeof self, "/proc/self/fd/%d", fd_);
    return linkat(AT_FDCWD, self, AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
  }

  int fd_ = -1;
  fs::path named_;  // the name the file has now, if any
};

// Bytes a copy hands to the kernel at once; between two chunks a termination
// request is honoured. While a front end shows the progress the chunks are
// smaller, so that it repaints often even on a slow disk.
constexpr size_t kCopyChunk = size_t{64} << 20;
constexpr size_t kShownCopyChunk = size_t{8} << 20;

CopyProgress copyProgress;

// Copies bytes [from, to) of in to the same offsets of out (to < 0: up to the
// end of in, expected at expectedEnd), with the first of copy_file_range, sendfile and read/write
// that works here (method remembers it for the next range). Adds what it copied to copied and tells
// the progress between chunks. Returns 0 or an errno.
int CopyRange(int in, int out, off_t from, off_t to, off_t expectedEnd, int& method, size_t chunk,
              const std::function<void()>& check, off_t& copied) {
  off_t at = from;
  const off_t end = to < 0 ? expectedEnd : to;
  std::unique_ptr<char[]> buffer;
  constexpr size_t kBuffer = 1 << 20;
  while (to < 0 || at < to) {
    check();
    const size_t want = to < 0 ? chunk : static_cast<size_t>(std::min<off_t>(to - at, chunk));
    ssize_t n = -1;
    if (method == 0) {
      off_t inAt = at, outAt = at;
      n = copy_file_range(in, &inAt, out, &outAt, want, 0);
      // Not supported here (or a premature end some file systems report): the
      // next method goes on from the same offset.
      if ((n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL ||
                     errno == EBADF || errno == EPERM)) ||
          (n == 0 && at < end)) {
        method = 1;
        continue;
      }
    } else if (method == 1) {
      off_t inAt = at;
      n = lseek(out, at, SEEK_SET) == at ? sendfile(out, in, &inAt, want) : -1;
      if ((n < 0 && (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) ||
          (n == 0 && at < end)) {
        method = 2;
        continue;
      }
    } else {
      if (!buffer) buffer.reset(new char[kBuffer]);
      n = pread(in, buffer.get(), std::min(want, kBuffer), at);
      if (n > 0 && (lseek(out, at, SEEK_SET) != at ||
                    !WriteAll(out, std::string_view(buffer.get(), static_cast<size_t>(n)))))
        return errno;
    }
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return 0;  // the end of in (a file shrunk meanwhile ends early)
    at += n;
    copied += n;
  }
  return 0;
}

// Copies in (of size bytes by its stat) to out, which is empty or is to be
// overwritten whole. With keepHoles the holes of a sparse source stay holes in
// out, as cp keeps them, so that a sparse database cannot fill the disk; out
// must then be a new, empty file. Between chunks a termination request is
// honoured (when interruptible) and the progress told under the name shownAs.
// copied ends as the size of the copy. Returns 0 or an errno.
int CopyContents(int in, int out, off_t size, bool interruptible, bool keepHoles, off_t& copied,
                 std::string_view shownAs) {
  const size_t chunk = copyProgress ? kShownCopyChunk : kCopyChunk;
  off_t done = 0;
  const std::function<void()> check = [&] {
    if (copyProgress)
      copyProgress(shownAs, static_cast<uint64_t>(std::min(done, size)),
                   static_cast<uint64_t>(size));
    if (interruptible) CheckTermination();
  };
  int method = 0;
  copied = 0;
  if (keepHoles) {
    for (off_t at = 0;;) {
      const off_t data = lseek(in, at, SEEK_DATA);
      if (data < 0) {
        if (errno == ENXIO) break;  // no data beyond at
        // A file system that cannot tell its holes: the rest is copied whole.
        if (errno != EINVAL && errno != EOPNOTSUPP) return errno;
        done = at;
        if (int e = CopyRange(in, out, at, -1, size, method, chunk, check, done)) return e;
        copied = done;
        return 0;
      }
      off_t hole = lseek(in, data, SEEK_HOLE);
      if (hole < 0) return errno;
      done = data;
      if (int e = CopyRange(in, out, data, hole, hole, method, chunk, check, done)) return e;
      at = hole;
    }
    // A source that ends in a hole: the size makes the rest.
    const off_t end = lseek(in, 0, SEEK_END);
    if (end < 0) return errno;
    if (ftruncate(out, end) != 0) return errno;
    done = copied = end;
    check();
    return 0;
  }
  if (int e = CopyRange(in, out, 0, -1, size, method, chunk, check, done)) return e;
  copied = done;
  return 0;
}

// A source at host (open as fd) named as lying in the Windows folder confinedTo
// must really lie there: a symbolic link in that folder (of the file or of a
// folder on its way) must not lead out of it. A source named elsewhere is not
// confined.
bool StaysWithin(const fs::path& host, int fd, std::string_view confinedTo) {
  auto root = ToHost(confinedTo);
  if (!root || !HostPathBelow(host, *root)) return true;
  std::error_code ec;
  const fs::path realRoot = fs::canonical(*root, ec);
  if (ec) return false;
  char self[40];
  snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
  fs::path real = fs::read_symlink(self, ec);
  if (ec) real = fs::canonical(host, ec);  // no /proc: by the path
  return !ec && HostPathBelow(real, realRoot);
}

// ---------------------------------------------------------------------------
// Writing in place, where a folder takes no new files. Not atomic, so whatever
// can be known to fail is tried before the first byte changes.

// Room for a file growing from oldSize to newSize: the size limit of the process
// and the free space. Returns 0 or an errno.
int MakeRoom(int fd, off_t oldSize, off_t newSize) {
  if (newSize <= oldSize) return 0;
  rlimit limit{};
  if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
      static_cast<rlim_t>(newSize) > limit.rlim_cur)
    return EFBIG;
  if (fallocate(fd, FALLOC_FL_KEEP_SIZE, oldSize, newSize - oldSize) != 0 && errno != EOPNOTSUPP &&
      errno != ENOSYS)
    return errno;
  return 0;
}

// Opens the existing target for writing in place: still the writable regular
// file it was. Returns the descriptor or -1 with errno set.
int OpenInPlace(const fs::path& target, struct stat& st) {
  int fd = open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return -1;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ReadOnlyMode(st.st_mode)) {
    ::close(fd);
    errno = EACCES;
    return -1;
  }
  return fd;
}

// The whole bytes as the new contents of the existing file, same inode, mode and
// owner; written gets the file's state afterwards. False on any failure. Synced
// with the other written files, not here.
bool WriteInPlace(const fs::path& target, const struct stat& old, std::string_view bytes,
                  struct stat& written) {
  struct stat st;
  UniqueFd out(OpenInPlace(target, st));
  // The file the caller checked (and locked), not one put there since.
  if (out.fd < 0 || st.st_dev != old.st_dev || st.st_ino != old.st_ino) return false;
  const off_t size = static_cast<off_t>(bytes.size());
  if (MakeRoom(out.fd, st.st_size, size) != 0) return false;
  if (!WriteAll(out.fd, bytes) || ftruncate(out.fd, size) != 0) return false;
  NoteWrittenFile(target, false);
  return fstat(out.fd, &written) == 0 && out.Close() == 0;
}

// The source's bytes, mode and times as the new contents of the existing
// destination. Finished even when a termination request arrives meanwhile:
// stopping half-way would leave a torn file.
void CopyInPlace(int in, const fs::path& target, const struct stat& srcSt,
                 std::string_view shownAs) {
  struct stat st;
  UniqueFd out(OpenInPlace(target, st));
  if (out.fd < 0) RaiseErrno(errno);
  if (int e = MakeRoom(out.fd, st.st_size, srcSt.st_size)) RaiseErrno(e);
  off_t copied = 0;
  if (int e = CopyContents(in, out.fd, srcSt.st_size, false, false, copied, shownAs)) RaiseErrno(e);
  if (ftruncate(out.fd, copied) != 0) RaiseErrno(errno);
  // The file keeps its owner and mode, as under cp; it may belong to someone
  // else, who keeps its times then.
  timespec times[2] = {srcSt.st_atim, srcSt.st_mtim};
  (void)!futimens(out.fd, times);
  if (fsync(out.fd) != 0) RaiseErrno(errno);
  if (out.Close() != 0) RaiseErrno(errno);
}

// ---------------------------------------------------------------------------
// Whole-file replacement.

enum class Outcome { kDone, kFailed, kRetry };

// Puts bytes at target, where old is the file there now (nullptr: none). A new
// file is created only where none has appeared meanwhile when createOnly is set
// (kRetry otherwise). When done, written gets the state of the new file as
// long as it is still the one written (nothing otherwise). Not synced here: the
// file is noted for SyncWrittenFiles.
Outcome WriteContents(const fs::path& target, const struct stat* old, std::string_view bytes,
                      bool createOnly, std::optional<struct stat>& written) {
  written.reset();
  auto folder = StatOf(target.parent_path());
  if (!folder || !S_ISDIR(folder->st_mode)) return Outcome::kFailed;
  if (old && (!S_ISREG(old->st_mode) || ReadOnlyMode(old->st_mode) || !MayWrite(target)))
    return Outcome::kFailed;
  auto inPlace = [&] {
    struct stat st;
    if (!old || !WriteInPlace(target, *old, bytes, st)) return Outcome::kFailed;
    written = st;
    return Outcome::kDone;
  };
  // A new file needs a folder that takes new files; an existing one is replaced
  // atomically wherever the system allows the temporary file.
  if (ReadOnlyMode(folder->st_mode) && !old) return Outcome::kFailed;
  TempFile temp;
  if (int e = temp.Create(target, old ? 0600 : 0666))
    return FolderRefusesNewNames(e) ? inPlace() : Outcome::kFailed;
  if (!WriteAll(temp.fd(), bytes)) return Outcome::kFailed;
  if (old) {
    // The file stays its owner's, with its group and mode: where they cannot be
    // given to the new file (another user's file in a shared folder), it is
    // rewritten in place, as cp writes over it.
    if (!TakeOverOwner(temp.fd(), *old)) return inPlace();
    if (fchmod(temp.fd(), old->st_mode & 07777) != 0) return Outcome::kFailed;
  }
  struct stat mine;
  if (fstat(temp.fd(), &mine) != 0) return Outcome::kFailed;
  const bool replace = old != nullptr || !createOnly;
  if (int e = temp.Commit(target, replace))
    return e == EEXIST && !replace ? Outcome::kRetry : Outcome::kFailed;
  NoteWrittenFile(target, true);
  // The name changed the file's change time; another writer may have replaced it since.
  auto now = StatOf(target);
  if (now && now->st_dev == mine.st_dev && now->st_ino == mine.st_ino) written = *now;
  return Outcome::kDone;
}

// How long a write waits for another program's lock on its file before the
// write fails: long enough for any other writer's read-modify-write, short
// enough that OK does not stand under the hourglass without a word.
constexpr int kLockWaitMs = 10'000;
constexpr int kLockPollMs = 20;

bool lockTimedOut = false;
std::optional<std::string> refusedLink;

void SleepMs(int ms) {
  const timespec pause{ms / 1000, (ms % 1000) * 1'000'000L};
  nanosleep(&pause, nullptr);
}
// The pause between two tries, and with it the clock of the wait.
void (*lockPause)(int ms) = SleepMs;

// Waits for the exclusive lock of a file; false when another holds it longer
// than kLockWaitMs. A file system without locks lets the write go ahead as it
// would without them; a termination request ends the wait.
bool LockExclusive(int fd) {
  for (int waited = 0;; waited += kLockPollMs) {
    CheckTermination();
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return true;
    if (waited >= kLockWaitMs) return false;
    lockPause(kLockPollMs);
  }
}

// After a write: the cache keeps what was written (contents, when it is not the
// cache's own entry) while the file is the one written, and forgets it otherwise.
void KeepWritten(const fs::path& host, Outcome o, const std::optional<struct stat>& written,
                 FileContents* contents, FileContents& local) {
  if (o != Outcome::kDone || !written) return ForgetCachedFile(host);
  const timespec now = CacheClock();
  if (contents == &local)
    CacheContents(host, *written, now, std::move(local.bytes));
  else
    RestampCachedFile(host, *written, now);
}

// One locked read-modify-write cycle after another until one finds the file it
// locked still in place (read: the edit needs the current bytes). The bytes
// come from the cache when it holds the locked file's; edit changes them there.
bool Rewrite(std::string_view winFile, bool read, const std::function<bool(FileContents&)>& edit) {
  lockTimedOut = false;
  refusedLink.reset();
  auto host = ToHost(winFile);
  if (!host) return false;
  if ((refusedLink = ForeignLinkTarget(*host))) return false;
  for (int attempt = 0; attempt < 1000; ++attempt) {
    fs::path target = ReplacementTarget(*host);
    UniqueFd fd(
        OpenFreeingDescriptors(target.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.fd < 0 && errno == EACCES && !read)
      fd.fd = open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    FileContents local;
    std::optional<struct stat> written;
    if (fd.fd < 0) {
      if (errno != ENOENT) return false;
      ForgetCachedFile(*host);
      // A link to nothing is no missing file that an edit could create.
      if (read && LstatOf(target)) return false;
      if (!edit(local)) return true;
      Outcome o = WriteContents(target, nullptr, local.bytes, read, written);
      if (o == Outcome::kRetry) continue;
      KeepWritten(*host, o, written, &local, local);
      return o == Outcome::kDone;
    }
    struct stat st;
    if (fstat(fd.fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    if (!LockExclusive(fd.fd)) {
      lockTimedOut = true;
      return false;
    }
    const timespec locked = CacheClock();
    // The writer that held the lock before may have renamed a new file over the
    // one locked here; that one is to be edited then.
    auto now = StatOf(target);
    if (fstat(fd.fd, &st) != 0 || !now || now->st_dev != st.st_dev || now->st_ino != st.st_ino)
      continue;
    FileContents* contents = &local;
    if (read) {
      if (UnreadableMode(st.st_mode)) return false;
      contents = CachedContents(*host, st, locked, fd.fd);
      if (contents == nullptr) {
        std::string bytes;
        if (!ReadContents(fd.fd, st.st_size, bytes)) return false;
        contents = CacheContents(*host, st, locked, std::move(bytes));
      }
    }
    bool changed = false;
    try {
      changed = edit(*contents);
    } catch (...) {
      ForgetCachedFile(*host);  // the edit may have left the kept bytes half changed
      throw;
    }
    if (!changed) return true;
    // The lock goes with the descriptor, after the new file is in place.
    Outcome o = WriteContents(target, &st, contents->bytes, false, written);
    KeepWritten(*host, o, written, contents, local);
    if (o == Outcome::kDone && written &&
        (written->st_dev != st.st_dev || written->st_ino != st.st_ino)) {
      CloseReplacedLater(fd.fd, st.st_size);
      fd.fd = -1;
    }
    return o == Outcome::kDone;
  }
  return false;
}

}  // namespace

void SetCopyProgress(CopyProgress progress) {
  copyProgress = std::move(progress);
}

void CopyFile(std::string_view source, std::string_view destination, bool overwrite,
              std::string_view confinedTo) {
  auto src = ToHost(source);
  if (!src) Raise(kPathNotFound);
  auto dst = ToHost(destination);
  if (!dst) Raise(kPathNotFound);
  if (auto leads = ForeignLinkTarget(*dst))
    Raise(kPermissionDenied, ForeignLinkText(destination, *leads));

  UniqueFd in(OpenFreeingDescriptors(src->c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (in.fd < 0) {
    int e = errno;
    if (e == ENOENT || e == ENOTDIR || e == ELOOP || e == ENXIO) Raise(kFileNotFound);
    RaiseErrno(e);
  }
  struct stat srcSt;
  if (fstat(in.fd, &srcSt) != 0) RaiseErrno(errno);
  if (!S_ISREG(srcSt.st_mode)) Raise(kFileNotFound);
  if (UnreadableMode(srcSt.st_mode)) Raise(kPermissionDenied);
  if (!confinedTo.empty() && !StaysWithin(*src, in.fd, confinedTo))
    Raise(kPermissionDenied, "Link to a file outside " + std::string(confinedTo));

  // One look at the destination, which is its stat as well unless it is a link.
  fs::path target = *dst;
  std::optional<struct stat> dstSt = LstatOf(target);
  if (dstSt && S_ISLNK(dstSt->st_mode)) {
    target = ReplacementTarget(*dst);
    dstSt = StatOf(target);
  }
  auto folder = StatOf(target.parent_path());
  if (!folder || !S_ISDIR(folder->st_mode)) Raise(kPathNotFound);
  bool existing = false;
  if (dstSt) {
    if (S_ISDIR(dstSt->st_mode)) Raise(kPermissionDenied);
    if (!overwrite) Raise(kFileAlreadyExists);
    // The same file under another name: copying would truncate the source.
    if (dstSt->st_dev == srcSt.st_dev && dstSt->st_ino == srcSt.st_ino) return;
    if (!S_ISREG(dstSt->st_mode) || ReadOnlyMode(dstSt->st_mode) || !MayWrite(target))
      Raise(kPermissionDenied);
    existing = true;
  }

  // Windows needs no right on the folder to overwrite a file in it, but a copy
  // written in place can be torn by a crash: the atomic way is tried first, and
  // the file is overwritten in place only where the system refuses the
  // temporary file.
  if (ReadOnlyMode(folder->st_mode) && !existing) Raise(kPermissionDenied);
  TempFile temp;
  if (int e = temp.Create(target, 0600)) {
    if (existing && FolderRefusesNewNames(e)) return CopyInPlace(in.fd, target, srcSt, destination);
    RaiseErrno(e);
  }
  // A file copied over keeps its owner, group and mode, as under cp; where the
  // owner cannot be kept, the copy is written in place as cp writes it.
  if (existing && !TakeOverOwner(temp.fd(), *dstSt))
    return CopyInPlace(in.fd, target, srcSt, destination);
  off_t copied = 0;
  if (int e = CopyContents(in.fd, temp.fd(), srcSt.st_size, true, true, copied, destination))
    RaiseErrno(e);
  if (fchmod(temp.fd(), (existing ? dstSt->st_mode : srcSt.st_mode) & 07777) != 0)
    RaiseErrno(errno);
  timespec times[2] = {srcSt.st_atim, srcSt.st_mtim};
  if (futimens(temp.fd(), times) != 0) RaiseErrno(errno);
  // No fsync: the rename alone guarantees that an interrupted copy leaves the
  // old file or the whole new one, and a database copy must keep pace with cp.
  if (int e = temp.Commit(target, true)) RaiseErrno(e);
}

bool EditWholeFile(std::string_view winFile, const std::function<bool(std::string& bytes)>& edit) {
  // On a copy: the kept bytes must not change unless the edit says so.
  return Rewrite(winFile, true, [&edit](FileContents& contents) {
    std::string bytes = contents.bytes;
    if (!edit(bytes)) return false;
    contents.bytes = std::move(bytes);
    contents.index.reset();
    return true;
  });
}

bool EditCachedFile(std::string_view winFile, const std::function<bool(FileContents&)>& edit) {
  return Rewrite(winFile, true, edit);
}

bool ReplaceWholeFile(std::string_view winFile, std::string_view bytes) {
  return Rewrite(winFile, false, [bytes](FileContents& contents) {
    contents.bytes.assign(bytes);
    contents.index.reset();
    return true;
  });
}

void RemoveStaleTemporaries(std::string_view winFolder) {
  try {
    auto host = ToHost(winFolder);
    if (!host) return;
    std::unique_ptr<DIR, int (*)(DIR*)> d(opendir(host->c_str()), closedir);
    if (!d) return;
    while (dirent* e = readdir(d.get())) {
      std::optional<pid_t> owner = TempOwner(e->d_name);
      if (!owner || *owner == getpid()) continue;
      struct stat st;
      if (fstatat(dirfd(d.get()), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
        continue;
      // Only a process that is certainly gone; one we may not signal still runs.
      if (kill(*owner, 0) == 0 || errno != ESRCH) continue;
      unlinkat(dirfd(d.get()), e->d_name, 0);
    }
  } catch (const std::exception&) {
    // Clearing up is never worth a failure.
  }
}

void SetLockPauseForTesting(void (*pause)(int milliseconds)) {
  lockPause = pause != nullptr ? pause : SleepMs;
}

bool LastWriteFoundFileLocked() {
  return lockTimedOut;
}

std::optional<std::string> LastWriteRefusedLink() {
  return refusedLink;
}

void SetNamedTemporariesForTesting(bool named) {
  namedTemporaries = named;
}

}  // namespace platform
