// The window on terminals other than a UTF-8 xterm: a terminal that cannot
// place the cursor, a session in the C locale or a Latin-1 locale, the Linux
// console. The built executable runs in tmux; besides the screen, everything
// the step wrote to the terminal is recorded (pipe-pane) and checked byte by
// byte, since tmux itself only shows UTF-8.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::TempTree;

const char* const kArguments =
    "'/EXTERNAL=KVXCFG' '/LOGFILE=C:\\Korvex\\KVXcfglog.txt' '/SOURCEPATH=C:\\Setup\\'";

// Runs a program and returns what it wrote to standard output and its status.
std::string Output(const std::vector<std::string>& args, int* status = nullptr) {
  int out[2];
  if (pipe(out) != 0) return "";
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    dup2(out[1], STDERR_FILENO);
    close(out[0]);
    close(out[1]);
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
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  if (status != nullptr) *status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
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

// The step in a tmux session of its own, with only the given environment
// (TERM and the locale among it). The step starts once the recording of its
// output runs; a shell around it reports the exit status.
class Terminal {
 public:
  Terminal(const TempTree& tree, int columns, int rows, const std::string& environment)
      : tree_(tree) {
    const std::string root = tree.root().string();
    socket_ = root + "/.tmux";
    std::ofstream(root + "/.run.sh")
        << "cd '" << root << "'\n"
        << "while [ ! -e .go ]; do sleep 0.02; done\n"
        << "env -i USERNAME=installer KORVEX_DRIVES='C=" << root << "' " << environment
        << " ./Korvex/Start/Start_Config " << kArguments << "\n"
        << "echo \"[exit $?]\"\n"
        << "exec sleep 600\n";
    Tmux({"-f", "/dev/null", "new-session", "-d", "-x", std::to_string(columns), "-y",
          std::to_string(rows), "-s", "step", "sh " + root + "/.run.sh"});
    Tmux({"pipe-pane", "-t", "step", "-o", "cat >> '" + root + "/.raw'"});
    std::ofstream(root + "/.go");
  }
  ~Terminal() { Tmux({"kill-server"}); }

  std::string Tmux(std::vector<std::string> args) const {
    args.insert(args.begin(), {"tmux", "-S", socket_});
    return Output(args);
  }
  void Keys(const std::vector<std::string>& keys) const {
    for (const std::string& k : keys) Tmux({"send-keys", "-t", "step", k});
  }
  void Text(const std::string& text) const { Tmux({"send-keys", "-t", "step", "-l", text}); }
  // Raw bytes as hexadecimal numbers ("1b 5b 5b 41"), as a terminal sends them.
  void Hex(const std::vector<std::string>& bytes) const {
    std::vector<std::string> args = {"send-keys", "-t", "step", "-H"};
    args.insert(args.end(), bytes.begin(), bytes.end());
    Tmux(args);
  }
  std::string Screen(bool colours = false) const {
    if (colours) return Tmux({"capture-pane", "-p", "-e", "-t", "step"});
    return Tmux({"capture-pane", "-p", "-t", "step"});
  }
  // Everything the terminal received so far.
  std::string Raw() const { return tree_.Exists(".raw") ? tree_.Read(".raw") : ""; }
  // Waits until the screen (or the recorded output) shows the text, or no longer does.
  bool WaitFor(const std::string& text, bool present = true, bool raw = false) const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < until) {
      if (((raw ? Raw() : Screen()).find(text) != std::string::npos) == present) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  bool WaitForColours(const std::regex& pattern, bool present) const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < until) {
      if (std::regex_search(Screen(true), pattern) == present) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

 private:
  const TempTree& tree_;
  std::string socket_;
};

class EveryTerminal : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Output({"sh", "-c", "command -v tmux"}).empty())
      FAIL() << "tmux is missing: tools/deps.sh installs it";
  }
};

// A terminal that cannot place the cursor gets one line on standard error and
// status 1: no escape codes, no alternate screen, nothing written to the installation.
TEST_F(EveryTerminal, TerminalWithoutCursorAddressingIsRefusedWithAMessage) {
  for (const std::string& term : {std::string("TERM=dumb"), std::string()}) {
    DemoTree demo;
    const std::string config = demo.tree.Read("Korvex/parameter/kvxconfiguration.ini");
    Terminal t(demo.tree, 100, 38, term);
    ASSERT_TRUE(t.WaitFor("[exit 1]")) << t.Screen();
    ASSERT_TRUE(t.WaitFor("[exit 1]", true, true)) << t.Raw();
    const std::string raw = t.Raw();
    const std::string said = raw.substr(0, raw.find("[exit"));
    EXPECT_EQ(said.find('\x1b'), std::string::npos) << said;
    const std::string expected =
        term.empty() ? "Start_Config: the terminal (TERM is not set) cannot show the window"
                     : "Start_Config: the terminal (TERM=dumb) cannot show the window";
    EXPECT_EQ(said.rfind(expected, 0), 0u) << said;
    EXPECT_NE(said.find("set KORVEX_SCRIPT"), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;  // one line
    EXPECT_EQ(demo.tree.Read("Korvex/parameter/kvxconfiguration.ini"), config);
  }
}

// In the C locale the window is drawn in ASCII alone (frames from the
// terminal's line-drawing set), and a person can still open and use a dialog.
TEST_F(EveryTerminal, CLocaleDrawsInAscii) {
  DemoTree demo;
  Terminal t(demo.tree, 110, 40, "LANG=C TERM=xterm-256color");
  ASSERT_TRUE(t.WaitFor("Start - Standardkonfiguration")) << t.Screen();
  t.Keys({"Tab", "Tab", "Tab", "Tab", "Enter"});
  ASSERT_TRUE(t.WaitFor("Pfad f?r Korvex.mdb ausw?hlen")) << t.Screen();
  t.Keys({"Escape"});
  ASSERT_TRUE(t.WaitFor("Pfad f?r", false)) << t.Screen();
  const std::string raw = t.Raw();
  // A frame's corner and line, from the line-drawing set.
  EXPECT_TRUE(std::regex_search(raw, std::regex("\x1b\\)0\x0e(\x1b\\[[0-9;]*m)?lqq")));
  EXPECT_TRUE(std::all_of(raw.begin(), raw.end(),
                          [](char c) { return static_cast<unsigned char>(c) < 0x80; }));
  // Without a line-drawing set the frames are ASCII too.
  DemoTree plain;
  Terminal ansi(plain.tree, 110, 40, "LANG=C TERM=ansi");
  ASSERT_TRUE(ansi.WaitFor("Start - Standardkonfiguration")) << ansi.Screen();
  EXPECT_NE(ansi.Screen().find(" +-----"), std::string::npos) << ansi.Screen();
  EXPECT_EQ(ansi.Raw().find('\x0e'), std::string::npos);
}

// In a Latin-1 locale the terminal shows and sends Latin-1: "ä" typed as the
// one byte 0xE4 names the file "Dätei.mdb", which the dialog finds and the
// path box shows, in Latin-1 again.
TEST_F(EveryTerminal, Latin1LocaleTypesAndShowsLatin1) {
  DemoTree demo;
  const std::string locales = (demo.tree.root() / ".locale").string();
  fs::create_directories(locales);
  int status = -1;
  const std::string made = Output(
      {"localedef", "-i", "de_DE", "-f", "ISO-8859-1", locales + "/de_DE.ISO-8859-1"}, &status);
  ASSERT_EQ(status, 0) << "localedef (package locales, see tools/deps.sh): " << made;
  demo.tree.Write("Dätei.mdb", "database");
  Terminal t(demo.tree, 110, 40,
             "LANG=de_DE.ISO-8859-1 LOCPATH='" + locales + "' TERM=xterm-256color");
  ASSERT_TRUE(t.WaitFor("Start - Standardkonfiguration")) << t.Screen();
  t.Keys({"Tab", "Tab", "Tab", "Tab", "Enter"});
  ASSERT_TRUE(t.WaitFor("Pfad f\xFCr Korvex.mdb ausw\xE4hlen", true, true)) << t.Screen();
  t.Text("C:\\D");
  t.Hex({"e4"});
  t.Text("tei.mdb");
  ASSERT_TRUE(t.WaitFor("tei.mdb")) << t.Screen();
  const size_t typed = t.Raw().size();
  t.Keys({"Enter"});
  ASSERT_TRUE(t.WaitFor("File name:", false)) << t.Screen();
  // Drawn anew in the path box once the dialog has gone.
  const std::string raw = t.Raw();
  EXPECT_NE(raw.find("\xE4tei.mdb", typed), std::string::npos) << t.Screen();
  EXPECT_EQ(raw.find("\xC3\xA4"), std::string::npos);  // no UTF-8 reached the terminal
}

// The Linux console: F1 as it sends it switches the help mode on and off, and
// only colours the console can show are used.
TEST_F(EveryTerminal, LinuxConsoleKeysAndColours) {
  DemoTree demo;
  Terminal t(demo.tree, 100, 38, "LANG=C.UTF-8 TERM=linux");
  ASSERT_TRUE(t.WaitFor("Start - Standardkonfiguration")) << t.Screen();
  const std::regex green("[[;]42m");  // the help switch's green
  ASSERT_TRUE(t.WaitForColours(green, false)) << t.Screen(true);
  t.Hex({"1b", "5b", "5b", "41"});
  ASSERT_TRUE(t.WaitForColours(green, true)) << t.Screen(true);
  t.Hex({"1b", "5b", "5b", "41"});
  ASSERT_TRUE(t.WaitForColours(green, false)) << t.Screen(true);
  // Text boxes (cyan) stand out from the window (grey); no bright backgrounds
  // and no palette colours.
  EXPECT_TRUE(std::regex_search(t.Screen(true), std::regex("[[;]46m"))) << t.Screen(true);
  const std::string raw = t.Raw();
  EXPECT_FALSE(std::regex_search(raw, std::regex("[[;]10[0-7][;m]")));
  EXPECT_EQ(raw.find("8;5;"), std::string::npos);
  EXPECT_EQ(raw.find("8;2;"), std::string::npos);
}

}  // namespace
