// The window on terminals smaller than itself: the viewport that follows the
// focus at 80 x 24, the notice and the close keys below that, Ctrl-L, and the
// messages of a start that never shows the window.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/terminal/canvas.h"
#include "app/terminal/layout.h"
#include "e2e_support.h"
#include "test_support.h"
#include "tmux_support.h"

namespace {

using namespace tmuxsupport;

// The screen's lines.
std::vector<std::string> Lines(const std::string& screen) {
  std::vector<std::string> lines;
  std::istringstream in(screen);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// A left click on the cell where `text` starts on the screen (0-based row and
// column found in the captured screen, characters counted, not bytes).
bool ClickOn(const Terminal& t, const std::string& text) {
  const std::vector<std::string> lines = Lines(t.Screen());
  for (size_t row = 0; row < lines.size(); ++row) {
    const size_t at = lines[row].find(text);
    if (at == std::string::npos) continue;
    const size_t column = tui::DecodeUtf8(lines[row].substr(0, at)).size();
    const std::string cell = std::to_string(column + 1) + ";" + std::to_string(row + 1);
    t.Bytes("\x1b[<0;" + cell + "M\x1b[<0;" + cell + "m");
    return true;
  }
  return false;
}

// Writes bytes straight to the pane's terminal, as another program would.
void Scribble(const Terminal& t, const std::string& bytes) {
  const int fd = open(t.Show("#{pane_tty}").c_str(), O_WRONLY | O_NOCTTY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  close(fd);
}

// Waits until the screen (with colours: with its attributes and character
// sets) is exactly `expected` (a frame may arrive in parts).
bool WaitForScreen(const Terminal& t, const std::string& expected, bool colours = false) {
  for (int i = 0; i < 400; ++i) {
    if (t.Screen(colours) == expected) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

class SmallTerminal : public TerminalWindow {};

// At 80 x 24 a person takes a copy over by keys and clicks, the view following
// the focus; the hint line and the scroll marks stay on the terminal's edges,
// boxes show in full, and the files end as the same actions leave them.
TEST_F(SmallTerminal, TakeoverAt80x24LeavesWhatTheScriptLeaves) {
  DemoTree person;
  {
    Terminal t(person.tree, 80, 24);
    ASSERT_TRUE(t.WaitFor("Erweiterte Konfiguration Start - integriert")) << t.Screen();
    ASSERT_TRUE(t.WaitFor("Shift-Tab reaches them")) << t.Screen();  // the last line drawn
    std::vector<std::string> lines = Lines(t.Screen());
    ASSERT_EQ(lines.size(), 24u) << t.Screen();
    // The first view is the top left, and says where OK and Cancel are.
    EXPECT_NE(lines[23].find("OK and Cancel are at the bottom right"), std::string::npos)
        << t.Screen();
    EXPECT_FALSE(lines[23].ends_with("→")) << t.Screen();  // the fields narrowed: all columns show
    EXPECT_TRUE(lines[22].ends_with("↓")) << t.Screen();   // and below
    EXPECT_EQ(t.Screen().find("SaveRestore"), std::string::npos);

    // Backwards to the folder list, which comes into view.
    t.Keys({"BTab", "BTab", "BTab", "BTab"});
    ASSERT_TRUE(t.WaitFor("▸ SaveRestore")) << t.Screen();
    t.Keys({"Down", "Down", "Enter"});
    ASSERT_TRUE(t.WaitFor("Copy_2019_OtherLine")) << t.Screen();
    t.Keys({"Down", "Enter"});
    ASSERT_TRUE(t.WaitFor("Error - Wrong Save & Restore!")) << t.Screen();
    // The box in full: its text, its button and its lower edge.
    EXPECT_NE(t.Screen().find("Machine 3 S&R: Palletizer New Visualation:Labeler"),
              std::string::npos)
        << t.Screen();
    EXPECT_NE(t.Screen().find("[ OK ]"), std::string::npos) << t.Screen();
    EXPECT_NE(t.Screen().find("└"), std::string::npos) << t.Screen();
    t.Keys({"Enter"});
    ASSERT_TRUE(t.WaitFor("Error - Wrong Save & Restore!", false)) << t.Screen();
    EXPECT_TRUE(t.WaitFor("Copy refused; OK waits for a copy of the same machines")) << t.Screen();
    t.Keys({"Up", "Enter"});
    ASSERT_TRUE(t.WaitFor("▸ Copy_2025_Line1")) << t.Screen();
    // Two clicks where the entry shows on the scrolled view open it.
    ASSERT_TRUE(ClickOn(t, "Copy_2025_Line1")) << t.Screen();
    ASSERT_TRUE(ClickOn(t, "Copy_2025_Line1")) << t.Screen();
    ASSERT_TRUE(t.WaitFor("▾ Copy_2025_Line1")) << t.Screen();
    ASSERT_TRUE(t.WaitFor("C:\\SaveRestore\\Copy_2025_Line1\\program\\korvex.mdb")) << t.Screen();
    EXPECT_TRUE(t.WaitFor("copy taken over: OK is enabled")) << t.Screen();
    t.Keys({"Tab", "Tab", "Enter"});  // the copy's list, then OK
    ASSERT_TRUE(t.WaitFor("[exit 0]")) << t.Screen();
    ASSERT_TRUE(t.WaitFor("[mode icanon]")) << t.Screen();
  }

  DemoTree script;
  testsupport::Installation korvex(script.tree);
  const auto run =
      korvex.Run("/EXTERNAL=KVXCFG /LOGFILE=C:\\Korvex\\KVXcfglog.txt /SOURCEPATH=C:\\Setup\\",
                 "focus ComboSupplier\n"
                 "focus CommandQuest\nfocus CommandCancel\nfocus ListSAR\nfocus DirSAR\n"
                 "click DirSAR\nclick DirSAR\ndir C:\\SaveRestore\n"
                 "click DirSAR\ndir C:\\SaveRestore\\Copy_2019_OtherLine\n"
                 "click DirSAR\ndir C:\\SaveRestore\n"
                 "click DirSAR\ndir C:\\SaveRestore\\Copy_2025_Line1\n"
                 "focus ListSAR\nfocus CommandOK\nclick CommandOK\n",
                 {kFirstEnvironmentEntry});
  ASSERT_EQ(run.status, 0) << run.transcript << run.errors;
  testsupport::ExpectSameFiles(Files(person.tree.root()), Files(script.tree.root()));
}

// Below the smallest size the notice fits the terminal, and the close keys
// work as in the window: the question shows in full and is answered; No keeps
// the window, Yes leaves the cancel mark and status 2. Keys typed ahead of a
// box reach it.
TEST_F(SmallTerminal, CloseKeysWorkBelowTheSmallestSize) {
  DemoTree demo;
  Terminal t(demo.tree, 60, 15);
  ASSERT_TRUE(t.WaitFor("press Esc to close the window.")) << t.Screen();
  EXPECT_NE(t.Screen().find("this one has 60 x 15."), std::string::npos) << t.Screen();
  const std::string before = demo.tree.Read("Korvex/parameter/kvxconfiguration.ini");

  t.Keys({"Escape"});
  ASSERT_TRUE(t.WaitFor("Cancel configuration?")) << t.Screen();
  EXPECT_NE(t.Screen().find("[ Yes ]  [ No ]"), std::string::npos) << t.Screen();
  t.Keys({"n"});
  ASSERT_TRUE(t.WaitFor("Cancel configuration?", false)) << t.Screen();
  EXPECT_NE(t.Screen().find("at least 80 x 24"), std::string::npos) << t.Screen();
  EXPECT_EQ(demo.tree.Read("Korvex/parameter/kvxconfiguration.ini"), before);

  // Keys typed ahead go to the boxes they open: No, the question again, Yes.
  t.Tmux({"send-keys", "-t", "step", "C-c", "n", "C-c", "y"});
  ASSERT_TRUE(t.WaitFor("Error logged to")) << t.Screen();
  EXPECT_NE(t.Screen().find("[ OK ]"), std::string::npos) << t.Screen();
  t.Keys({"Enter"});
  ExpectCancelled(t, demo.tree);
}

// Ctrl-L paints everything again over what another program wrote, under a
// box as well as in the window.
TEST_F(SmallTerminal, CtrlLRepaintsOverGarbage) {
  DemoTree demo;
  Terminal t(demo.tree, 80, 24);
  ASSERT_TRUE(t.WaitFor("Shift-Tab reaches them")) << t.Screen();
  const std::string window = t.Screen();
  // The garbage leaves the line-drawing set and an attribute switched on.
  Scribble(t, "\x1b[2J\x1b[5;10HGARBAGE FROM ELSEWHERE\r\nmore garbage\x1b(0\x1b[7m");
  ASSERT_TRUE(t.WaitFor("more garbage")) << t.Screen();
  t.Keys({"C-l"});
  EXPECT_TRUE(WaitForScreen(t, window)) << t.Screen(true);

  t.Keys({"Escape"});
  ASSERT_TRUE(t.WaitFor("[ Yes ]  [ No ]")) << t.Screen();
  const std::string question = t.Screen();
  Scribble(t, "\x1b[12;30Hgarbage\x1b[1;1H\x1b[K");
  ASSERT_TRUE(t.WaitFor("garbage")) << t.Screen();
  t.Keys({"C-l"});
  EXPECT_TRUE(WaitForScreen(t, question)) << t.Screen();
  t.Keys({"n"});
  ASSERT_TRUE(t.WaitFor("Cancel configuration?", false)) << t.Screen();
}

// Moving back into a speed factor keeps its machine's name in view beside it;
// help mode says that it is on.
TEST_F(SmallTerminal, ViewKeepsTheLabelOfTheFocus) {
  DemoTree demo;
  Terminal t(demo.tree, 80, 24);
  ASSERT_TRUE(t.WaitFor("Shift-Tab reaches them")) << t.Screen();
  t.Keys(
      {"BTab", "BTab", "BTab", "BTab", "BTab", "BTab"});  // past the buttons and the copy's lists
  ASSERT_TRUE(t.WaitFor("Labeler — type to edit")) << t.Screen();
  const std::vector<std::string> lines = Lines(t.Screen());
  int shown = 0;
  for (size_t row = 0; row + 1 < lines.size(); ++row)
    shown += lines[row].find("Labeler") != std::string::npos;
  EXPECT_EQ(shown, 1) << t.Screen();
  t.Keys({"F1"});
  EXPECT_TRUE(t.WaitFor("HELP MODE")) << t.Screen();
  EXPECT_NE(t.Screen().find("F1 ends help mode"), std::string::npos) << t.Screen();
}

// Ctrl-Z under a shell with job control gives the shell its screen, modes and
// mouse back; fg brings the window back as it was, in raw mode again, so that
// Ctrl-C still asks before it cancels.
TEST_F(SmallTerminal, StopAndContinueKeepTheWindowWorking) {
  DemoTree demo;
  Terminal t(demo.tree, 80, 24, {.jobControl = true});
  ASSERT_TRUE(t.WaitFor("Shift-Tab reaches them")) << t.Screen();
  const std::string window = t.Screen();
  t.Keys({"C-z"});
  ASSERT_TRUE(t.WaitFor("Stopped")) << t.Screen();
  EXPECT_EQ(t.Show("#{alternate_on}#{mouse_any_flag}#{mouse_sgr_flag}"), "000");
  t.Keys({"fg", "Enter"});
  ASSERT_TRUE(WaitForScreen(t, window)) << t.Screen();
  t.Keys({"C-c"});
  ASSERT_TRUE(t.WaitFor("Cancel configuration?")) << t.Screen();
  t.Keys({"y"});
  ASSERT_TRUE(t.WaitFor("Error logged to")) << t.Screen();
  t.Keys({"Enter"});
  ExpectCancelled(t, demo.tree);
}

// A start that ends before the window shows: its box stands on a clean
// screen, not over a half-built window, and the standalone start's message is
// still on the terminal after it is restored.
TEST_F(SmallTerminal, StartUpMessagesShowOnACleanScreenAndStay) {
  {
    DemoTree demo;
    std::filesystem::remove(demo.tree.Host("Korvex/Start/Start.cfg"));
    Terminal t(demo.tree, 100, 38);
    ASSERT_TRUE(t.WaitFor("File not found:")) << t.Screen();
    EXPECT_EQ(t.Screen().find("Standardkonfiguration"), std::string::npos) << t.Screen();
    EXPECT_EQ(t.Screen().find("Erweiterte Konfiguration"), std::string::npos) << t.Screen();
    t.Keys({"Enter"});
    ASSERT_TRUE(t.WaitFor("[exit 1]")) << t.Screen();
  }
  DemoTree demo;
  Terminal t(demo.tree, 100, 38, {.arguments = {}});
  ASSERT_TRUE(t.WaitFor("[exit 1]")) << t.Screen();
  EXPECT_NE(t.Screen().find("not started by the configuration tool"), std::string::npos)
      << t.Screen();
}

// The viewport's arithmetic at the edges: where marks take a column, and
// what the view follows when a span is longer than the view.
TEST(Viewport, FitsAndFollows) {
  const tui::WindowCells window{99, 36};  // 99 x 38 with caption and hint line
  const tui::Viewport fits = tui::FitViewport(window, 99, 38);
  EXPECT_FALSE(fits.Scrolls());
  EXPECT_EQ(fits.width, 99);
  EXPECT_EQ(fits.height, 37);
  // One row short: the mark column takes a column too, so both directions scroll.
  const tui::Viewport shortOne = tui::FitViewport(window, 99, 37);
  EXPECT_TRUE(shortOne.vertical);
  EXPECT_TRUE(shortOne.horizontal);
  EXPECT_EQ(shortOne.width, 98);
  EXPECT_EQ(shortOne.height, 36);
  const tui::Viewport wide = tui::FitViewport(window, 100, 24);
  EXPECT_TRUE(wide.vertical);
  EXPECT_FALSE(wide.horizontal);
  const tui::Viewport tall = tui::FitViewport(window, 80, 40);
  EXPECT_FALSE(tall.vertical);
  EXPECT_TRUE(tall.horizontal);
  EXPECT_EQ(tall.width, 80);

  // A span that fits is shown whole, moving as little as needed, never past the end.
  EXPECT_EQ(tui::FollowInView(0, 30, 5, 30, 23, 37), 12);
  EXPECT_EQ(tui::FollowInView(14, 10, 5, 10, 23, 37), 10);
  EXPECT_EQ(tui::FollowInView(5, 10, 5, 10, 23, 37), 5);
  EXPECT_EQ(tui::FollowInView(0, 35, 2, 35, 23, 37), 14);
  // A longer span: the point shows, with as much of the span before it as fits.
  EXPECT_EQ(tui::FollowInView(0, 20, 60, 70, 40, 99), 31);
  EXPECT_EQ(tui::FollowInView(50, 20, 60, 25, 40, 99), 20);
  EXPECT_EQ(tui::FollowInView(25, 20, 60, 30, 40, 99), 25);  // in view: no move
  EXPECT_EQ(tui::FollowInView(7, 0, 10, 0, 40, 30), 0);      // the window fits
  // A button two rows high keeps a row of margin below it; a label too far
  // above to show with it is left out.
  const tui::CellRect button{70, 34, 8, 2}, label{1, 5, 10, 1};
  EXPECT_EQ(tui::KeepInView(button, &label, 23), (tui::CellRect{68, 33, 12, 4}));
  EXPECT_EQ(tui::KeepInView(button, &label, 40), (tui::CellRect{0, 4, 80, 33}));
}

}  // namespace
