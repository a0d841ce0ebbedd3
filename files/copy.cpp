#include "files/copy.h"

#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>

#include "base/failure.h"
#include "base/termination.h"
#include "files/host.h"
#include "files/in_place.h"
#include "files/links.h"
#include "files/temporary.h"

namespace platform {
namespace fs = std::filesystem;

namespace {

[[noreturn]] void RaiseErrno(int code) {
  Raise(FailureNumberForErrno(code));
}

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

}  // namespace

void SetCopyProgress(CopyProgress progress) {
  copyProgress = std::move(progress);
}

void CopyHostFile(const fs::path& source, const fs::path& destination, bool overwrite,
                  const std::optional<fs::path>& confinedRoot, std::string_view confinedTo,
                  std::string_view shownAs) {
  UniqueFd in(OpenFreeingDescriptors(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (in.fd < 0) {
    int e = errno;
    if (e == ENOENT || e == ENOTDIR || e == ELOOP || e == ENXIO) Raise(kFileNotFound);
    RaiseErrno(e);
  }
  struct stat srcSt;
  if (fstat(in.fd, &srcSt) != 0) RaiseErrno(errno);
  if (!S_ISREG(srcSt.st_mode)) Raise(kFileNotFound);
  if (UnreadableMode(srcSt.st_mode)) Raise(kPermissionDenied);
  if (confinedRoot && !StaysWithin(source, in.fd, *confinedRoot))
    Raise(kPermissionDenied, "Link to a file outside " + std::string(confinedTo));

  // One look at the destination, which is its stat as well unless it is a link.
  fs::path target = destination;
  std::optional<struct stat> dstSt = LstatOf(target);
  if (dstSt && S_ISLNK(dstSt->st_mode)) {
    target = ReplacementTarget(destination);
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
    if (existing && FolderRefusesNewNames(e)) return CopyInPlace(in.fd, target, srcSt, shownAs);
    RaiseErrno(e);
  }
  // A file copied over keeps its owner, group and mode, as under cp; where the
  // owner cannot be kept, the copy is written in place as cp writes it.
  if (existing && !TakeOverOwner(temp.fd(), *dstSt))
    return CopyInPlace(in.fd, target, srcSt, shownAs);
  off_t copied = 0;
  if (int e = CopyContents(in.fd, temp.fd(), srcSt.st_size, true, true, copied, shownAs))
    RaiseErrno(e);
  if (fchmod(temp.fd(), (existing ? dstSt->st_mode : srcSt.st_mode) & 07777) != 0)
    RaiseErrno(errno);
  timespec times[2] = {srcSt.st_atim, srcSt.st_mtim};
  if (futimens(temp.fd(), times) != 0) RaiseErrno(errno);
  // No fsync: the rename alone guarantees that an interrupted copy leaves the
  // old file or the whole new one, and a database copy must keep pace with cp.
  if (int e = temp.Commit(target, true)) RaiseErrno(e);
}

}  // namespace platform
