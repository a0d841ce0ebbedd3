#include "files/name_index.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "base/text.h"
#include "files/file_trust.h"
#include "files/host.h"

namespace platform {
namespace fs = std::filesystem;

namespace {

struct HashFolded {
  size_t operator()(const std::string& s) const { return HashIgnoringCase(s); }
};
struct EqualFolded {
  bool operator()(const std::string& a, const std::string& b) const {
    return EqualIgnoringCase(a, b);
  }
};
// A folder's names; names equal ignoring case share a bucket.
using Names = std::unordered_multiset<std::string, HashFolded, EqualFolded>;

// What the kept indexes may take together: a few folders, and names for about
// 10 MiB (a single larger folder is still kept, alone).
constexpr size_t kMaxFolders = 8;
constexpr size_t kMaxNames = size_t{1} << 17;

constexpr uint32_t kWatchedEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ONLYDIR;

struct Index {
  dev_t dev = 0;
  ino_t ino = 0;
  int watch = -1;  // inotify watch descriptor
  uint64_t used = 0;
  Names names;
};

// The smallest name in byte order among those equal to name ignoring case.
std::optional<std::string> Smallest(const Names& names, std::string_view name) {
  auto [from, to] = names.equal_range(std::string(name));
  const std::string* best = nullptr;
  for (auto it = from; it != to; ++it)
    if (best == nullptr || *it < *best) best = &*it;
  if (best == nullptr) return std::nullopt;
  return *best;
}

void AddName(Names& names, std::string name) {
  auto [from, to] = names.equal_range(name);
  for (auto it = from; it != to; ++it)
    if (*it == name) return;
  names.insert(std::move(name));
}

void RemoveName(Names& names, const std::string& name) {
  auto [from, to] = names.equal_range(name);
  for (auto it = from; it != to; ++it) {
    if (*it == name) {
      names.erase(it);
      return;
    }
  }
}

// Reads every name of an open folder; false on a read error.
bool ReadNames(DIR* d, Names& names) {
  for (;;) {
    errno = 0;
    dirent* e = readdir(d);
    if (e == nullptr) return errno == 0;
    std::string_view n = e->d_name;
    if (n == "." || n == "..") continue;
    names.emplace(n);
  }
}

std::atomic<uint64_t> folderReads{0};

// The lookup in an open folder without an index.
std::optional<std::string> SmallestIn(DIR* d, std::string_view name) {
  std::optional<std::string> best;
  while (dirent* e = readdir(d)) {
    std::string_view n = e->d_name;
    if (n == "." || n == "..") continue;
    if (EqualIgnoringCase(n, name) && (!best || n < *best)) best = std::string(n);
  }
  return best;
}

std::optional<std::string> Scan(const fs::path& dir, std::string_view name) {
  std::unique_ptr<DIR, int (*)(DIR*)> d(opendir(dir.c_str()), closedir);
  if (!d) return std::nullopt;
  ++folderReads;
  return SmallestIn(d.get(), name);
}

class Indexes {
 public:
  std::optional<std::string> Find(const fs::path& dir, std::string_view name,
                                  const struct stat* dirStat) {
    std::lock_guard<std::mutex> lock(mutex_);
    Adopt();
    // Twice at most: a lost notification drops every index, the new one included.
    for (int attempt = 0; attempt < 2; ++attempt) {
      // The folder first, then its notifications: a folder removed before the stat
      // has had its index dropped by then, even if its inode number is used again.
      struct stat st;
      if (dirStat != nullptr && attempt == 0)
        st = *dirStat;
      else if (stat(dir.c_str(), &st) != 0)
        return std::nullopt;
      if (!S_ISDIR(st.st_mode) || UnreadableMode(st.st_mode)) return std::nullopt;
      Drain();
      Index* index = Current(st);
      if (index == nullptr) {
        Reading read = Read(dir, name);
        if (!read.index) return read.answer;
        index = Keep(std::move(read.index));
        // Changes made while the folder was read.
        Drain();
        if (!Kept(index)) continue;
      }
      index->used = ++clock_;
      return Smallest(index->names, name);
    }
    return Scan(dir, name);
  }

  void SetMode(NameIndexMode mode) {
    std::lock_guard<std::mutex> lock(mutex_);
    Adopt();
    DropAll();
    mode_ = mode;
  }

 private:
  // A forked child shares the parent's notification queue; reading it would take
  // the parent's events away. The child starts afresh.
  void Adopt() {
    const pid_t pid = getpid();
    if (pid == pid_) return;
    if (notify_ >= 0) ::close(notify_);
    notify_ = -1;
    notifyFailed_ = false;
    indexes_.clear();
    pid_ = pid;
  }

  bool Notification() {
    if (notify_ < 0 && !notifyFailed_) {
      notify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
      notifyFailed_ = notify_ < 0;
    }
    return notify_ >= 0;
  }

  void Drop(size_t at) {
    if (indexes_[at]->watch >= 0) inotify_rm_watch(notify_, indexes_[at]->watch);
    indexes_.erase(indexes_.begin() + static_cast<std::ptrdiff_t>(at));
  }

  void DropAll() {
    while (!indexes_.empty()) Drop(indexes_.size() - 1);
  }

  bool Kept(const Index* index) const {
    for (const auto& i : indexes_)
      if (i.get() == index) return true;
    return false;
  }

  // Takes in every change reported since the last call.
  void Drain() {
    if (notify_ < 0) return;
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
      const ssize_t n = read(notify_, buffer, sizeof buffer);
      if (n < 0) {
        if (errno == EINTR) continue;
        if (errno == EAGAIN) return;
        // A queue that cannot be read tells nothing any more.
        DropAll();
        ::close(notify_);
        notify_ = -1;
        notifyFailed_ = true;
        return;
      }
      for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
        Apply(*e);
        at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
      }
      // A short read has emptied the queue.
      if (static_cast<size_t>(n) + sizeof(inotify_event) + NAME_MAX + 1 <= sizeof buffer) return;
    }
  }

  void Apply(const inotify_event& e) {
    if (e.mask & IN_Q_OVERFLOW) {
      DropAll();  // events were lost
      return;
    }
    size_t at = 0;
    while (at < indexes_.size() && indexes_[at]->watch != e.wd) ++at;
    if (at == indexes_.size()) return;  // a watch given up already
    if (e.mask & IN_IGNORED) {
      // The folder is gone (or its file system): the watch with it.
      indexes_.erase(indexes_.begin() + static_cast<std::ptrdiff_t>(at));
      return;
    }
    if (e.len == 0) return;
    std::string name(e.name, strnlen(e.name, e.len));
    if (e.mask & (IN_CREATE | IN_MOVED_TO))
      AddName(indexes_[at]->names, std::move(name));
    else if (e.mask & (IN_DELETE | IN_MOVED_FROM))
      RemoveName(indexes_[at]->names, name);
  }

  // The kept index of the folder st, when it still tells the folder's names.
  Index* Current(const struct stat& st) {
    for (size_t at = 0; at < indexes_.size(); ++at) {
      Index& i = *indexes_[at];
      if (i.dev == st.st_dev && i.ino == st.st_ino) return &i;
    }
    return nullptr;
  }

  // A watch on the folder open as fd (path dir, identity st), or -1.
  int Watch(int fd, const fs::path& dir, const struct stat& st) {
    if (mode_ != NameIndexMode::kNotified || !Notification()) return -1;
    char self[40];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    int watch = inotify_add_watch(notify_, self, kWatchedEvents);
    if (watch < 0 && errno == ENOENT) {
      // No /proc: by the path, which must still lead to the same folder.
      watch = inotify_add_watch(notify_, dir.c_str(), kWatchedEvents);
      struct stat now;
      if (watch >= 0 &&
          (stat(dir.c_str(), &now) != 0 || now.st_dev != st.st_dev || now.st_ino != st.st_ino)) {
        inotify_rm_watch(notify_, watch);
        watch = -1;
      }
    }
    if (watch < 0) return -1;
    // The kernel gives a folder watched already the same watch: the index that
    // had it is replaced by the new one.
    for (size_t at = 0; at < indexes_.size(); ++at) {
      if (indexes_[at]->watch == watch) {
        indexes_.erase(indexes_.begin() + static_cast<std::ptrdiff_t>(at));
        break;
      }
    }
    return watch;
  }

  // A reading of the folder: its index to keep, or where none can be kept, just
  // the answer for name. Neither when the folder cannot be read.
  struct Reading {
    std::unique_ptr<Index> index;
    std::optional<std::string> answer;
  };

  Reading Read(const fs::path& dir, std::string_view name) {
    Reading r;
    const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return r;
    struct stat before;
    const bool local = fstat(fd, &before) == 0 && ChangesAllSeenHere(fd);
    int watch = -1;
    if (local) {
      // An index of this folder under way can only be an old one.
      for (size_t at = indexes_.size(); at-- > 0;)
        if (indexes_[at]->dev == before.st_dev && indexes_[at]->ino == before.st_ino) Drop(at);
      // Watched before reading, so that no change between the two goes unseen.
      watch = Watch(fd, dir, before);
    }
    // Unwatched, no index is kept: a folder's times cannot tell a change in the
    // same timestamp tick, which on some file systems is a second or two long.
    const bool keep = watch >= 0;
    DIR* d = fdopendir(fd);
    if (d == nullptr) {
      ::close(fd);
      if (watch >= 0) inotify_rm_watch(notify_, watch);
      return r;
    }
    ++folderReads;
    if (!keep) {
      r.answer = SmallestIn(d, name);
      closedir(d);
      return r;
    }
    auto index = std::make_unique<Index>();
    const bool whole = ReadNames(d, index->names);
    closedir(d);
    if (!whole) {
      inotify_rm_watch(notify_, watch);
      r.answer = Smallest(index->names, name);
      return r;
    }
    index->dev = before.st_dev;
    index->ino = before.st_ino;
    index->watch = watch;
    r.index = std::move(index);
    return r;
  }

  Index* Keep(std::unique_ptr<Index> index) {
    auto total = [this] {
      size_t n = 0;
      for (const auto& i : indexes_) n += i->names.size();
      return n;
    };
    while (!indexes_.empty() &&
           (indexes_.size() >= kMaxFolders || total() + index->names.size() > kMaxNames)) {
      size_t oldest = 0;
      for (size_t at = 1; at < indexes_.size(); ++at)
        if (indexes_[at]->used < indexes_[oldest]->used) oldest = at;
      Drop(oldest);
    }
    indexes_.push_back(std::move(index));
    return indexes_.back().get();
  }

  std::mutex mutex_;
  pid_t pid_ = 0;
  int notify_ = -1;
  bool notifyFailed_ = false;
  NameIndexMode mode_ = NameIndexMode::kNotified;
  std::vector<std::unique_ptr<Index>> indexes_;
  uint64_t clock_ = 1;
};

Indexes& TheIndexes() {
  static Indexes* const indexes = new Indexes;  // never destroyed: lookups may run at exit
  return *indexes;
}

}  // namespace

std::optional<std::string> FindNameIgnoringCase(const fs::path& dir, std::string_view name,
                                                const struct stat* dirStat) {
  return TheIndexes().Find(dir, name, dirStat);
}

void SetNameIndexModeForTesting(NameIndexMode mode) {
  TheIndexes().SetMode(mode);
}

uint64_t FolderReadsForTesting() {
  return folderReads;
}

}  // namespace platform
