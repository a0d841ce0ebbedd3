// Temporary files and their commit: whatever is written to a temporary file
// reaches its target only through Commit, whole, and the file is gone on every
// other way out. With the few rules a replacement follows: which refusals of a
// new name still leave the file writable in place, the step's own right to
// write the file, and the owner the new file takes over.
//
// A new file is written under no name at all (O_TMPFILE) and named only once it
// is complete, so that a killed process leaves nothing behind. Where the file
// system cannot do that, the temporary file has a name of its own form from the
// start (".<name>.kvxtmp-<process id>-<number>"), which tells the process that
// owns it: the sweep (files/sweep.h) clears those of processes that no longer run.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <filesystem>
#include <string_view>

namespace platform {

// The mark between the target's name and the owner in a named temporary file.
inline constexpr std::string_view kTempMark = ".kvxtmp-";

// The errors by which the system refuses a new name in a folder although an
// existing file there may still be writable: no write permission on the folder
// (EACCES), or a folder that is immutable or takes no new names (EPERM). A
// read-only file system (EROFS) or a full disk refuses the file's own writes as
// well, so those are failures.
bool FolderRefusesNewNames(int error);

// True when the step's own user may write the existing file at target. A
// replacement by rename needs only the folder's right, but a file its user may
// not write is not to be written, as on Windows.
bool MayWrite(const std::filesystem::path& target);

// Gives the new file at fd the owner and group of the file it replaces, as the
// file keeps them when cp writes over it. False where the system refuses that
// (an ordinary user cannot give a file away): the file is then written in place.
bool TakeOverOwner(int fd, const struct stat& old);

// open(2), once more after the replaced files kept for their close are closed
// where the process has used up its descriptors (a tight ulimit -n).
int OpenFreeingDescriptors(const char* path, int flags, mode_t mode = 0);

// A temporary file for a target: whatever is written to fd() reaches the target
// only through Commit, and the file is gone on every other way out (a failure,
// an exception, a kill).
class TempFile {
 public:
  TempFile() = default;
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile();

  int fd() const { return fd_; }

  // Creates the file beside target with the permission bits mode (less the
  // umask). Returns 0 or an errno.
  int Create(const std::filesystem::path& target, mode_t mode);

  // Puts the finished file at target: over whatever is there (replace), or only
  // where nothing is (EEXIST otherwise). Returns 0 or an errno; the target is
  // unchanged unless it is 0.
  int Commit(const std::filesystem::path& target, bool replace);

 private:
  int LinkTo(const std::filesystem::path& name) const;

  int fd_ = -1;
  std::filesystem::path named_;  // the name the file has now, if any
};

// Makes every temporary file a named one from its creation on, as on file
// systems that cannot keep a file without a name (for tests of that way).
void SetNamedTemporariesForTesting(bool named);

}  // namespace platform
