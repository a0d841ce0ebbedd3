#include "files/links.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <system_error>

#include "files/host.h"

namespace platform {
namespace fs = std::filesystem;

namespace {

fs::path installationFolder;
// The last folder found free of foreign links: the pictures of a commit all go
// to a few folders, which need no look at every name on their way each time.
std::string lastCleanFolder;

}  // namespace

void SetInstallationFolder(const fs::path& host) {
  std::error_code ec;
  installationFolder = fs::weakly_canonical(host, ec);
  if (ec) installationFolder.clear();
  lastCleanFolder.clear();
}

std::optional<fs::path> ForeignLink(const fs::path& host) {
  const uid_t me = geteuid();
  const fs::path folder = host.parent_path();
  const bool folderClean = !lastCleanFolder.empty() && folder.native() == lastCleanFolder;
  fs::path prefix;
  for (auto part = host.begin(); part != host.end(); ++part) {
    prefix /= *part;
    if (folderClean && std::next(part) != host.end()) continue;
    struct stat st;
    if (lstat(prefix.c_str(), &st) != 0) return std::nullopt;  // nothing there, no link further on
    if (!S_ISLNK(st.st_mode) || st.st_uid == me || st.st_uid == 0) continue;
    std::error_code ec;
    const fs::path leads = fs::weakly_canonical(prefix, ec);
    if (!ec && !installationFolder.empty() && HostPathBelow(leads, installationFolder)) continue;
    return leads;
  }
  lastCleanFolder = folder.native();
  return std::nullopt;
}

fs::path ReplacementTarget(const fs::path& host) {
  struct stat st;
  if (lstat(host.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    std::error_code ec;
    fs::path target = fs::canonical(host, ec);
    if (!ec) return target;
  }
  return host;
}

bool StaysWithin(const fs::path& host, int fd, const fs::path& root) {
  if (!HostPathBelow(host, root)) return true;
  std::error_code ec;
  const fs::path realRoot = fs::canonical(root, ec);
  if (ec) return false;
  char self[40];
  snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
  fs::path real = fs::read_symlink(self, ec);
  if (ec) real = fs::canonical(host, ec);  // no /proc: by the path
  return !ec && HostPathBelow(real, realRoot);
}

}  // namespace platform
