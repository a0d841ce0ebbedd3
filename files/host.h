// Host-side pieces the file engine and the file services share: Windows' notion
// of access, a path's status, a descriptor closed on every way out, whole
// writes. Paths here are host paths.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string_view>

namespace platform {

// Windows' notion of access, which must hold even for root (where the kernel
// ignores permission bits): no write bit means read-only, no read bit means
// unreadable. Every access check of the file services goes through these two.
inline bool ReadOnlyMode(mode_t mode) {
  return (mode & 0222) == 0;
}
inline bool UnreadableMode(mode_t mode) {
  return (mode & 0444) == 0;
}

// A path's status, following links (StatOf) or not (LstatOf); nothing when it
// cannot be had.
std::optional<struct stat> StatOf(const std::filesystem::path& p);
std::optional<struct stat> LstatOf(const std::filesystem::path& p);

// Closes a descriptor on every way out.
struct UniqueFd {
  int fd = -1;
  explicit UniqueFd(int f) : fd(f) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() {
    if (fd >= 0) ::close(fd);
  }
  // Closes now and reports the result (errors of delayed writes show up here).
  int Close() {
    int r = ::close(fd);
    fd = -1;
    return r;
  }
};

// All of bytes, resuming after interruptions; false (errno set) on an error.
bool WriteAll(int fd, std::string_view bytes);

// True when the host path p lies at or below root, component by component
// (both absolute and normal).
bool HostPathBelow(const std::filesystem::path& p, const std::filesystem::path& root);

}  // namespace platform
