// Whole-file rewrites under the file's lock: a read-modify-write serialised with
// every other one on the same file, whose new contents replace the old by a
// rename (files/temporary.h), or in place where the folder takes no new file
// (files/in_place.h). Paths are host paths.
//
// What a rewrite keeps of the INI cache (files/file_cache.h), in one place:
// - the cached bytes are used only when they are those of the very file that
//   is locked (CachedContents checks its stat, taken after the lock); otherwise
//   the file is read under the lock and cached with the stat and clock of then;
// - the edit changes the cached bytes (and their index) in place; when it
//   throws, the entry is forgotten, as it may be half changed;
// - after a write that is done, the cache holds what was written, stamped with
//   the new file's stat (the edited entry restamped, or the bytes of a file
//   that was not read put in); after any other outcome, and for a file found
//   missing, the entry is forgotten;
// - a file replaced by a new inode is not closed here: its descriptor, which
//   holds the lock, is handed to CloseReplacedLater, which unlocks it at once
//   (so that a waiting writer goes on to the new file) and closes it at the
//   next sync;
// - every written file, and the folder of a new name, is noted for the next
//   SyncWrittenFiles; nothing is synced here.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>

#include "files/file_cache.h"

namespace platform {

// One locked read-modify-write cycle after another, until one finds the file it
// locked still in place (another writer may have renamed a new file over it
// meanwhile). With read, edit gets the current bytes (empty for a missing file);
// without, it gets none and only sets the new ones. edit returns true when it
// changed them. The new file keeps the old one's permission bits (and owner,
// when privileged); a missing file is created only where no other writer
// created one meanwhile, otherwise the cycle starts again on that file.
//
// True when the file holds the edited bytes (or edit changed nothing); false
// when host is nothing (a path that names no host file), a link of another user
// leads the write out of the installation (files/links.h ForeignLink), the
// folder is missing, the path names a folder, a device, a pipe or a socket, or
// an unreadable file, the file or (for a new file) the folder is read-only, or
// the write fails, which leaves the old file unchanged.
bool Rewrite(const std::optional<std::filesystem::path>& host, bool read,
             const std::function<bool(FileContents&)>& edit);

// True when the last rewrite failed because another program held the file's
// lock for ten seconds (the wait is given up then, so that a stuck lock holder
// is reported instead of waited for without end).
bool LastWriteFoundFileLocked();

// Puts pause in place of the sleep between two tries of a lock, so that a test
// keeps the wait's clock itself; nullptr puts the sleep back.
void SetLockPauseForTesting(void (*pause)(int milliseconds));

// Where the link leads that the last rewrite refused to follow; nothing when
// it refused none.
std::optional<std::filesystem::path> LastRefusedLink();

}  // namespace platform
