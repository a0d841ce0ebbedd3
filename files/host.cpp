#include "files/host.h"

#include <cerrno>

namespace platform {
namespace fs = std::filesystem;

std::optional<struct stat> StatOf(const fs::path& p) {
  struct stat st;
  if (stat(p.c_str(), &st) != 0) return std::nullopt;
  return st;
}

std::optional<struct stat> LstatOf(const fs::path& p) {
  struct stat st;
  if (lstat(p.c_str(), &st) != 0) return std::nullopt;
  return st;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

bool HostPathBelow(const fs::path& p, const fs::path& root) {
  auto pi = p.begin();
  for (auto ri = root.begin(); ri != root.end(); ++ri, ++pi) {
    if (ri->empty()) continue;  // a trailing empty element, should one remain
    if (pi == p.end() || *pi != *ri) return false;
  }
  return true;
}

}  // namespace platform
