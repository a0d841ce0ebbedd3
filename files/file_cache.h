// Whole files kept between calls of the INI services, and the files written
// since the last sync.
//
// A kept file is used only while the file on disk is provably the same: dev,
// inode, size, modification and change time must match what was kept, and the
// file's times must lie clearly before the moment its bytes were read. Times
// closer than that (the timestamp tick of the file system may hide a second
// change) make the cache compare the bytes with the file before trusting them
// (files/file_trust.h has the rule). On network file systems the times vouch
// for nothing and the file is read every time.
// Only a few files are kept, the least recently used going first.
//
// Writes are not synced one by one: each written file is remembered, and
// SyncWrittenFiles makes them durable at once (the front ends call it when a
// handler returns, and EndProcess before the process ends).
//
// For one thread: a returned pointer is valid until the next call of the file
// services.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// What a reader derives from a file's bytes (the INI services' line index),
// kept with them.
struct ContentIndex {
  virtual ~ContentIndex() = default;
};

struct FileContents {
  std::string bytes;
  std::unique_ptr<ContentIndex> index;  // none until a reader builds one
};

// The current contents of the file at host, nullptr when it is missing, a
// folder or unreadable.
FileContents* ReadCachedHostFile(const std::filesystem::path& host);

// The pieces the locked read-modify-write (files/rewrite.h, which states what it
// keeps of them) is built of. host is a host path; st was taken after now
// (CacheClock).
timespec CacheClock();
// The kept contents when they are those of the file open at fd; nullptr (and
// the entry dropped) otherwise.
FileContents* CachedContents(const std::filesystem::path& host, const struct stat& st, timespec now,
                             int fd);
// Keeps bytes as the contents of the file at host, read at now with st.
FileContents* CacheContents(const std::filesystem::path& host, const struct stat& st, timespec now,
                            std::string bytes);
// The kept contents were just written to the file, which now has st.
void RestampCachedFile(const std::filesystem::path& host, const struct stat& st, timespec now);
void ForgetCachedFile(const std::filesystem::path& host);
// All of the file open at fd; size is what fstat said.
bool ReadContents(int fd, off_t size, std::string& bytes);

// Unlocks the file open at fd, which a new file has just replaced, and closes it
// at the next sync: its last close waits for the writing out of its old bytes,
// which the rename has started and which no longer matters.
void CloseReplacedLater(int fd, off_t size);
// Closes the replaced files now, for an open that found the process's
// descriptors used up (EMFILE); false when none was waiting.
bool CloseReplacedNow();
// Remembers a written file for the next sync; withFolder when its name is new
// (a rename or a creation) so that the folder is synced too.
void NoteWrittenFile(const std::filesystem::path& file, bool withFolder);
// Syncs every file (then folder) noted since the last call and forgets them,
// and closes the replaced files. False when a sync failed.
bool SyncWrittenFiles();
// The host paths of the files awaiting their sync.
std::vector<std::string> FilesAwaitingSync();

// For tests: file times as a file system with that timestamp tick (in
// nanoseconds; 0 for the real ones) shows them, and the number of reads of file
// contents (whole reads and comparisons) so far.
void SetTimestampTickForTesting(long long nanoseconds);
uint64_t ContentReadsForTesting();

}  // namespace platform
