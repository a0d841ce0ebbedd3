// How the terminal window explains itself: frames that keep their borders,
// captions with access keys, the hint line of the box or dialog that is open,
// what a disabled OK waits for; and the program's --help and --version.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/terminal/canvas.h"
#include "app/terminal/layout.h"
#include "app/terminal/view.h"
#include "e2e_support.h"
#include "test_support.h"
#include "tmux_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::TempTree;

using namespace tmuxsupport;

using TerminalExplains = TerminalWindow;

// The window model as the step lays it out, for the cells the controls take.
struct Model {
  testsupport::RuntimeState state;
  TempTree tree;
  testsupport::BoxRecorder boxes;
  std::unique_ptr<frm_Start_Config_Exe> form;
  explicit Model(bool load) {
    if (load)
      fs::copy(KORVEX_SOURCE_DIR "/demo/installation", tree.root(), fs::copy_options::recursive);
    testsupport::SetProcess("/EXTERNAL=KVXCFG");
    form = std::make_unique<frm_Start_Config_Exe>();
    if (load) form->Form_Load();
  }
};

// Every shown control inside a bordered frame, with its frame's cells.
std::vector<std::pair<const ui::Control*, tui::CellRect>> FramedControls(const ui::Window& w) {
  std::vector<std::pair<const ui::Control*, tui::CellRect>> framed;
  for (const auto& c : w.Controls())
    if (c->Shown() && c->Container() != nullptr && tui::HasBorder(*c->Container()))
      framed.push_back({c.get(), tui::ControlCells(*c->Container())});
  return framed;
}

// ---------------------------------------------------------------------------
// In process.

// After the start-up and a takeover, every control in a bordered frame lies
// strictly inside it, and the drawn window keeps each frame's four edges.
TEST(TerminalFrames, ControlsStayInsideTheirFramesBorders) {
  Model m(true);
  m.form->DirSAR->SetPath("C:\\SaveRestore\\Copy_2025_Line1");
  ASSERT_TRUE(m.form->CommandOK->Enabled());
  const auto framed = FramedControls(m.form->window);
  ASSERT_GT(framed.size(), 20u);
  for (const auto& [c, f] : framed) {
    const tui::CellRect r = tui::ControlCells(*c);
    EXPECT_GT(r.x, f.x) << c->DisplayName();
    EXPECT_LT(r.x + r.width, f.x + f.width) << c->DisplayName();
    EXPECT_GT(r.y, f.y) << c->DisplayName();
    EXPECT_LT(r.y + r.height, f.y + f.height) << c->DisplayName();
  }
  tui::ViewState view;
  tui::Canvas canvas(99, 38);
  tui::DrawWindow(canvas, m.form->window, view);
  for (const auto& c : m.form->window.Controls()) {
    if (!c->Shown() || !tui::HasBorder(*c)) continue;
    const tui::CellRect f = tui::ControlCells(*c);
    for (int y = f.y + 1; y < f.y + f.height - 1; ++y) {
      EXPECT_EQ(canvas.At(f.x, y).ch, U'│') << c->DisplayName() << " row " << y;
      EXPECT_EQ(canvas.At(f.x + f.width - 1, y).ch, U'│') << c->DisplayName() << " row " << y;
    }
    EXPECT_EQ(canvas.At(f.x + f.width - 1, f.y).ch, U'┐') << c->DisplayName();
    EXPECT_EQ(canvas.At(f.x + f.width - 1, f.y + f.height - 1).ch, U'┘') << c->DisplayName();
  }
}

// "&&" shows one "&", a single "&" marks the next character as the access key.
TEST(TerminalCaptions, AmpersandsAsTheToolkitShowsThem) {
  struct Case {
    std::string caption, text;
    int keyAt;
    std::string key;
  };
  const Case cases[] = {
      {"VisiWin && VWStudio (?)", "VisiWin & VWStudio (?)", -1, ""},
      {"&Datumsformat", "Datumsformat", 0, "D"},
      {"Pfad Save and &restore", "Pfad Save and restore", 14, "R"},
      {"a&&b&c&d", "a&bcd", 3, "C"},  // the first mark counts
      {"Gr\xC3\xB6\xC3\x9F&\xC3\xA4", "Gr\xC3\xB6\xC3\x9F\xC3\xA4", 4, "\xC3\x84"},
      {"Ende&", "Ende", -1, ""},
      {"Lieferant", "Lieferant", -1, ""},
  };
  for (const Case& c : cases) {
    const app::ShownCaption shown = app::CaptionShown(c.caption);
    EXPECT_EQ(shown.text, c.text) << c.caption;
    EXPECT_EQ(shown.keyAt, c.keyAt) << c.caption;
    EXPECT_EQ(shown.key, c.key) << c.caption;
  }
  tui::Canvas canvas(20, 1);
  EXPECT_EQ(tui::PutCaption(canvas, 0, 0, "Gr\xC3\xB6\xC3\x9F&\xC3\xA4 &&", tui::Style{}), 7);
  EXPECT_EQ(canvas.RowText(0).substr(0, 10), "Gr\xC3\xB6\xC3\x9F\xC3\xA4 &");
  for (int x = 0; x < 7; ++x) EXPECT_EQ(canvas.At(x, 0).style.underline, x == 4) << x;
}

// The demo's language file: a German and an English text for each help id,
// each short enough to be read whole; what it lacks is still seeded.
TEST(TerminalDemoTexts, EveryHelpIdIsExplainedInBothLanguages) {
  Model m(true);
  const std::string file = m.tree.Read("Korvex/Start/Start_Config.ini");
  for (const char* section : {"[1031]", "[1033]"}) {
    const size_t from = file.find(section);
    ASSERT_NE(from, std::string::npos) << section;
    const size_t to = file.find("\r\n[", from);
    const std::string block = file.substr(from, to == std::string::npos ? to : to - from);
    for (int id : {1, 2, 11, 12, 13, 14, 21, 22, 23}) {
      const std::string key = "\r\nHelp" + std::to_string(id) + "=";
      const size_t at = block.find(key);
      ASSERT_NE(at, std::string::npos) << section << key;
      const std::string text =
          block.substr(at + key.size(), block.find('\r', at + 2) - at - key.size());
      EXPECT_GT(text.size(), 40u) << section << key;
      EXPECT_LE(text.size(), 254u) << section << key;
    }
  }
  EXPECT_NE(rt::HelpTexts[23].find("Save & Restore"), std::string::npos) << rt::HelpTexts[23];
  EXPECT_NE(rt::HelpTexts[14].find("Uhrzeit"), std::string::npos) << rt::HelpTexts[14];
  EXPECT_NE(file.find("\r\nCaption_LabelSupplier_NoTTT=&Lieferant\r\n"), std::string::npos);
  EXPECT_NE(file.find("\r\nTTT_ComboSupplier_=0\r\n"), std::string::npos);
}

// ---------------------------------------------------------------------------
// The executable.

// --help and --version alone answer on standard output with status 0 and touch
// no file; with anything beside them the command line keeps its meaning.
TEST(CommandLineManners, HelpAndVersionAnswerWithoutTouchingAFile) {
  TempTree tree;
  testsupport::Installation korvex(tree);
  korvex.Prepare({"Filler"});
  const auto before = Files(tree.root());

  const auto help = korvex.Run("--help", "");
  EXPECT_EQ(help.status, 0) << help.errors;
  EXPECT_EQ(help.errors, "");
  for (const char* part : {"/EXTERNAL=KVXCFG", "/LOGFILE=", "/SOURCEPATH=", "KORVEX_DRIVES",
                           "KORVEX_SCRIPT", "KORVEX_FRONTEND", "128+n"})
    EXPECT_NE(help.transcript.find(part), std::string::npos) << part << "\n" << help.transcript;
  const auto version = korvex.Run("--version", "");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.transcript, "Start_Config " + testsupport::ProgramVersionText() + "\n");
  EXPECT_EQ(Files(tree.root()), before);

  // Beside an option --help is no question: the step starts as usual.
  const auto started = korvex.Run("--help /EXTERNAL=KVXCFG", "dump\n");
  EXPECT_EQ(started.status, 3) << started.transcript << started.errors;
  EXPECT_EQ(started.transcript.find("Usage:"), std::string::npos);
  EXPECT_NE(started.transcript.find("CommandOK CommandButton"), std::string::npos);
}

// ---------------------------------------------------------------------------
// On a real terminal.

// The hint line belongs to what has the focus: the box's keys inside "Cancel?",
// the dialog's inside the file dialog, the window's again after; a click on the
// disabled OK says what OK waits for.
TEST_F(TerminalExplains, HintLineNamesTheKeysOfWhatHasTheFocus) {
  DemoTree demo;
  Terminal t(demo.tree, 100, 38);
  ASSERT_TRUE(t.WaitFor("F1 help mode")) << t.Screen();
  auto hintLine = [&] {
    const std::vector<std::u32string> rows = t.Rows();
    std::string line;
    for (char32_t ch : rows.at(37)) line += tui::EncodeUtf8(ch);
    return line;
  };

  t.Keys({"Escape"});
  ASSERT_TRUE(t.WaitFor("Cancel configuration?")) << t.Screen();
  ASSERT_TRUE(t.WaitFor("Y Yes   N No")) << t.Screen();
  EXPECT_NE(hintLine().find("Y Yes   N No"), std::string::npos) << hintLine();
  EXPECT_EQ(hintLine().find("F1 help mode"), std::string::npos) << hintLine();
  t.Keys({"Enter"});  // No: the window's keys come back
  ASSERT_TRUE(t.WaitFor("Cancel configuration?", false)) << t.Screen();
  ASSERT_TRUE(t.WaitFor("F1 help mode")) << t.Screen();

  t.Keys({"Tab", "Tab", "Tab", "Tab", "Enter"});  // Korvex.mdb's file dialog
  ASSERT_TRUE(t.WaitFor("Look in:")) << t.Screen();
  EXPECT_NE(hintLine().find("type a file name"), std::string::npos) << hintLine();
  t.Keys({"Tab", "Tab"});  // the folder list: its heading shows the focus
  ASSERT_TRUE(t.WaitFor("Enter/Space open the folder")) << t.Screen();
  EXPECT_NE(t.Screen().find("▸ Folders"), std::string::npos) << t.Screen();
  EXPECT_NE(hintLine().find("Esc cancel"), std::string::npos) << hintLine();
  t.Keys({"Escape"});
  ASSERT_TRUE(t.WaitFor("Look in:", false)) << t.Screen();
  ASSERT_TRUE(t.WaitFor("F1 help mode")) << t.Screen();

  Model m(false);
  const tui::CellRect ok = tui::ControlCells(*m.form->CommandOK);
  const std::string at = std::to_string(ok.x + 2) + ";" + std::to_string(ok.y + 2);
  t.Bytes("\x1b[<0;" + at + "M\x1b[<0;" + at + "m");
  ASSERT_TRUE(t.WaitFor("OK waits for a Save & Restore copy")) << t.Screen();
  EXPECT_NE(hintLine().find("\"Pfad Save and Restore\""), std::string::npos) << hintLine();
  // A VWStudio copy is taken over, but OK waits for the project database.
  t.Keys({"M-p", "Tab", "Down", "Down", "Enter"});  // the label's access key, then the folders
  ASSERT_TRUE(t.WaitFor("Copy_VWStudio")) << t.Screen();
  t.Keys({"Down", "Down", "Down", "Enter"});
  EXPECT_TRUE(t.WaitFor("Copy taken over; OK waits for a copy with its own Korvex.mdb"))
      << t.Screen();
}

// On the drawn window every frame keeps its left and right border, also with
// a copy taken over and its paths in the database rows.
TEST_F(TerminalExplains, DrawnFramesKeepTheirBorders) {
  DemoTree demo;
  Terminal t(demo.tree, 100, 38);
  ASSERT_TRUE(t.WaitFor("Start - Standardkonfiguration")) << t.Screen();
  t.Keys({"BTab", "BTab", "BTab", "BTab", "Down", "Down", "Enter"});  // C:\SaveRestore
  ASSERT_TRUE(t.WaitFor("Copy_2025_Line1")) << t.Screen();
  t.Keys({"Down", "Down", "Enter"});
  ASSERT_TRUE(t.WaitFor("Copy_2025_Line1\\program\\korvex.mdb")) << t.Screen();

  Model m(false);
  const std::vector<std::u32string> rows = t.Rows();
  int checked = 0;
  for (const ui::Control* f :
       {m.form->Frame1, m.form->FrameCopyPath, m.form->FramePathSelect, m.form->FrameSpeedFactor}) {
    const tui::CellRect r = tui::ControlCells(*f);
    for (int y = r.y + 1; y < r.y + r.height - 1; ++y, ++checked) {
      const std::u32string& row = rows.at(y);
      ASSERT_GT(static_cast<int>(row.size()), r.x + r.width - 1) << f->DisplayName() << y;
      EXPECT_EQ(row[r.x], U'│') << f->DisplayName() << " row " << y << "\n" << t.Screen();
      EXPECT_EQ(row[r.x + r.width - 1], U'│') << f->DisplayName() << " row " << y << "\n"
                                              << t.Screen();
    }
  }
  EXPECT_GT(checked, 25);
}

// Captions from the language file with "&": the marked letter is underlined,
// "&&" is one "&", and Alt with the letter clicks a check box or hands a
// label's focus on to the field it stands before.
TEST_F(TerminalExplains, AltAndTheMarkedLetterActs) {
  DemoTree demo;
  demo.tree.Write("Korvex/Start/Start_Config.ini",
                  "[Language]\r\nLanguage=1031\r\n[1031]\r\n"
                  "Caption_CheckTimeChanging_=&Zeiteinstellung freigeben\r\n"
                  "Caption_LabelSpeedFactorHeader_NoTTT=&Geschwindigkeitsfaktor\r\n"
                  "Caption_LabelSAR1_NoTTT=Pfad Save && Restore\r\n");
  Terminal t(demo.tree, 100, 38);
  ASSERT_TRUE(t.WaitFor("Pfad Save & Restore ")) << t.Screen();
  EXPECT_EQ(t.Screen().find("&Z"), std::string::npos);
  EXPECT_NE(t.Screen(true).find("\x1b[4m"), std::string::npos);  // an underline is drawn
  ASSERT_TRUE(t.WaitFor("[x] Zeiteinstellung freigeben")) << t.Screen();

  t.Keys({"M-z"});
  ASSERT_TRUE(t.WaitFor("[ ] Zeiteinstellung freigeben")) << t.Screen();
  t.Keys({"M-Z"});  // the letter in either case
  ASSERT_TRUE(t.WaitFor("[x] Zeiteinstellung freigeben")) << t.Screen();

  t.Keys({"M-g", "4", "2"});  // into the first speed factor (Filler's)
  ASSERT_TRUE(t.WaitFor("Filler        42")) << t.Screen();
  t.Keys({"M-q"});  // no control has that key: nothing happens
  t.Keys({"7"});
  ASSERT_TRUE(t.WaitFor("Filler        427")) << t.Screen();
}

}  // namespace
