// The step's writing engine: file copies and whole-file replacements that leave
// a destination either as it was or wholly new, even when the process is killed,
// and the sweep of what killed writers left. Paths are Windows paths
// (platform/winpath.h); failures are raised as platform::Failure as in
// platform/filesys.h.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "files/file_cache.h"

namespace platform {

// The file-system object's CopyFile with a full destination file name. Raises 53
// when the source is missing, 76 when the destination folder is missing, 58 when
// the destination exists and overwrite is false, 70 when the destination is
// read-only or a folder, or missing in a folder that takes no new files, 61 on a
// full disk. The copy is written to a temporary file beside the destination and
// renamed over it, so that the destination is always the old file or the whole
// new one, even when the process is killed; copying a file onto itself leaves it
// as it is. A writable destination in a folder where the system refuses the
// temporary file is overwritten in place instead (not proof against a crash),
// as Windows does it. A pending termination request (platform/termination.h) is
// raised between the chunks of a copy, after the temporary file is removed.
//
// A source named as lying in the folder confinedTo (a Save & Restore copy, the
// source folder) is refused with 70 when it is a symbolic link, or lies below
// one, whose target is outside that folder: a copy must not bring in a file
// from elsewhere on the machine through a link planted in it.
void CopyFile(std::string_view source, std::string_view destination, bool overwrite,
              std::string_view confinedTo = {});

// How far a copy has come, for a front end that shows it: the destination, the
// bytes copied so far and the source's size; told before the first chunk and
// after each one. Nothing is told while no observer is set.
using CopyProgress =
    std::function<void(std::string_view destination, uint64_t copied, uint64_t size)>;
void SetCopyProgress(CopyProgress progress);

// A read-modify-write of a whole file, serialised with every other one on the
// same file by an exclusive advisory lock on the file, held from before the read
// until the new contents are in place. edit gets the current bytes (empty for a
// missing file) and returns true when it changed them. The new contents go to a
// temporary file in the same folder that replaces the old file by a rename,
// keeping its permission bits (and owner, when privileged); a missing file is
// created only where no other writer created one meanwhile, otherwise the cycle
// starts again on that file. A writable file in a folder where the system
// refuses the temporary file is rewritten in place. True when the file holds the edited bytes (or
// edit changed nothing); false when the folder is missing, the path names a folder, a device, a
// pipe or a socket, or an unreadable file, the file or (for a new file) the folder is read-only, or
// the write fails, which leaves the old file unchanged. The new file is synced
// by the next SyncWrittenFiles (platform/file_cache.h), not here.
bool EditWholeFile(std::string_view winFile, const std::function<bool(std::string& bytes)>& edit);
// The same on the cached contents (platform/file_cache.h), without reading the
// file when they are current: edit changes bytes in place and keeps the index in
// step with them or drops it.
bool EditCachedFile(std::string_view winFile, const std::function<bool(FileContents&)>& edit);

// Replaces a file's contents in the same way, without reading it first.
bool ReplaceWholeFile(std::string_view winFile, std::string_view bytes);

// True when the last of the three above failed because another program held
// the file's lock for ten seconds (the wait is given up then, so that a stuck
// lock holder is reported instead of waited for without end).
bool LastWriteFoundFileLocked();

// Puts pause in place of the sleep between two tries of a lock, so that a test
// keeps the wait's clock itself; nullptr puts the sleep back.
void SetLockPauseForTesting(void (*pause)(int milliseconds));

// Where the link leads that the last of them refused to follow (a link another
// user made that leads out of the installation, platform/filesys.h); nothing
// when it refused none.
std::optional<std::string> LastWriteRefusedLink();

// Removes what killed writers left in a folder: the temporary files of this
// program (".<name>.kvxtmp-<process id>-<number>") whose process no longer runs.
// Touches nothing else; never raises.
void RemoveStaleTemporaries(std::string_view winFolder);

// Makes every temporary file a named one from its creation on, as on file
// systems that cannot keep a file without a name (for tests of that way).
void SetNamedTemporariesForTesting(bool named);

}  // namespace platform
