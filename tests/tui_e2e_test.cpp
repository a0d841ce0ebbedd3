// The window on a real terminal: the built executable run in tmux on the demo
// installation, its screen read with capture-pane and keys typed with
// send-keys, as a person at the terminal would.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "e2e_support.h"
#include "test_support.h"
#include "tmux_support.h"

namespace {

using namespace tmuxsupport;

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
  const auto left = Files(person.tree.root());
  ASSERT_NO_FATAL_FAILURE(testsupport::ExpectSameFiles(left, Files(script.tree.root())));
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
  ExpectCancelled(t, demo.tree);
  EXPECT_EQ(t.Show("#{alternate_on} #{cursor_flag}"), "0 1");
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
  Terminal t(demo.tree, 70, 20);
  ASSERT_TRUE(t.WaitFor("needs a terminal of at least 80 x 24")) << t.Screen();
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
                  demo.tree.root().string() + "' ./Korvex/Start/Start_Config " + ShellArguments() +
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
                                      ShellArguments() + " </dev/null 2>&1; echo \"[exit $?]\""});
  EXPECT_NE(out.find("standard input is no terminal"), std::string::npos) << out;
  EXPECT_NE(out.find("KORVEX_SCRIPT"), std::string::npos) << out;
  EXPECT_NE(out.find("[exit 1]"), std::string::npos) << out;
}

}  // namespace
