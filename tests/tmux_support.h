// The tmux harness of the terminal window's end-to-end tests: the built step
// on a copy of the demo installation, run in a tmux server of its own (a
// private socket in the tree), its screen read with capture-pane and keys
// typed with send-keys, as a person at the terminal would.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/text.h"
#include "e2e_support.h"
#include "test_support.h"

namespace tmuxsupport {

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::TempTree;

inline const std::vector<std::string> kArguments = {
    "/EXTERNAL=KVXCFG", "/LOGFILE=C:\\Korvex\\KVXcfglog.txt", "/SOURCEPATH=C:\\Setup\\"};

// The arguments as words of a shell command line.
inline std::string ShellArguments() {
  std::string words;
  for (const std::string& a : kArguments) words += (words.empty() ? "'" : " '") + a + "'";
  return words;
}

// The first entry of the step's environment, which its edit-info stamp is
// made from: the same for the person's run and the script's.
inline const char* const kFirstEnvironmentEntry = "USERNAME=installer";

using testsupport::DemoTree;
using testsupport::Files;
using testsupport::Output;

// How a Terminal starts the step beside the usual.
struct Setup {
  std::vector<std::string> arguments = kArguments;
  // The step's whole environment besides USERNAME and KORVEX_DRIVES; an entry
  // without "=" passes on the terminal's own value (TERM: the terminal's type).
  std::vector<std::string> environment = {"TERM"};
  // Everything the terminal receives is kept in .raw below the root, from
  // before the step starts (tmux itself shows only UTF-8).
  bool record = false;
  // The step is started as a job of an interactive shell with job control, as
  // a person at a prompt starts it.
  bool jobControl = false;
  // A command that runs the step (with its path inside, a chroot, say).
  std::vector<std::string> wrapper = {};
};

// The step started in a tmux session of its own (a private server whose socket
// lies in the tree). A shell around it reports the exit status and whether the
// terminal is back in line mode when the step has ended.
class Terminal {
 public:
  Terminal(const TempTree& tree, int columns, int rows, const Setup& setup = {}) : tree_(tree) {
    const std::string root = tree.root().string();
    socket_ = root + "/.tmux";
    std::ofstream(root + "/.run.sh")
        << "cd '" << root << "'\n"
        << (setup.record ? "while [ ! -e .go ]; do sleep 0.02; done\n" : "")
        << "sh -c 'echo $$ > .pid; " << Escaped(testsupport::ShellCommand(Start(setup))) << "'\n"
        << "echo \"[exit $?]\"\n"
        << "stty -a | grep -o -- '-\\?icanon' | sed 's/^/[mode /; s/$/]/'\n"
        << "exec sleep 600\n";
    const std::string shell =
        "env PS1='$ ' HISTFILE= bash --norc --noprofile -i";  // no history kept
    Tmux({"-f", "/dev/null", "new-session", "-d", "-x", std::to_string(columns), "-y",
          std::to_string(rows), "-s", "step",
          setup.jobControl ? shell : "sh " + root + "/.run.sh"});
    if (setup.jobControl) {
      EXPECT_TRUE(WaitFor("$")) << Screen();
      Bytes("sh '" + root + "/.run.sh'\r");
    }
    if (setup.record) {
      Tmux({"pipe-pane", "-t", "step", "-o", "cat >> '" + root + "/.raw'"});
      std::ofstream(root + "/.go");
    }
  }
  ~Terminal() { Tmux({"kill-server"}); }

  // The step's start on this terminal.
  testsupport::StepStart Start(const Setup& setup) const {
    testsupport::StepStart start;
    start.args = setup.wrapper;
    start.args.push_back("./Korvex/Start/Start_Config");
    start.args.insert(start.args.end(), setup.arguments.begin(), setup.arguments.end());
    start.env = {kFirstEnvironmentEntry, "KORVEX_DRIVES=C=" + tree_.root().string()};
    start.env.insert(start.env.end(), setup.environment.begin(), setup.environment.end());
    start.folder = tree_.root();
    return start;
  }
  // A command as one word within single quotes.
  static std::string Escaped(const std::string& command) {
    std::string escaped;
    for (char c : command) escaped += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return escaped;
  }

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
  // Raw bytes as hexadecimal numbers ("1b 5b 5b 41"), beyond what -l can send.
  void Hex(const std::vector<std::string>& bytes) const {
    std::vector<std::string> args = {"send-keys", "-t", "step", "-H"};
    args.insert(args.end(), bytes.begin(), bytes.end());
    Tmux(args);
  }
  std::string Screen(bool colours = false) const {
    if (colours) return Tmux({"capture-pane", "-p", "-e", "-t", "step"});
    return Tmux({"capture-pane", "-p", "-t", "step"});
  }
  std::string Show(const std::string& format) const {
    std::string s = Tmux({"display-message", "-p", "-t", "step", format});
    while (!s.empty() && s.back() == '\n') s.pop_back();
    return s;
  }
  // The screen's rows, one character a cell.
  std::vector<std::u32string> Rows() const {
    std::vector<std::u32string> rows;
    std::istringstream in(Screen());
    for (std::string line; std::getline(in, line);) rows.push_back(platform::DecodeUtf8(line));
    return rows;
  }
  // Everything the terminal received so far (with Setup::record).
  std::string Raw() const { return tree_.Exists(".raw") ? tree_.Read(".raw") : ""; }
  // Waits until the screen (with raw: the recorded output) shows the text, or,
  // with present false, no longer does.
  bool WaitFor(const std::string& text, bool present = true, bool raw = false) const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < until) {
      if (((raw ? Raw() : Screen()).find(text) != std::string::npos) == present) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  pid_t StepPid() const { return static_cast<pid_t>(std::stol(tree_.Read(".pid"))); }

 private:
  const TempTree& tree_;
  std::string socket_;
};

// The step ended by a confirmed cancel: status 2, the terminal back in line
// mode, the cancel mark in kvxconfiguration.ini.
inline void ExpectCancelled(const Terminal& t, const TempTree& tree) {
  ASSERT_TRUE(t.WaitFor("[exit 2]")) << t.Screen();
  ASSERT_TRUE(t.WaitFor("[mode icanon]")) << t.Screen();
  EXPECT_NE(tree.Read("Korvex/parameter/kvxconfiguration.ini").find("ConfigExeCancel=Start_Config"),
            std::string::npos);
}

class TerminalWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Output({"sh", "-c", "command -v tmux"}).empty())
      FAIL() << "tmux is missing: tools/deps.sh installs it";
  }
};

}  // namespace tmuxsupport
