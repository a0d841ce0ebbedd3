#include "files/sweep.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <memory>
#include <optional>

#include "files/temporary.h"

namespace platform {
namespace fs = std::filesystem;

namespace {

// The process that owns a temporary file of our form, from its name.
std::optional<pid_t> TempOwner(std::string_view name) {
  if (name.size() < 2 || name[0] != '.') return std::nullopt;
  const size_t mark = name.rfind(kTempMark);
  if (mark == std::string_view::npos || mark == 0) return std::nullopt;
  std::string_view rest = name.substr(mark + kTempMark.size());
  const size_t dash = rest.find('-');
  if (dash == std::string_view::npos) return std::nullopt;
  auto number = [](std::string_view digits, long long& value) {
    if (digits.empty() || digits.size() > 10) return false;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return ec == std::errc() && end == digits.data() + digits.size() &&
           std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  long long pid = 0, counter = 0;
  if (!number(rest.substr(0, dash), pid) || !number(rest.substr(dash + 1), counter))
    return std::nullopt;
  if (pid <= 0 || pid > 0x7fffffff) return std::nullopt;
  return static_cast<pid_t>(pid);
}

}  // namespace

void RemoveStaleTemporariesAt(const fs::path& host) {
  try {
    std::unique_ptr<DIR, int (*)(DIR*)> d(opendir(host.c_str()), closedir);
    if (!d) return;
    while (dirent* e = readdir(d.get())) {
      std::optional<pid_t> owner = TempOwner(e->d_name);
      if (!owner || *owner == getpid()) continue;
      struct stat st;
      if (fstatat(dirfd(d.get()), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
        continue;
      // Only a process that is certainly gone; one we may not signal still runs.
      if (kill(*owner, 0) == 0 || errno != ESRCH) continue;
      unlinkat(dirfd(d.get()), e->d_name, 0);
    }
  } catch (const std::exception&) {
    // Clearing up is never worth a failure.
  }
}

}  // namespace platform
