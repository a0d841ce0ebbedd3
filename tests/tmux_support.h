// The tmux harness of the terminal window's end-to-end tests: the built step
// on a copy of the demo installation, run in a tmux server of its own (a
// private socket in the tree), its screen read with capture-pane and keys
// typed with send-keys, as a person at the terminal would.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

namespace tmuxsupport {

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::TempTree;

inline const char* const kArguments =
    "'/EXTERNAL=KVXCFG' '/LOGFILE=C:\\Korvex\\KVXcfglog.txt' '/SOURCEPATH=C:\\Setup\\'";

// The first entry of the step's environment, which its edit-info stamp is
// made from: the same for the person's run and the script's.
inline const char* const kFirstEnvironmentEntry = "USERNAME=installer";

// Runs a program and returns what it wrote to standard output.
inline std::string Output(const std::vector<std::string>& args) {
  int out[2];
  if (pipe(out) != 0) return "";
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    const int null = open("/dev/null", O_RDWR);
    dup2(null, STDIN_FILENO);
    dup2(null, STDERR_FILENO);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  close(out[0]);
  waitpid(pid, nullptr, 0);
  return text;
}

// The demo laid into a fresh drive C: with the built step in C:\Korvex\Start.
struct DemoTree {
  TempTree tree;
  DemoTree() {
    fs::copy(KORVEX_SOURCE_DIR "/demo/installation", tree.root(), fs::copy_options::recursive);
    fs::copy_file(START_CONFIG_EXE, tree.Host("Korvex/Start/Start_Config"),
                  fs::copy_options::overwrite_existing);
  }
};

// The step started in a tmux session of its own (a private server whose socket
// lies in the tree). A shell around it reports the exit status and whether the
// terminal is back in line mode when the step has ended.
class Terminal {
 public:
  Terminal(const TempTree& tree, int columns, int rows, const std::string& arguments = kArguments)
      : tree_(tree) {
    const std::string root = tree.root().string();
    socket_ = root + "/.tmux";
    std::ofstream(root + "/.run.sh")
        << "cd '" << root << "'\n"
        << "unset KORVEX_SCRIPT\n"
        << "export KORVEX_DRIVES='C=" << root << "'\n"
        << "sh -c \"echo \\$\\$ > .pid; exec env -i " << kFirstEnvironmentEntry
        << " KORVEX_DRIVES=\\$KORVEX_DRIVES TERM=\\$TERM ./Korvex/Start/Start_Config " << arguments
        << "\"\n"
        << "echo \"[exit $?]\"\n"
        << "stty -a | grep -o -- '-\\?icanon' | sed 's/^/[mode /; s/$/]/'\n"
        << "exec sleep 600\n";
    Tmux({"-f", "/dev/null", "new-session", "-d", "-x", std::to_string(columns), "-y",
          std::to_string(rows), "-s", "step", "sh " + root + "/.run.sh"});
  }
  ~Terminal() { Tmux({"kill-server"}); }

  std::string Tmux(std::vector<std::string> args) const {
    args.insert(args.begin(), {"tmux", "-S", socket_});
    return Output(args);
  }
  // Named keys as tmux knows them: "Tab", "BTab", "Enter", "Escape", "Down", ...
  void Keys(const std::vector<std::string>& keys) const {
    for (const std::string& k : keys) Tmux({"send-keys", "-t", "step", k});
  }
  // Bytes as the terminal would send them (mouse reports, say).
  void Bytes(const std::string& bytes) const { Tmux({"send-keys", "-t", "step", "-l", bytes}); }
  std::string Screen(bool colours = false) const {
    if (colours) return Tmux({"capture-pane", "-p", "-e", "-t", "step"});
    return Tmux({"capture-pane", "-p", "-t", "step"});
  }
  std::string Show(const std::string& format) const {
    std::string s = Tmux({"display-message", "-p", "-t", "step", format});
    while (!s.empty() && s.back() == '\n') s.pop_back();
    return s;
  }
  // Waits until the screen shows (or, with present false, no longer shows) the text.
  bool WaitFor(const std::string& text, bool present = true) const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < until) {
      if ((Screen().find(text) != std::string::npos) == present) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  pid_t StepPid() const { return static_cast<pid_t>(std::stol(tree_.Read(".pid"))); }

 private:
  const TempTree& tree_;
  std::string socket_;
};

// Every file of the tree by its path below the root (the runs' own hidden files left out).
inline std::map<std::string, std::string> Files(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    const std::string relative = fs::relative(e.path(), root).string();
    if (e.is_regular_file() && relative[0] != '.') files[relative] = ReadFile(e.path());
  }
  return files;
}

class TerminalWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Output({"sh", "-c", "command -v tmux"}).empty())
      FAIL() << "tmux is missing: tools/deps.sh installs it";
  }
};

}  // namespace tmuxsupport
