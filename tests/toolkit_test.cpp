#include "controls/toolkit.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/failure.h"
#include "test_support.h"

namespace fs = std::filesystem;
using ui::Control;
using ui::Kind;
using ui::Window;

namespace {

using testsupport::Bitmap;
using testsupport::FailureOf;

// Drive C: is a temporary tree, drive D: a folder in it.
class ToolkitTest : public testing::Test {
 protected:
  testsupport::TempTree tree_{"D"};
  testsupport::WorkingDirectory cwd_;
};

TEST(Toolkit, PropertiesAKindLacksFailWith438) {
  Window w("frm");
  Control& label = w.Add(Kind::Label, "LabelA");
  Control& image = w.Add(Kind::Image, "ImageA");
  Control& button = w.Add(Kind::CommandButton, "CommandA");
  Control& dialog = w.Add(Kind::CommonDialog, "DirCtl");
  Control& text = w.Add(Kind::TextBox, "TextA");
  Control& combo = w.Add(Kind::ComboBox, "ComboA");
  Control& frame = w.Add(Kind::Frame, "FrameA");

  // Present: no failure.
  EXPECT_EQ(FailureOf([&] { label.SetCaption("x"); }), 0);
  EXPECT_EQ(FailureOf([&] { frame.SetCaption("x"); }), 0);
  EXPECT_EQ(FailureOf([&] { frame.SetToolTipText("t"); }), 0);
  EXPECT_EQ(FailureOf([&] { image.SetToolTipText("t"); }), 0);
  EXPECT_EQ(FailureOf([&] { image.SetEnabled(false); }), 0);
  EXPECT_EQ(FailureOf([&] { dialog.SetTag("NoTTT"); }), 0);
  EXPECT_EQ(FailureOf([&] { label.ForeColor(); }), 0);
  EXPECT_EQ(FailureOf([&] { button.SetPicture(ui::Picture{}); }), 0);

  // Absent, on read and on write alike.
  const int k438 = platform::kPropertyNotSupported;
  EXPECT_EQ(FailureOf([&] { text.Caption(); }), k438);
  EXPECT_EQ(FailureOf([&] { combo.SetCaption("x"); }), k438);
  EXPECT_EQ(FailureOf([&] { image.Caption(); }), k438);
  EXPECT_EQ(FailureOf([&] { image.GetFont(); }), k438);
  EXPECT_EQ(FailureOf([&] { image.SetBackColor(ui::kLightGrey); }), k438);
  EXPECT_EQ(FailureOf([&] { button.ForeColor(); }), k438);
  EXPECT_EQ(FailureOf([&] { button.Text(); }), k438);
  EXPECT_EQ(FailureOf([&] { label.GetPicture(); }), k438);
  EXPECT_EQ(FailureOf([&] { label.SetListIndex(0); }), k438);
  EXPECT_EQ(FailureOf([&] { text.Value(); }), k438);
  EXPECT_EQ(FailureOf([&] { dialog.Caption(); }), k438);
  EXPECT_EQ(FailureOf([&] { dialog.ToolTipText(); }), k438);
  EXPECT_EQ(FailureOf([&] { dialog.HelpId(); }), k438);
  EXPECT_EQ(FailureOf([&] { dialog.SetVisible(true); }), k438);
  EXPECT_EQ(FailureOf([&] { text.FileName(); }), k438);
  EXPECT_EQ(FailureOf([&] { text.Path(); }), k438);
  EXPECT_EQ(FailureOf([&] { combo.Drive(); }), k438);

  // A drop-down list's text can only be read.
  combo.AddItem("a");
  combo.SetListIndex(0);
  EXPECT_EQ(combo.Text(), "a");
  EXPECT_EQ(FailureOf([&] { combo.SetText("b"); }), 383);
  EXPECT_EQ(combo.Text(), "a");
}

TEST(Toolkit, DefaultsAndNames) {
  Window w("frm");
  Control& label = w.Add(Kind::Label, "LabelA");
  Control& text = w.Add(Kind::TextBox, "TextPath", 0);
  w.Add(Kind::TextBox, "TextPath", 1);
  Control& check = w.Add(Kind::CheckBox, "CheckA");
  EXPECT_EQ(label.BackColor(), ui::kButtonFace);
  EXPECT_EQ(label.ForeColor(), ui::kButtonText);
  EXPECT_EQ(text.BackColor(), ui::kWindowBackground);
  EXPECT_EQ(text.ForeColor(), ui::kWindowText);
  EXPECT_EQ(check.Value(), 0);
  EXPECT_EQ(text.DisplayName(), "TextPath(0)");
  EXPECT_EQ(label.DisplayName(), "LabelA");
  EXPECT_EQ(text.TypeName(), "TextBox");
  EXPECT_TRUE(w.IsArrayMember(text));
  EXPECT_FALSE(w.IsArrayMember(label));
  EXPECT_EQ(w.Find("TextPath", 1), w.Controls()[2].get());
  EXPECT_EQ(w.Find("TextPath"), nullptr);
  EXPECT_EQ(w.Find("labela"), &label);
  EXPECT_EQ(FailureOf([&] { w.Add(Kind::TextBox, "TextPath", 1); }), 360);
  EXPECT_EQ(w.ControlCount(), 4);

  EXPECT_EQ(ui::ColourName(ui::kLightGrey), "RGB(192,192,192)");
  EXPECT_EQ(ui::ColourName(ui::Rgb(255, 0, 0)), "RGB(255,0,0)");
  EXPECT_EQ(ui::ColourName(ui::kButtonText), "system button text");
  EXPECT_EQ(ui::ColourName(ui::kWindowBackground), "system window background");
}

TEST(Toolkit, WindowsRegisterWhileTheyLive) {
  Window* before = ui::FirstForm();
  {
    auto first = std::make_unique<Window>("a");
    Window second("b");
    EXPECT_EQ(ui::FirstForm(), before != nullptr ? before : first.get());
    first.reset();
    EXPECT_EQ(ui::FirstForm(), before != nullptr ? before : &second);
  }
  EXPECT_EQ(ui::FirstForm(), before);
}

TEST(Toolkit, SettingFromCodeRaisesTheHandlerAtOnceAndOnlyOnChange) {
  Window w("frm");
  Control& text = w.Add(Kind::TextBox, "TextA");
  Control& combo = w.Add(Kind::ComboBox, "ComboA");
  Control& check = w.Add(Kind::CheckBox, "CheckA");
  std::vector<std::string> log;
  text.on.change = [&] { log.push_back("change " + text.Text()); };
  combo.on.click = [&] { log.push_back("click " + combo.Text()); };
  check.on.click = [&] { log.push_back("check " + std::to_string(check.Value())); };

  text.SetText("12");
  log.push_back("after");
  text.SetText("12");
  combo.AddItem("a");
  combo.AddItem("b");
  combo.SetListIndex(1);
  combo.SetListIndex(1);
  check.SetValue(1);
  check.SetValue(1);
  combo.Clear();  // empties the selection without a click
  EXPECT_EQ(combo.ListIndex(), -1);
  EXPECT_EQ(combo.Text(), "");
  EXPECT_EQ(log, (std::vector<std::string>{"change 12", "after", "click b", "check 1"}));

  // A null handler is skipped; the value still changes.
  text.on.change = nullptr;
  text.SetText("x");
  EXPECT_EQ(text.Text(), "x");
}

TEST(Toolkit, ChangeHandlerThatRewritesTheTextRunsNested) {
  Window w("frm");
  Control& box = w.Add(Kind::TextBox, "TextSpeedFactor", 1);
  std::vector<std::string> log;
  box.on.change = [&] {
    std::string t = box.Text();
    log.push_back("enter " + t);
    if (t == "2.7") box.SetText("2");
    if (t == "abc") box.SetText("2.7");
    log.push_back("leave " + t + " sees " + box.Text());
    box.SetSelStart(static_cast<int>(box.Text().size()));
  };
  box.SetText("abc");
  EXPECT_EQ(log, (std::vector<std::string>{"enter abc", "enter 2.7", "enter 2", "leave 2 sees 2",
                                           "leave 2.7 sees 2", "leave abc sees 2"}));
  EXPECT_EQ(box.SelStart(), 1);

  // A handler that never settles is cut off instead of overflowing the stack.
  int calls = 0;
  box.on.change = [&] {
    ++calls;
    box.SetText(std::to_string(calls));
  };
  box.SetText("go");
  EXPECT_EQ(calls, 64);
  // And the guard is released afterwards.
  calls = 1000;
  box.on.change = [&] { ++calls; };
  box.SetText("again");
  EXPECT_EQ(calls, 1001);
}

TEST(Toolkit, CaretAndSelection) {
  Window w("frm");
  Control& box = w.Add(Kind::TextBox, "TextA");
  box.SetText("125");
  box.SetSelStart(1);
  box.SetSelLength(5);
  EXPECT_EQ(box.SelStart(), 1);
  EXPECT_EQ(box.SelLength(), 2);
  box.SetSelStart(99);  // also ends the selection
  EXPECT_EQ(box.SelStart(), 3);
  EXPECT_EQ(box.SelLength(), 0);
  box.SetSelStart(0);
  box.SetSelLength(3);
  box.SetText("7");  // new text: caret at the start, nothing selected
  EXPECT_EQ(box.SelStart(), 0);
  EXPECT_EQ(box.SelLength(), 0);
  box.SetText("äöü");  // positions count characters, not bytes
  box.SetSelStart(10);
  EXPECT_EQ(box.SelStart(), 3);
}

TEST(Toolkit, ListIndexRangeAndItems) {
  Window w("frm");
  Control& list = w.Add(Kind::ListBox, "ListSAR");
  list.AddItem("Program.ini");
  list.AddItem("A.mdb");
  EXPECT_EQ(list.ListCount(), 2);
  EXPECT_EQ(list.List(1), "A.mdb");
  EXPECT_EQ(list.List(2), "");
  EXPECT_EQ(list.List(-1), "");
  EXPECT_EQ(FailureOf([&] { list.SetListIndex(2); }), 380);
  EXPECT_EQ(FailureOf([&] { list.SetListIndex(-2); }), 380);
  EXPECT_EQ(list.ListIndex(), -1);
  list.SetListIndex(0);
  EXPECT_EQ(list.Text(), "Program.ini");
  list.SetListIndex(-1);
  EXPECT_EQ(list.Text(), "");

  Control& check = w.Add(Kind::CheckBox, "CheckA");
  EXPECT_EQ(FailureOf([&] { check.SetValue(3); }), 380);
  EXPECT_EQ(check.Value(), 0);
}

TEST(Toolkit, ContainmentAndUsability) {
  Window w("frm");
  Control& main = w.Add(Kind::Frame, "MainFrame");
  Control& frame = w.Add(Kind::Frame, "FramePathSelect", -1, &main);
  Control& dir = w.Add(Kind::ListBox, "ListSAR", -1, &frame);
  EXPECT_TRUE(dir.Shown());
  EXPECT_TRUE(dir.Usable());
  frame.SetVisible(false);
  EXPECT_TRUE(dir.Visible());
  EXPECT_FALSE(dir.Shown());
  EXPECT_FALSE(dir.Usable());
  frame.SetVisible(true);
  main.SetEnabled(false);
  EXPECT_TRUE(dir.Shown());
  EXPECT_TRUE(dir.Enabled());
  EXPECT_FALSE(dir.Usable());
  main.SetEnabled(true);
  dir.SetEnabled(false);
  EXPECT_FALSE(dir.Usable());
  EXPECT_FALSE(w.Add(Kind::CommonDialog, "DirCtl").Shown());
}

TEST(Toolkit, FocusMovesLostBeforeGot) {
  Window w("frm");
  Control& a = w.Add(Kind::TextBox, "TextSpeedFactor", 1);
  Control& b = w.Add(Kind::TextBox, "TextSpeedFactor", 2);
  std::vector<std::string> log;
  for (Control* c : {&a, &b}) {
    c->on.gotFocus = [&log, c] { log.push_back("got " + c->DisplayName()); };
    c->on.lostFocus = [&log, c] { log.push_back("lost " + c->DisplayName()); };
  }
  w.MoveFocus(&a);
  w.MoveFocus(&a);  // already there: nothing
  w.MoveFocus(&b);
  EXPECT_EQ(w.Focused(), &b);
  w.MoveFocus(nullptr);
  EXPECT_EQ(w.Focused(), nullptr);
  EXPECT_EQ(log, (std::vector<std::string>{"got TextSpeedFactor(1)", "lost TextSpeedFactor(1)",
                                           "got TextSpeedFactor(2)", "lost TextSpeedFactor(2)"}));
}

TEST(Toolkit, FrontEndNotes) {
  Window w("frm");
  std::vector<std::string> notes;
  w.onFrontEndNote = [&](const std::string& n) { notes.push_back(n); };
  w.SetMousePointer(ui::MousePointer::Hourglass);
  EXPECT_EQ(w.GetMousePointer(), ui::MousePointer::Hourglass);
  w.DoEvents();
  w.SetMousePointer(ui::MousePointer::Default);
  EXPECT_EQ(notes, (std::vector<std::string>{"mouse pointer: hourglass", "pending events processed",
                                             "mouse pointer: default"}));
}

TEST_F(ToolkitTest, DriveListFollowsTheMappedDrives) {
  fs::current_path(tree_.Drive('D'));
  Window w("frm");
  Control& drive = w.Add(Kind::DriveListBox, "DriveSAR");
  EXPECT_EQ(drive.DriveList(), (std::vector<std::string>{"c:", "d:"}));
  EXPECT_EQ(drive.Drive(), "d:");
  int changes = 0;
  drive.on.change = [&] { ++changes; };
  drive.SetDrive("D:\\anything");
  EXPECT_EQ(changes, 0);
  drive.SetDrive("C:");
  EXPECT_EQ(drive.Drive(), "c:");
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(FailureOf([&] { drive.SetDrive("e:"); }), 68);
  EXPECT_EQ(FailureOf([&] { drive.SetDrive(""); }), 68);
  EXPECT_EQ(drive.Drive(), "c:");
  // A mapped drive whose folder is gone is as unavailable as an unmapped one.
  cwd_.Restore();
  fs::remove_all(tree_.Drive('D'));
  EXPECT_EQ(FailureOf([&] { drive.SetDrive("d:"); }), 68);
  EXPECT_EQ(changes, 1);
}

TEST_F(ToolkitTest, FolderListPathRules) {
  tree_.MakeFolder("Korvex/Start");
  tree_.MakeFolder("Korvex/.hidden");
  tree_.MakeFolder("Korvex/parameter");
  fs::create_directories(tree_.Drive('D') / "sar");
  fs::current_path(tree_.Host("Korvex"));
  Window w("frm");
  Control& dir = w.Add(Kind::DirListBox, "DirSAR");
  EXPECT_EQ(dir.Path(), "C:\\Korvex");
  EXPECT_EQ(dir.SubFolders(), (std::vector<std::string>{"parameter", "Start"}));

  std::vector<std::string> log;
  dir.on.change = [&] { log.push_back(dir.Path()); };
  dir.SetPath("c:");  // the current drive: its current folder, no change
  EXPECT_TRUE(log.empty());
  dir.SetPath("D:");  // another drive: its root
  dir.SetPath("d:/sar//");
  dir.SetPath("C:\\Korvex\\Start\\");
  dir.SetPath("C:\\korvex\\start");  // same folder: new spelling, no change
  EXPECT_EQ(dir.Path(), "C:\\korvex\\start");
  dir.SetPath("..");  // relative forms start at the current directory
  EXPECT_EQ(log, (std::vector<std::string>{"D:\\", "D:\\sar", "C:\\Korvex\\Start", "C:\\"}));

  // A folder that does not exist keeps the old path and raises no change.
  EXPECT_EQ(FailureOf([&] { dir.SetPath("C:\\Korvex\\Missing"); }), 76);
  EXPECT_EQ(FailureOf([&] { dir.SetPath("Q:\\"); }), 76);
  EXPECT_EQ(FailureOf([&] { dir.SetPath(""); }), 76);
  EXPECT_EQ(dir.Path(), "C:\\");
  EXPECT_EQ(log.size(), 4u);

  // Changing the path from the drive list's handler runs the folder list's own
  // handler before the drive handler goes on.
  Control& drive = w.Add(Kind::DriveListBox, "DriveSAR");
  drive.on.change = [&] {
    dir.SetPath(drive.Drive());
    log.push_back("drive done");
  };
  drive.SetDrive("d:");
  EXPECT_EQ(log.back(), "drive done");
  EXPECT_EQ(log[log.size() - 2], "D:\\");
}

TEST_F(ToolkitTest, LoadPictureChecksTheFile) {
  tree_.Write("Start/Start_Logo.bmp", Bitmap(3, 2));
  ui::Picture logo = ui::LoadPicture("C:\\Start\\start_logo.BMP");
  EXPECT_EQ(logo.source, "C:\\Start\\start_logo.BMP");
  EXPECT_EQ(logo.width, 3);
  EXPECT_EQ(logo.height, 2);

  Window w("frm");
  Control& image = w.Add(Kind::Image, "ImageLogo");
  image.SetPicture(logo);
  EXPECT_EQ(FailureOf([&] { image.SetPicture(ui::LoadPicture("C:\\Start\\Start_ACMELogo.bmp")); }),
            53);
  EXPECT_EQ(FailureOf([&] { ui::LoadPicture("C:\\Missing\\Start_Logo.bmp"); }), 53);
  EXPECT_EQ(FailureOf([&] { ui::LoadPicture("Q:\\Start_Logo.bmp"); }), 53);

  // Not pictures, or pictures cut short.
  std::string good = Bitmap(3, 2);
  std::string wrongSignature = good;
  wrongSignature[0] = 'X';
  std::string badBits = good;
  badBits[28] = 7;
  std::string zeroWidth = good;
  zeroWidth[18] = 0;
  std::string hugeSide = good;
  hugeSide[21] = 0x40;  // width 0x40000003
  tree_.Write("junk.bmp", "this is no picture at all, just some words in a file");
  tree_.Write("short.bmp", good.substr(0, good.size() - 1));
  tree_.Write("head.bmp", good.substr(0, 20));
  tree_.Write("sig.bmp", wrongSignature);
  tree_.Write("bits.bmp", badBits);
  tree_.Write("zero.bmp", zeroWidth);
  tree_.Write("huge.bmp", hugeSide);
  tree_.Write("empty.bmp", "");
  tree_.MakeFolder("folder.bmp");
  for (const char* name :
       {"junk", "short", "head", "sig", "bits", "zero", "huge", "empty", "folder"}) {
    std::string path = std::string("C:\\") + name + ".bmp";
    EXPECT_EQ(FailureOf([&] { image.SetPicture(ui::LoadPicture(path)); }), 481) << name;
  }
  EXPECT_EQ(image.GetPicture().source, "C:\\Start\\start_logo.BMP");

  // A top-down bitmap and a palette bitmap with a core header load as well.
  std::string topDown = good;
  topDown[22] = static_cast<char>(0xFE);
  topDown[23] = topDown[24] = topDown[25] = static_cast<char>(0xFF);  // height -2
  tree_.Write("down.bmp", topDown);
  EXPECT_EQ(ui::LoadPicture("C:\\down.bmp").height, 2);
  std::string core = "BM";
  core += std::string("\x00\x00\x00\x00\x00\x00\x00\x00", 8);                   // size, reserved
  core += std::string("\x20\x00\x00\x00", 4);                                   // data offset 32
  core += std::string("\x0c\x00\x00\x00\x01\x00\x01\x00\x01\x00\x01\x00", 12);  // 1x1, 1 bit
  core += std::string("\x00\x00\x00\xff\xff\xff", 6);                           // two colours
  core += std::string("\x80\x00\x00\x00", 4);                                   // one row
  tree_.Write("core.bmp", core);
  EXPECT_EQ(ui::LoadPicture("C:\\core.bmp").width, 1);

  EXPECT_TRUE(ui::LoadPicture("").Empty());
}

TEST(Toolkit, CommonDialogAsksTheFrontEnd) {
  Window w("frm");
  Control& dlg = w.Add(Kind::CommonDialog, "DirCtl");
  dlg.SetFileName("Korvex.mdb");
  dlg.ShowOpen();  // no front end: as if cancelled
  EXPECT_EQ(dlg.FileName(), "Korvex.mdb");

  std::vector<ui::FileDialogRequest> asked;
  std::optional<std::string> answer = "D:\\sar\\program\\Korvex.mdb";
  w.onFileDialog = [&](const ui::FileDialogRequest& r) {
    asked.push_back(r);
    return answer;
  };
  dlg.SetDialogTitle("Pfad für Korvex.mdb auswählen");
  dlg.SetFilter("Datenbank (*.mdb)|*.mdb");
  dlg.SetInitDir("D:\\sar\\Program");
  dlg.ShowOpen();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].title, "Pfad für Korvex.mdb auswählen");
  EXPECT_EQ(asked[0].filter, "Datenbank (*.mdb)|*.mdb");
  EXPECT_EQ(asked[0].initDir, "D:\\sar\\Program");
  EXPECT_EQ(asked[0].fileName, "Korvex.mdb");
  EXPECT_EQ(dlg.FileName(), "D:\\sar\\program\\Korvex.mdb");

  answer.reset();  // cancel keeps the name
  dlg.ShowOpen();
  EXPECT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[1].fileName, "D:\\sar\\program\\Korvex.mdb");
  EXPECT_EQ(dlg.FileName(), "D:\\sar\\program\\Korvex.mdb");
}

}  // namespace
