#include "files/rewrite.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "base/termination.h"
#include "files/host.h"
#include "files/in_place.h"
#include "files/links.h"
#include "files/temporary.h"

namespace platform {
namespace fs = std::filesystem;

namespace {

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
std::optional<fs::path> refusedLink;

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

}  // namespace

// One locked read-modify-write cycle after another until one finds the file it
// locked still in place (read: the edit needs the current bytes). The bytes
// come from the cache when it holds the locked file's; edit changes them there.
bool Rewrite(const std::optional<fs::path>& host, bool read,
             const std::function<bool(FileContents&)>& edit) {
  lockTimedOut = false;
  refusedLink.reset();
  if (!host) return false;
  if ((refusedLink = ForeignLink(*host))) return false;
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

void SetLockPauseForTesting(void (*pause)(int milliseconds)) {
  lockPause = pause != nullptr ? pause : SleepMs;
}

bool LastWriteFoundFileLocked() {
  return lockTimedOut;
}

std::optional<fs::path> LastRefusedLink() {
  return refusedLink;
}

}  // namespace platform
