#include "files/in_place.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>

#include "files/file_cache.h"
#include "files/host.h"

namespace platform {
namespace fs = std::filesystem;

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

}  // namespace platform
