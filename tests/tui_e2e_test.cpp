// The window on a real terminal: the built executable run in tmux on the demo
// installation, its screen read with capture-pane and keys typed with
// send-keys, as a person at the terminal would.
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

#include "e2e_support.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::TempTree;

const char* const kArguments =
    "'/EXTERNAL=KVXCFG' '/LOGFILE=C:\\Korvex\\KVXcfglog.txt' '/SOURCEPATH=C:\\Setup\\'";

// The first entry of the step's environment, which its edit-info stamp is
// made from: the same for the person's run and the script's.
const char* const kFirstEnvironmentEntry = "USERNAME=installer";

// Runs a program and returns what it wrote to standard output.
std::string Output(const std::vector<std::string>& args) {
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
  Terminal(const TempTree& tree, int columns, int rows) : tree_(tree) {
    const std::string root = tree.root().string();
    socket_ = root + "/.tmux";
    std::ofstream(root + "/.run.sh")
        << "cd '" << root << "'\n"
        << "unset KORVEX_SCRIPT\n"
        << "export KORVEX_DRIVES='C=" << root << "'\n"
        << "sh -c \"echo \\$\\$ > .pid; exec env -i " << kFirstEnvironmentEntry
        << " KORVEX_DRIVES=\\$KORVEX_DRIVES TERM=\\$TERM ./Korvex/Start/Start_Config " << kArguments
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
std::map<std::string, std::string> Files(const fs::path& root) {
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

// A person takes a copy over and presses OK: the refused copy's box, the copy
// taken over, the files left exactly as the same actions leave them in a script.
TEST_F(TerminalWindow, TakingACopyOverAndOkLeavesWhatTheScriptLeaves) {
  DemoTree person;
  {
    Terminal t(person.tree, 110, 40);
    ASSERT_TRUE(t.WaitFor("Erweiterte Konfiguration Start - integriert")) << t.Screen();
    EXPECT_NE(t.Screen().find("Start - Standardkonfiguration"), std::string::npos);
    // The supplier list opens on Enter and closes on Esc without a choice.
    t.Keys({"Enter"});
    ASSERT_TRUE(t.WaitFor("Nordpack")) << t.Screen();
    EXPECT_NE(t.Screen().find("Acme"), std::string::npos);
    t.Keys({"Escape"});
    ASSERT_TRUE(t.WaitFor("Nordpack", false)) << t.Screen();

    // Backwards from the supplier list: help switch, Cancel, the copy's list, the folder list.
    t.Keys({"BTab", "BTab", "BTab", "BTab", "Down", "Down", "Enter"});
    ASSERT_TRUE(t.WaitFor("Copy_2019_OtherLine")) << t.Screen();
    t.Keys({"Down", "Enter"});
    ASSERT_TRUE(t.WaitFor("Error - Wrong Save & Restore!")) << t.Screen();
    EXPECT_NE(t.Screen().find("Machine 2 S&R: Seamer New Visualation:Capper"), std::string::npos);
    t.Keys({"Enter"});
    ASSERT_TRUE(t.WaitFor("Error - Wrong Save & Restore!", false)) << t.Screen();
    t.Keys({"Up", "Enter", "Down", "Down", "Enter"});
    ASSERT_TRUE(t.WaitFor("C:\\SaveRestore\\Copy_2025_Line1\\program\\korvex.mdb")) << t.Screen();
    t.Keys({"Tab", "Tab", "Enter"});  // the copy's list, then OK
    ASSERT_TRUE(t.WaitFor("[exit 0]")) << t.Screen();
    ASSERT_TRUE(t.WaitFor("[mode icanon]")) << t.Screen();
    EXPECT_EQ(t.Show("#{alternate_on} #{cursor_flag} #{mouse_any_flag}"), "0 1 0");
  }

  // The same actions as a script.
  DemoTree script;
  testsupport::Installation korvex(script.tree);
  const auto run =
      korvex.Run("/EXTERNAL=KVXCFG /LOGFILE=C:\\Korvex\\KVXcfglog.txt /SOURCEPATH=C:\\Setup\\",
                 "focus ComboSupplier\n"
                 "focus CommandQuest\nfocus CommandCancel\nfocus ListSAR\nfocus DirSAR\n"
                 "click DirSAR\nclick DirSAR\ndir C:\\SaveRestore\n"
                 "click DirSAR\ndir C:\\SaveRestore\\Copy_2019_OtherLine\n"
                 "click DirSAR\ndir C:\\SaveRestore\n"
                 "click DirSAR\nclick DirSAR\ndir C:\\SaveRestore\\Copy_2025_Line1\n"
                 "focus ListSAR\nfocus CommandOK\nclick CommandOK\n",
                 {kFirstEnvironmentEntry});
  ASSERT_EQ(run.status, 0) << run.transcript << run.errors;
  const auto left = Files(person.tree.root()), expected = Files(script.tree.root());
  ASSERT_EQ(left.size(), expected.size());
  for (const auto& [path, bytes] : expected) {
    ASSERT_TRUE(left.count(path)) << path;
    EXPECT_EQ(left.at(path), bytes) << path;
  }
  EXPECT_NE(left.at("Korvex/parameter/Program.ini").find("Supplier=Acme"), std::string::npos);
}

// Esc is the close box: Enter on the question keeps the window (No is the
// default), Yes leaves the cancel mark; the terminal comes back either way.
TEST_F(TerminalWindow, CloseKeyAsksAndOnlyYesCancels) {
  DemoTree demo;
  Terminal t(demo.tree, 100, 38);
  ASSERT_TRUE(t.WaitFor("Start - Standardkonfiguration")) << t.Screen();
  // Start-up has written what it writes; from here on only a decision writes.
  const std::string before = demo.tree.Read("Korvex/parameter/kvxconfiguration.ini");
  t.Keys({"Escape"});
  ASSERT_TRUE(t.WaitFor("Cancel configuration?")) << t.Screen();
  t.Keys({"Enter"});
  ASSERT_TRUE(t.WaitFor("Cancel configuration?", false)) << t.Screen();
  EXPECT_NE(t.Screen().find("Lieferant"), std::string::npos);
  EXPECT_EQ(demo.tree.Read("Korvex/parameter/kvxconfiguration.ini"), before);

  t.Keys({"Escape"});
  ASSERT_TRUE(t.WaitFor("Cancel configuration?")) << t.Screen();
  t.Keys({"Left", "Enter"});  // over to Yes
  ASSERT_TRUE(t.WaitFor("Error logged to")) << t.Screen();
  t.Keys({"Enter"});
  ASSERT_TRUE(t.WaitFor("[exit 2]")) << t.Screen();
  ASSERT_TRUE(t.WaitFor("[mode icanon]")) << t.Screen();
  EXPECT_EQ(t.Show("#{alternate_on} #{cursor_flag}"), "0 1");
  EXPECT_NE(
      demo.tree.Read("Korvex/parameter/kvxconfiguration.ini").find("ConfigExeCancel=Start_Config"),
      std::string::npos);
}

// F1 turns the help switch green; in help mode Cancel only explains itself.
TEST_F(TerminalWindow, HelpModeShowsGreenAndExplainsInsteadOfActing) {
  DemoTree demo;
  Terminal t(demo.tree, 100, 38);
  ASSERT_TRUE(t.WaitFor("Start - Standardkonfiguration")) << t.Screen();
  // Start-up has written what it writes; from here on only a decision writes.
  const std::string before = demo.tree.Read("Korvex/parameter/kvxconfiguration.ini");
  const std::string green = "48;5;46m";  // RGB 0, 255, 0 in the 256-colour palette
  EXPECT_EQ(t.Screen(true).find(green), std::string::npos);
  t.Keys({"F1"});
  bool turned = false;
  for (int i = 0; i < 400 && !turned; ++i) {
    turned = t.Screen(true).find(green) != std::string::npos;
    if (!turned) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_TRUE(turned) << t.Screen(true);

  t.Keys({"BTab", "Enter"});  // from the help switch back to Cancel
  ASSERT_TRUE(t.WaitFor("Info:")) << t.Screen();
  t.Keys({"Enter"});
  ASSERT_TRUE(t.WaitFor("Info:", false)) << t.Screen();
  EXPECT_EQ(demo.tree.Read("Korvex/parameter/kvxconfiguration.ini"), before);
  t.Keys({"F1"});
  ASSERT_TRUE(t.WaitFor("Info:", false));
  bool back = false;
  for (int i = 0; i < 400 && !back; ++i) {
    back = t.Screen(true).find(green) == std::string::npos;
    if (!back) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(back) << t.Screen(true);
}

// The database button's file dialog: the folder tree and the files of the
// type asked for; the file taken lands in the row's path box, Esc takes nothing.
TEST_F(TerminalWindow, FileDialogPutsTheChosenDatabaseIntoItsRow) {
  DemoTree demo;
  Terminal t(demo.tree, 110, 40);
  ASSERT_TRUE(t.WaitFor("Start - Standardkonfiguration")) << t.Screen();
  t.Keys({"Tab", "Tab", "Tab", "Tab", "Enter"});  // the supplier's row down to Korvex.mdb
  ASSERT_TRUE(t.WaitFor("Pfad für Korvex.mdb auswählen")) << t.Screen();
  EXPECT_NE(t.Screen().find("Datenbank (*.mdb)"), std::string::npos);
  t.Keys({"Escape"});
  ASSERT_TRUE(t.WaitFor("Pfad für Korvex.mdb auswählen", false)) << t.Screen();
  EXPECT_NE(t.Screen().find(" x1"), std::string::npos) << t.Screen();  // the box kept its text

  t.Keys({"Enter", "Tab", "Tab", "Down", "Down", "Enter"});  // folders: c:\ > SaveRestore
  ASSERT_TRUE(t.WaitFor("Copy_2025_Line1")) << t.Screen();
  t.Keys({"Down", "Down", "Enter"});
  ASSERT_TRUE(t.WaitFor("Look in: C:\\SaveRestore\\Copy_2025_Line1")) << t.Screen();
  t.Keys({"BTab", "BTab"});  // back to the file name, which typing replaces
  t.Bytes("program\\Alarmdefinition.mdb");
  t.Keys({"Enter"});
  ASSERT_TRUE(t.WaitFor("C:\\SaveRestore\\Copy_2025_Line1\\program\\Alarmdefinition.mdb"))
      << t.Screen();
  EXPECT_EQ(t.Screen().find("Pfad für"), std::string::npos);
}

// Editing keys in a text box: the caret follows the typing, Home, arrows,
// Delete, Backspace and Shift-selection edit where a person expects, and the
// speed factor's own rule (whole numbers) still holds.
TEST_F(TerminalWindow, EditingKeysWorkAtTheCaret) {
  DemoTree demo;
  Terminal t(demo.tree, 110, 40);
  ASSERT_TRUE(t.WaitFor("Start - Standardkonfiguration")) << t.Screen();
  std::vector<std::string> tabs(10, "Tab");  // down to the first speed factor (Filler)
  t.Keys(tabs);
  t.Keys({"1", "2", "Left", "5"});
  ASSERT_TRUE(t.WaitFor("Filler        152")) << t.Screen();
  t.Keys({"Home", "Delete", "End", "BSpace", "7"});
  ASSERT_TRUE(t.WaitFor("Filler        57")) << t.Screen();
  t.Keys({"S-Left", "S-Left", "3"});  // the selection is replaced
  ASSERT_TRUE(t.WaitFor("Filler        3 ")) << t.Screen();
  t.Keys({"x"});  // no number: the box keeps its last value
  ASSERT_TRUE(t.WaitFor("Filler        3 ")) << t.Screen();
  t.Keys({".", "9"});  // 3.9 is cut to 3 at once
  t.Keys({"Tab"});
  ASSERT_TRUE(t.WaitFor("Filler        3 ")) << t.Screen();
  EXPECT_EQ(t.Screen().find("3.9"), std::string::npos);
}

// Too small a terminal says so and the window appears when it grows; a signal
// still leaves the terminal as it was.
TEST_F(TerminalWindow, SmallTerminalWaitsForRoomAndASignalRestoresTheTerminal) {
  DemoTree demo;
  Terminal t(demo.tree, 80, 24);
  ASSERT_TRUE(t.WaitFor("needs a terminal of at least 99 x 38 characters")) << t.Screen();
  t.Tmux({"resize-window", "-t", "step", "-x", "104", "-y", "40"});
  ASSERT_TRUE(t.WaitFor("Start - Standardkonfiguration")) << t.Screen();
  // A mouse click opens the date-format list where it is drawn.
  t.Bytes("\x1b[<0;31;7M\x1b[<0;31;7m");
  ASSERT_TRUE(t.WaitFor("TT.MM.JJJJ")) << t.Screen();
  kill(t.StepPid(), SIGTERM);
  ASSERT_TRUE(t.WaitFor("[exit 143]")) << t.Screen();
  ASSERT_TRUE(t.WaitFor("[mode icanon]")) << t.Screen();
  EXPECT_EQ(t.Show("#{alternate_on} #{cursor_flag} #{mouse_any_flag}"), "0 1 0");
  // The step was left without OK: the configuration tool must not take it for done.
  EXPECT_NE(demo.tree.Read("Korvex/parameter/kvxconfiguration.ini")
                .find("ConfigExeCancel=Start_Config\r\n"),
            std::string::npos);
}

// While the window is open a second start on the same installation is refused
// and changes nothing; when the terminal goes away the first leaves the cancel
// mark and its log line.
TEST_F(TerminalWindow, SecondStartIsRefusedAndALostTerminalLeavesTheMark) {
  DemoTree demo;
  Terminal t(demo.tree, 104, 40);
  ASSERT_TRUE(t.WaitFor("Start - Standardkonfiguration")) << t.Screen();
  const auto before = Files(demo.tree.root());
  const std::string second =
      Output({"sh", "-c",
              "cd '" + demo.tree.root().string() + "' && KORVEX_SCRIPT=- KORVEX_DRIVES='C=" +
                  demo.tree.root().string() + "' ./Korvex/Start/Start_Config " + kArguments +
                  " </dev/null 2>&1; echo \"[second $?]\""});
  EXPECT_NE(second.find("Start_Config is already running for C:\\Korvex"), std::string::npos)
      << second;
  EXPECT_NE(second.find("[second 1]"), std::string::npos) << second;
  EXPECT_EQ(Files(demo.tree.root()), before);

  const pid_t step = t.StepPid();
  t.Tmux({"kill-server"});
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (kill(step, 0) == 0 && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_NE(demo.tree.Read("Korvex/parameter/kvxconfiguration.ini")
                .find("ConfigExeCancel=Start_Config\r\n"),
            std::string::npos);
  EXPECT_NE(demo.tree.Read("Korvex/KVXCFGLOG.TXT")
                .find("Konfigurations-EXE wurde abgebrochen:     Start\r\n"),
            std::string::npos);
}

// Without a terminal and without a script the step says why and ends at once.
TEST(TerminalMissing, EndsWithAClearMessage) {
  DemoTree demo;
  const std::string out = Output({"sh", "-c",
                                  "cd '" + demo.tree.root().string() +
                                      "' && unset KORVEX_SCRIPT && ./Korvex/Start/Start_Config " +
                                      kArguments + " </dev/null 2>&1; echo \"[exit $?]\""});
  EXPECT_NE(out.find("standard input is no terminal"), std::string::npos) << out;
  EXPECT_NE(out.find("KORVEX_SCRIPT"), std::string::npos) << out;
  EXPECT_NE(out.find("[exit 1]"), std::string::npos) << out;
}

}  // namespace
