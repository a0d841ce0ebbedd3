#include "files/file_cache.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <list>

#include "files/file_trust.h"
#include "files/host.h"

namespace platform {
namespace fs = std::filesystem;

namespace {

constexpr size_t kMaxFiles = 8;
// Bytes kept in all; the most recently used file is kept whatever its size.
constexpr size_t kMaxBytes = size_t{32} << 20;
// Room for the lines a write adds without moving the whole file.
constexpr size_t kSlack = size_t{64} << 10;
constexpr size_t kChunk = size_t{1} << 16;

long long timestampTick = 0;
uint64_t contentReads = 0;

long long Ns(const timespec& t) {
  return static_cast<long long>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

struct Stamp {
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  long long mtime = 0, ctime = 0;
  bool operator==(const Stamp&) const = default;
};

Stamp StampOf(const struct stat& st) {
  Stamp s{st.st_dev, st.st_ino, st.st_size, Ns(st.st_mtim), Ns(st.st_ctim)};
  if (timestampTick > 0) {
    s.mtime -= s.mtime % timestampTick;
    s.ctime -= s.ctime % timestampTick;
  }
  return s;
}

struct Entry {
  std::string host;
  Stamp stamp;
  long long readAt = 0;  // when the bytes were known to be the file's
  // On a file system whose changes may come from elsewhere (a network one) the
  // times vouch for nothing: the entry only carries the bytes of one write.
  bool trusted = false;
  FileContents contents;
};

std::list<Entry>& Entries() {
  static std::list<Entry> entries;
  return entries;
}

// The file's times lie so far before the read that any later change shows in
// them.
bool Settled(const Entry& e) {
  return !TooRecentToTrust(e.stamp.mtime, e.stamp.ctime, e.readAt);
}

std::list<Entry>::iterator Find(const fs::path& host) {
  auto& entries = Entries();
  return std::find_if(entries.begin(), entries.end(),
                      [&](const Entry& e) { return e.host == host.native(); });
}

// Moves an entry to the front (most recently used).
FileContents* Use(std::list<Entry>::iterator it) {
  auto& entries = Entries();
  entries.splice(entries.begin(), entries, it);
  return &entries.front().contents;
}

// The file open at fd holds exactly bytes.
bool SameBytes(int fd, const std::string& bytes) {
  ++contentReads;
  std::unique_ptr<char[]> buffer(new char[kChunk]);
  for (size_t at = 0;;) {
    ssize_t n = pread(fd, buffer.get(), kChunk, static_cast<off_t>(at));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return at == bytes.size();
    const size_t got = static_cast<size_t>(n);
    if (at + got > bytes.size() || std::memcmp(buffer.get(), bytes.data() + at, got) != 0)
      return false;
    at += got;
  }
}

struct Written {
  std::string file;
  bool withFolder;
};

std::vector<Written>& Pending() {
  static std::vector<Written> pending;
  return pending;
}

// Replaced files waiting for their close; a few only, so that their space on
// the disk comes back soon and a tight descriptor limit (ulimit -n) is left
// to the files the step works on.
constexpr size_t kMaxReplaced = 4;
constexpr off_t kMaxReplacedBytes = off_t{128} << 20;

struct Replaced {
  int fd;
  off_t size;
};

std::vector<Replaced>& ReplacedFiles() {
  static std::vector<Replaced> replaced;
  return replaced;
}

void CloseReplaced(size_t keep) {
  auto& replaced = ReplacedFiles();
  off_t bytes = 0;
  for (const Replaced& r : replaced) bytes += r.size;
  size_t closed = 0;
  while (replaced.size() - closed > keep ||
         (closed < replaced.size() && bytes > kMaxReplacedBytes)) {
    bytes -= replaced[closed].size;
    close(replaced[closed++].fd);
  }
  replaced.erase(replaced.begin(), replaced.begin() + static_cast<ptrdiff_t>(closed));
}

// fsync of whatever is at path now; a file that is gone needs none.
bool SyncPath(const std::string& path, int flags) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | flags);
  if (fd < 0 && errno == EACCES) fd = open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | flags);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR;
  const bool ok = fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
  close(fd);
  return ok;
}

}  // namespace

timespec CacheClock() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return now;
}

FileContents* CachedContents(const fs::path& host, const struct stat& st, timespec now, int fd) {
  auto it = Find(host);
  if (it == Entries().end()) return nullptr;
  if (it->trusted && it->stamp == StampOf(st) &&
      (Settled(*it) || SameBytes(fd, it->contents.bytes))) {
    it->readAt = std::max(it->readAt, Ns(now));
    return Use(it);
  }
  Entries().erase(it);
  return nullptr;
}

FileContents* CacheContents(const fs::path& host, const struct stat& st, timespec now,
                            std::string bytes) {
  ForgetCachedFile(host);
  auto& entries = Entries();
  entries.push_front(Entry{host.native(),
                           StampOf(st),
                           Ns(now),
                           ChangesAllSeenHere(host.c_str()),
                           {std::move(bytes), nullptr}});
  size_t total = 0;
  for (const Entry& e : entries) total += e.contents.bytes.size();
  while (entries.size() > 1 && (entries.size() > kMaxFiles || total > kMaxBytes)) {
    total -= entries.back().contents.bytes.size();
    entries.pop_back();
  }
  return &entries.front().contents;
}

void RestampCachedFile(const fs::path& host, const struct stat& st, timespec now) {
  auto it = Find(host);
  if (it == Entries().end()) return;
  it->stamp = StampOf(st);
  it->readAt = Ns(now);
}

void ForgetCachedFile(const fs::path& host) {
  auto it = Find(host);
  if (it != Entries().end()) Entries().erase(it);
}

bool ReadContents(int fd, off_t size, std::string& bytes) {
  ++contentReads;
  bytes.clear();
  bytes.reserve(static_cast<size_t>(std::max<off_t>(size, 0)) + kSlack);
  // Straight into the string; a file that grows meanwhile is read to its end.
  for (size_t at = 0;;) {
    if (bytes.size() < at + kChunk) bytes.resize(std::max(at + kChunk, static_cast<size_t>(size)));
    ssize_t n = pread(fd, bytes.data() + at, bytes.size() - at, static_cast<off_t>(at));
    if (n < 0) {
      if (errno == EINTR) continue;
      bytes.clear();
      return false;
    }
    if (n == 0) {
      bytes.resize(at);
      return true;
    }
    at += static_cast<size_t>(n);
  }
}

FileContents* ReadCachedHostFile(const fs::path& host) {
  const timespec now = CacheClock();
  struct stat st;
  if (stat(host.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || UnreadableMode(st.st_mode)) {
    ForgetCachedFile(host);
    return nullptr;
  }
  auto it = Find(host);
  if (it != Entries().end() && it->trusted && it->stamp == StampOf(st) && Settled(*it))
    return Use(it);

  const int fd = open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    ForgetCachedFile(host);
    return nullptr;
  }
  FileContents* contents = nullptr;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && !UnreadableMode(st.st_mode)) {
    contents = CachedContents(host, st, now, fd);
    std::string bytes;
    if (contents == nullptr && ReadContents(fd, st.st_size, bytes))
      contents = CacheContents(host, st, now, std::move(bytes));
  }
  close(fd);
  if (contents == nullptr) ForgetCachedFile(host);
  return contents;
}

void CloseReplacedLater(int fd, off_t size) {
  // Whoever waits for the lock of the replaced file goes on to the new one now.
  flock(fd, LOCK_UN);
  ReplacedFiles().push_back({fd, size});
  CloseReplaced(kMaxReplaced);
}

bool CloseReplacedNow() {
  if (ReplacedFiles().empty()) return false;
  CloseReplaced(0);
  return true;
}

void NoteWrittenFile(const fs::path& file, bool withFolder) {
  for (Written& w : Pending()) {
    if (w.file == file.native()) {
      w.withFolder = w.withFolder || withFolder;
      return;
    }
  }
  Pending().push_back({file.native(), withFolder});
}

bool SyncWrittenFiles() {
  std::vector<Written> pending;
  pending.swap(Pending());
  bool ok = true;
  std::vector<std::string> folders;
  for (const Written& w : pending) {
    ok = SyncPath(w.file, 0) && ok;
    if (!w.withFolder) continue;
    const fs::path parent = fs::path(w.file).parent_path();
    const std::string folder = parent.empty() ? std::string(".") : parent.native();
    if (std::find(folders.begin(), folders.end(), folder) == folders.end())
      folders.push_back(folder);
  }
  for (const std::string& folder : folders) ok = SyncPath(folder, O_DIRECTORY) && ok;
  CloseReplaced(0);
  return ok;
}

std::vector<std::string> FilesAwaitingSync() {
  std::vector<std::string> files;
  for (const Written& w : Pending()) files.push_back(w.file);
  return files;
}

void SetTimestampTickForTesting(long long nanoseconds) {
  timestampTick = nanoseconds;
}

uint64_t ContentReadsForTesting() {
  return contentReads;
}

}  // namespace platform
