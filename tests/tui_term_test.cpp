// The window on terminals other than a UTF-8 xterm: a terminal that cannot
// place the cursor, a session in the C locale or a Latin-1 locale, the Linux
// console. The built executable runs in tmux; besides the screen, everything
// the step wrote to the terminal is recorded (pipe-pane) and checked byte by
// byte, since tmux itself only shows UTF-8.
#include <gtest/gtest.h>
#include <locale.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/terminal/canvas.h"
#include "test_support.h"
#include "tmux_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::TempTree;

using namespace tmuxsupport;

// The step with only the given environment (TERM and the locale among it),
// everything it writes to the terminal recorded.
Setup Only(const std::vector<std::string>& environment) {
  Setup setup;
  setup.environment = environment;
  setup.record = true;
  return setup;
}

// Waits until the screen's colours match the pattern, or no longer do.
bool WaitForColours(const Terminal& t, const std::regex& pattern, bool present) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < until) {
    if (std::regex_search(t.Screen(true), pattern) == present) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

using EveryTerminal = TerminalWindow;

// A terminal that cannot place the cursor gets one line on standard error and
// status 1: no escape codes, no alternate screen, nothing written to the installation.
TEST_F(EveryTerminal, TerminalWithoutCursorAddressingIsRefusedWithAMessage) {
  for (const std::vector<std::string>& term :
       {std::vector<std::string>{"TERM=dumb"}, std::vector<std::string>{}}) {
    DemoTree demo;
    const std::string config = demo.tree.Read("Korvex/parameter/kvxconfiguration.ini");
    Terminal t(demo.tree, 100, 38, Only(term));
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
  Terminal t(demo.tree, 110, 40, Only({"LANG=C", "TERM=xterm-256color"}));
  ASSERT_TRUE(t.WaitFor("Start - Standardkonfiguration")) << t.Screen();
  t.Keys({"Tab", "Tab", "Tab", "Tab", "Enter"});
  ASSERT_TRUE(t.WaitFor("Pfad f?r Korvex.mdb ausw?hlen")) << t.Screen();
  t.Keys({"Escape"});
  ASSERT_TRUE(t.WaitFor("Pfad f?r", false)) << t.Screen();
  const std::string raw = t.Raw();
  // A frame's corner and line, from the line-drawing set.
  EXPECT_TRUE(std::regex_search(raw, std::regex("\x1b\\(0(\x1b\\[[0-9;]*m)*lq")));
  EXPECT_TRUE(std::all_of(raw.begin(), raw.end(),
                          [](char c) { return static_cast<unsigned char>(c) < 0x80; }));
}

// In a Latin-1 locale the terminal shows and sends Latin-1: "ä" typed as the
// one byte 0xE4 names the file "Dätei.mdb", which the dialog finds and the
// path box shows, in Latin-1 again.
TEST_F(EveryTerminal, Latin1LocaleTypesAndShowsLatin1) {
  DemoTree demo;
  const std::string locales = (demo.tree.root() / ".locale").string();
  fs::create_directories(locales);
  int status = -1;
  const std::string made =
      Output({"localedef", "-i", "de_DE", "-f", "ISO-8859-1", locales + "/de_DE.ISO-8859-1"},
             &status, true);
  ASSERT_EQ(status, 0) << "localedef (package locales, see tools/deps.sh): " << made;
  demo.tree.Write("Dätei.mdb", "database");
  Terminal t(demo.tree, 110, 40,
             Only({"LANG=de_DE.ISO-8859-1", "LOCPATH=" + locales, "TERM=xterm-256color"}));
  ASSERT_TRUE(t.WaitFor("Start - Standardkonfiguration")) << t.Screen();
  t.Keys({"Tab", "Tab", "Tab", "Tab", "Enter"});
  ASSERT_TRUE(t.WaitFor("Pfad f\xFCr Korvex.mdb ausw\xE4hlen", true, true)) << t.Screen();
  t.Bytes("C:\\D");
  t.Hex({"e4"});
  t.Bytes("tei.mdb");
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
  Terminal t(demo.tree, 100, 38, Only({"LANG=C.UTF-8", "TERM=linux"}));
  ASSERT_TRUE(t.WaitFor("Start - Standardkonfiguration")) << t.Screen();
  const std::regex green("[[;]42m");  // the help switch's green
  ASSERT_TRUE(WaitForColours(t, green, false)) << t.Screen(true);
  t.Hex({"1b", "5b", "5b", "41"});
  ASSERT_TRUE(WaitForColours(t, green, true)) << t.Screen(true);
  t.Hex({"1b", "5b", "5b", "41"});
  ASSERT_TRUE(WaitForColours(t, green, false)) << t.Screen(true);
  t.Hex({"1b", "09"});  // Shift-Tab as the console sends it: from the help switch back
  ASSERT_TRUE(t.WaitFor("Cancel —")) << t.Screen();
  // Text boxes (cyan) stand out from the window (grey); no bright backgrounds
  // and no palette colours.
  EXPECT_TRUE(std::regex_search(t.Screen(true), std::regex("[[;]46m"))) << t.Screen(true);
  const std::string raw = t.Raw();
  EXPECT_FALSE(std::regex_search(raw, std::regex("[[;]10[0-7][;m]")));
  EXPECT_EQ(raw.find("8;5;"), std::string::npos);
  EXPECT_EQ(raw.find("8;2;"), std::string::npos);
}

// An xterm of 80 x 24 by its terminfo: eight colours, never a bright or
// palette code; 16 Tabs from the start cost a few kilobytes, not whole
// screens. An XON byte is the terminal's flow control, not a key.
TEST_F(EveryTerminal, XtermAt80x24WritesItsOwnColoursAndLittle) {
  DemoTree demo;
  Terminal t(demo.tree, 80, 24, Only({"LANG=C.UTF-8", "TERM=xterm"}));
  ASSERT_TRUE(t.WaitFor("Shift-Tab reaches them")) << t.Screen();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const size_t first = t.Raw().size();
  t.Hex({"11"});
  for (int i = 0; i < 16; ++i) t.Keys({"Tab"});
  ASSERT_TRUE(t.WaitFor("Cancel has the focus")) << t.Screen();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const std::string raw = t.Raw();
  EXPECT_FALSE(
      std::regex_search(raw, std::regex("\x1b\\[([0-9;]*;)?(9[0-7]|10[0-7]|[34]8;5)[;m]")));
  EXPECT_LT(raw.size() - first, 4800u);  // 16 whole screens were 25,000
  EXPECT_EQ(t.Screen().find("Cancel configuration?"), std::string::npos);
}

// A vt220 has no back-tab key: the hints name Tab alone, which does reach Cancel.
TEST_F(EveryTerminal, WithoutBackTabTheHintsNameTab) {
  DemoTree demo;
  Terminal t(demo.tree, 80, 24, Only({"LANG=C.UTF-8", "TERM=vt220"}));
  ASSERT_TRUE(t.WaitFor("out of view: Tab reaches them last")) << t.Screen();
  t.Keys({"Tab"});
  ASSERT_TRUE(t.WaitFor("Datumsformat — ↑↓ choose, Enter list")) << t.Screen();
  ASSERT_TRUE(t.WaitFor("Tab next field")) << t.Screen();
  for (int i = 0; i < 15; ++i) t.Keys({"Tab"});
  ASSERT_TRUE(t.WaitFor("Cancel has the focus")) << t.Screen();
}

// A vt100 in a UTF-8 locale draws frames with its line-drawing set, and a
// folder name of wide characters is cut inside its list, the frame intact.
TEST_F(EveryTerminal, FramesAndWideNamesKeepTheirColumns) {
  DemoTree demo;
  const std::string name = "\u65e5\u672c\u8a9e\u306e\u30d5\u30a9\u30eb\u30c0";
  demo.tree.Write("SaveRestore/" + name + name + name + name + name + "/x", "");
  Terminal vt(demo.tree, 100, 38, Only({"LANG=C.UTF-8", "TERM=vt100"}));
  ASSERT_TRUE(vt.WaitFor("Start - Standardkonfiguration")) << vt.Screen();
  ASSERT_TRUE(vt.WaitFor("\x0elq", true, true)) << vt.Raw();  // shifted to the line set
  EXPECT_EQ(vt.Raw().find("\u2500"), std::string::npos);
  DemoTree wide;
  wide.tree.Write("SaveRestore/" + name + name + name + name + name + "/x", "");
  Terminal t(wide.tree, 100, 38, Only({"LANG=C.UTF-8", "TERM=tmux-256color"}));
  ASSERT_TRUE(t.WaitFor("Start - Standardkonfiguration")) << t.Screen();
  t.Keys({"BTab", "BTab", "BTab", "BTab", "Down", "Down", "Enter"});
  ASSERT_TRUE(t.WaitFor(name)) << t.Screen();
  const std::string saved = setlocale(LC_CTYPE, nullptr);
  setlocale(LC_CTYPE, "C.UTF-8");
  std::istringstream screen(t.Screen());
  int heading = -1;  // the columns of the list's heading row, up to its frame
  for (std::string line; std::getline(screen, line);) {
    if (line.find("Pfad Save and Restore") != std::string::npos) heading = tui::Columns(line);
    if (line.find(name) == std::string::npos) continue;
    EXPECT_TRUE(line.ends_with("\u2502")) << line;
    EXPECT_EQ(tui::Columns(line), heading) << line;
  }
  setlocale(LC_CTYPE, saved.c_str());
}

}  // namespace
