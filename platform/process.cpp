#include "platform/process.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>

#include "files/file_cache.h"
#include "files/links.h"
#include "platform/filesys.h"
#include "platform/winpath.h"

extern char** environ;

namespace platform {
namespace {

struct ProcessInfo {
  std::string commandLine;
  std::string executableFolder;
  std::string programFileName;
};

ProcessInfo& Info() {
  static ProcessInfo info;
  return info;
}

std::string StripExtension(const std::string& name) {
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return name;
  return name.substr(0, dot);
}

}  // namespace

std::string InitProcess(int argc, char** argv) {
  // A mistyped mapping would put the step on other folders (C: on the host's
  // root): named before anything is read or written.
  if (std::string problem = DrivesProblem(); !problem.empty()) return problem;
  ProcessInfo& info = Info();
  info.commandLine.clear();
  for (int i = 1; i < argc; ++i) {
    if (i > 1) info.commandLine += ' ';
    info.commandLine += argv[i];
  }
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec && argc > 0) exe = std::filesystem::absolute(argv[0], ec);
  if (exe.empty()) return "cannot determine the executable's own path";
  info.programFileName = StripExtension(exe.filename().string());
  std::optional<std::string> folder = ToWindows(exe.parent_path());
  if (!folder) {
    return "the executable's folder " + exe.parent_path().string() +
           " lies under no drive; map one with KORVEX_DRIVES (e.g. C=/srv/plant-c)";
  }
  info.executableFolder = *folder;
  // The installation is the executable folder's parent: links into it are the
  // installation's own, wherever they lie.
  SetInstallationFolder(exe.parent_path().parent_path());
  return {};
}

std::string CommandLineText() {
  return Info().commandLine;
}
std::string ExecutableFolder() {
  return Info().executableFolder;
}
std::string ProgramFileName() {
  return Info().programFileName;
}

Version ProgramVersion() {
  return {KORVEX_VERSION_MAJOR, KORVEX_VERSION_MINOR, KORVEX_VERSION_PATCH};
}

std::string FirstEnvironmentEntry() {
  if (environ == nullptr || environ[0] == nullptr) return {};
  return environ[0];
}

bool LockFolderForLife(std::string_view winFolder) {
  std::optional<std::filesystem::path> host = ToHost(winFolder);
  if (!host) return true;
  // A folder that may be searched but not listed (mode 0311) cannot be opened
  // for the flock: a name in the kernel's abstract socket space, made of the
  // folder's device and inode, needs no right on it, and like the flock it is
  // gone with the process. Deliberately never closed.
  struct stat st;
  if (stat(host->c_str(), &st) == 0) {
    const std::string name =
        "korvex-start-" + std::to_string(st.st_dev) + "-" + std::to_string(st.st_ino);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    name.copy(address.sun_path + 1, sizeof address.sun_path - 1);
    const int claim = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (claim >= 0 &&
        bind(claim, reinterpret_cast<const sockaddr*>(&address),
             static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size())) != 0) {
      const bool held = errno == EADDRINUSE;
      close(claim);
      if (held) return false;
    }
  }
  // Deliberately never closed: the lock lives as long as the process.
  const int fd = open(host->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return true;
  int r;
  do {
    r = flock(fd, LOCK_EX | LOCK_NB);
  } while (r != 0 && errno == EINTR);
  if (r == 0) return true;
  const bool held = errno == EWOULDBLOCK;
  close(fd);
  return !held;
}

static std::function<void(int)>& EndNote() {
  static std::function<void(int)> note;
  return note;
}

void SetProcessEndNote(std::function<void(int)> note) {
  EndNote() = std::move(note);
}

void EndProcess(int status) {
  // What the step wrote is on disk before its end is reported.
  SyncWrittenFiles();
  if (EndNote()) {
    auto note = std::move(EndNote());
    note(status);
  }
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  _exit(status);
}

void SetProcessForTesting(std::string commandLine, std::string executableFolder,
                          std::string programFileName) {
  Info() = {std::move(commandLine), std::move(executableFolder), std::move(programFileName)};
}

}  // namespace platform
