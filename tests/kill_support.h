// Helpers of the tests that end a writer half-way: big files to copy and compare,
// whether a process is writing in a folder now, and which temporary files a
// tree holds afterwards.
#pragma once

#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

// True when the process has a file of the folder open, whether that file has a
// name yet or not (a nameless one shows as "<folder>/#<inode> (deleted)").
inline bool HasFileOpenIn(pid_t pid, const std::filesystem::path& folder) {
  std::error_code ec;
  const std::string prefix = std::filesystem::canonical(folder, ec).string() + "/";
  const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
  DIR* d = opendir(fds.c_str());
  if (d == nullptr) return false;
  bool found = false;
  while (dirent* e = readdir(d)) {
    char target[4096];
    const ssize_t n = readlinkat(dirfd(d), e->d_name, target, sizeof target);
    if (n > 0 && std::string_view(target, static_cast<size_t>(n)).starts_with(prefix)) {
      found = true;
      break;
    }
  }
  closedir(d);
  return found;
}

// Paths (relative to root) of everything below root that has the name of a
// writer's temporary file: the ".<name>.kvxtmp-<pid>-<n>" form and the older
// ".<name>.<hex>.tmp" form.
inline bool IsOlderTemporaryName(const std::string& name) {
  if (name.size() < 7 || name[0] != '.' || !name.ends_with(".tmp")) return false;
  const std::string stem = name.substr(0, name.size() - 4);
  const size_t dot = stem.rfind('.');
  if (dot == 0 || dot == std::string::npos || dot + 1 == stem.size()) return false;
  return stem.find_first_not_of("0123456789abcdef", dot + 1) == std::string::npos;
}
inline std::vector<std::string> TemporariesBelow(const std::filesystem::path& root) {
  std::vector<std::string> found;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
       !ec && it != std::filesystem::end(it); it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.find(".kvxtmp-") != std::string::npos || IsOlderTemporaryName(name))
      found.push_back(std::filesystem::relative(it->path(), root).string());
  }
  return found;
}

// True when both files hold the same bytes (read in chunks, for big files).
inline bool SameBytes(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
  if (!x || !y) return false;
  std::vector<char> bx(1 << 20), by(1 << 20);
  for (;;) {
    x.read(bx.data(), static_cast<std::streamsize>(bx.size()));
    y.read(by.data(), static_cast<std::streamsize>(by.size()));
    if (x.gcount() != y.gcount() || !std::equal(bx.begin(), bx.begin() + x.gcount(), by.begin()))
      return false;
    // A short read is the end of both.
    if (x.gcount() < static_cast<std::streamsize>(bx.size())) return !x.bad() && !y.bad();
  }
}

// A file of size bytes that are no short repeating pattern, every block
// written (no holes).
inline void WriteBigFile(const std::filesystem::path& file, size_t size, uint64_t seed) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary);
  std::vector<uint64_t> block((1 << 20) / sizeof(uint64_t));
  uint64_t state = seed | 1;
  for (size_t written = 0; written < size;) {
    for (uint64_t& w : block) {
      state ^= state << 13, state ^= state >> 7, state ^= state << 17;
      w = state;
    }
    const size_t n = std::min(size - written, block.size() * sizeof(uint64_t));
    out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(n));
    written += n;
  }
}

// A process id that certainly runs no process now: that of a child that has
// ended and been waited for.
inline pid_t EndedProcessId() {
  const pid_t pid = fork();
  if (pid == 0) _exit(0);
  int status = 0;
  waitpid(pid, &status, 0);
  return pid;
}

}  // namespace testsupport
