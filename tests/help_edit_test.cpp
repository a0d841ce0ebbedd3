#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/failure.h"
#include "controls/toolkit.h"
#include "platform/msgbox.h"
#include "platform/process.h"
#include "runtime/command_line.h"
#include "runtime/edit_info.h"
#include "runtime/help_mode.h"
#include "runtime/language.h"
#include "test_support.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

class HelpModeTest : public ::testing::Test {
 protected:
  ui::Control& Add(ui::Kind kind, const std::string& name, int helpId) {
    ui::Control& c = window_.Add(kind, name);
    c.SetHelpId(helpId);
    return c;
  }

  testsupport::RuntimeState state_;
  testsupport::BoxRecorder boxes_;
  ui::Window window_{"frm_Start_Config_Exe"};
};

TEST_F(HelpModeTest, TheHelpButtonTogglesTheModeAndItsColour) {
  ui::Control& quest = Add(ui::Kind::CommandButton, "CommandQuest", 0);
  ui::Control& ok = Add(ui::Kind::CommandButton, "CommandOK", 1);
  rt::HelpTexts[1] = "Confirms the step";

  rt::ShowHelp(ok);
  EXPECT_TRUE(boxes_.boxes.empty());

  rt::ToggleHelpMode(quest);
  EXPECT_TRUE(rt::HelpMode);
  EXPECT_EQ(quest.BackColor(), ui::Rgb(0, 255, 0));
  rt::ShowHelp(ok);
  ASSERT_EQ(boxes_.boxes.size(), 1u);
  EXPECT_EQ(boxes_.boxes[0].text, "Confirms the step");
  EXPECT_EQ(boxes_.boxes[0].title, "Info:");
  EXPECT_EQ(boxes_.boxes[0].buttons, platform::Buttons::OK);
  EXPECT_EQ(boxes_.boxes[0].icon, platform::Icon::Information);

  rt::ToggleHelpMode(quest);
  EXPECT_FALSE(rt::HelpMode);
  EXPECT_EQ(quest.BackColor(), ui::kLightGrey);
  rt::ShowHelp(ok);
  EXPECT_EQ(boxes_.boxes.size(), 1u);
}

TEST_F(HelpModeTest, HelpTextsShowTheirLineBreaksAndOddIdsAnEmptyBox) {
  rt::HelpMode = true;
  rt::HelpTexts[11] = "Line one<CRLF>Line two<crlf>three<CrLf>";
  rt::HelpTexts[12] = "0";
  rt::HelpTexts[100] = "last";
  rt::ShowHelp(Add(ui::Kind::Label, "LabelSupplier", 11));
  rt::ShowHelp(Add(ui::Kind::Label, "LabelDateFormat", 12));
  rt::ShowHelp(Add(ui::Kind::Label, "LabelSteuerung", 100));
  rt::ShowHelp(Add(ui::Kind::Label, "LabelNone", 0));
  rt::ShowHelp(Add(ui::Kind::Label, "LabelHigh", 101));
  rt::ShowHelp(Add(ui::Kind::Label, "LabelNegative", -4));
  rt::ShowHelp(window_.Add(ui::Kind::CommonDialog, "DirCtl"));  // has no help id at all
  EXPECT_EQ(boxes_.Texts(), (std::vector<std::string>{"Line one\r\nLine two\r\nthree\r\n", "0",
                                                      "last", "", "", "", ""}));

  // A front end that fails to show the box does not pass the failure on.
  platform::SetMessageBoxHandler([](const platform::MessageBox&) -> platform::Answer {
    platform::Raise(platform::kPermissionDenied);
  });
  EXPECT_NO_THROW(rt::ShowHelp(*window_.Find("LabelSupplier")));
}

TEST(ExpandLineBreaksTest, OnlyTheWholeMarkerInAnyCaseBreaksTheLine) {
  EXPECT_EQ(rt::ExpandLineBreaks(""), "");
  EXPECT_EQ(rt::ExpandLineBreaks("no marker"), "no marker");
  EXPECT_EQ(rt::ExpandLineBreaks("<CRLF><crlf>"), "\r\n\r\n");
  EXPECT_EQ(rt::ExpandLineBreaks("<<CRLF>>"), "<\r\n>");
  EXPECT_EQ(rt::ExpandLineBreaks("a<CRLF b<CR LF>c<crl"), "a<CRLF b<CR LF>c<crl");
  EXPECT_EQ(rt::ExpandLineBreaks("\xC3\xA4<cRlF>\xC3\xB6"), "\xC3\xA4\r\n\xC3\xB6");
}

TEST_F(HelpModeTest, ValueHelpKeepsTheCheckMarkAndShowsTheText) {
  ui::Control& check = Add(ui::Kind::CheckBox, "CheckTimeChanging", 14);
  check.on.click = [&] { rt::ShowValueHelp(check); };
  rt::HelpTexts[14] = "Time setting";

  check.SetValue(1);  // outside help mode a click just changes the box
  EXPECT_EQ(check.Value(), 1);
  EXPECT_TRUE(boxes_.boxes.empty());

  rt::HelpMode = true;
  for (int click = 0; click < 2; ++click) {
    check.SetValue(0);  // the user's click; the handler undoes it
    EXPECT_EQ(check.Value(), 1);
    EXPECT_FALSE(rt::SkipNextValueHelp);
  }
  check.SetValue(2);
  EXPECT_EQ(check.Value(), 0);
  EXPECT_EQ(boxes_.Texts(),
            (std::vector<std::string>{"Time setting", "Time setting", "Time setting"}));
}

TEST_F(HelpModeTest, ValueHelpWithoutARaisedClickDoesNotSwallowTheNextOne) {
  ui::Control& check = Add(ui::Kind::CheckBox, "CheckTimeChanging", 14);  // no click handler
  rt::HelpTexts[14] = "Time setting";
  rt::HelpMode = true;
  rt::ShowValueHelp(check);
  EXPECT_EQ(check.Value(), 1);
  EXPECT_FALSE(rt::SkipNextValueHelp);
  rt::ShowValueHelp(check);
  EXPECT_EQ(check.Value(), 0);
  EXPECT_EQ(boxes_.boxes.size(), 2u);

  // A control without a value fails to the caller and leaves the flag clear.
  EXPECT_THROW(rt::ShowValueHelp(Add(ui::Kind::Label, "LabelX", 14)), platform::Failure);
  EXPECT_FALSE(rt::SkipNextValueHelp);
  EXPECT_EQ(boxes_.boxes.size(), 2u);
}

TEST(EditorCodeTest, EveryCharacterButDashAndUnderscoreBecomesHexOfItsCodePlusFive) {
  EXPECT_EQ(rt::EditorCode("USER=abc"), "666768");
  EXPECT_EQ(rt::EditorCode("USER=a-b_c"), "666768");
  EXPECT_EQ(rt::EditorCode("abc"), "666768");  // no "=": the whole entry
  EXPECT_EQ(rt::EditorCode("A=b=c"), "674268");
  EXPECT_EQ(rt::EditorCode("USER="), "");
  EXPECT_EQ(rt::EditorCode("USER=-_-__"), "");
  EXPECT_EQ(rt::EditorCode(""), "");
  EXPECT_EQ(rt::EditorCode("X=\x01 "), "625");
  // Windows-1252 codes: u-circumflex 251, y-diaeresis 255, euro sign 128; a
  // character outside the code page counts as "?".
  EXPECT_EQ(rt::EditorCode("X=\xC3\xBB\xC3\xBF"), "100104");
  EXPECT_EQ(rt::EditorCode("X=\xE2\x82\xAC"), "85");
  EXPECT_EQ(rt::EditorCode("X=\xD0\x96"), "44");
}

// The step's CFG file C:\Korvex\Start\Start.cfg on a temporary drive C:.
class EditInfoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree_.Write("Korvex/Start/Start.cfg",
                "[Project]\r\nValidMachines=ALL\r\n[Info]\r\nS_Prog=0.9.1 - Standalone\r\n"
                "[Other]\r\nKeep=1\r\n");
  }
  fs::path Cfg() const { return tree_.Host("Korvex/Start/Start.cfg"); }
  std::string Get() const { return tree_.Read("Korvex/Start/Start.cfg"); }
  // Runs WriteEditInfo with an environment whose first entry is the one given.
  void WriteWithFirstEntry(const std::string& commandLine, std::string first) {
    testsupport::StartAs(commandLine);
    char* entries[] = {first.data(), drives_.data(), nullptr};
    char** saved = environ;
    environ = entries;
    rt::WriteEditInfo();
    environ = saved;
  }
  std::string Expected(const std::string& mode, const std::string& editor) const {
    return "[Project]\r\nValidMachines=ALL\r\n[Info]\r\nS_Prog=" + version_ + " - " + mode +
           "\r\nS_Editor=" + editor + "\r\n[Other]\r\nKeep=1\r\n";
  }

  testsupport::RuntimeState state_;
  testsupport::TempTree tree_;
  std::string drives_ = "KORVEX_DRIVES=C=" + tree_.root().string();
  const std::string version_ = testsupport::ProgramVersionText();
};

TEST_F(EditInfoTest, StampNamesVersionModeAndEditor) {
  WriteWithFirstEntry("/EXTERNAL=KVXCFG", "EDITOR=abc");
  EXPECT_EQ(Get(), Expected("Integrated", "666768"));
  EXPECT_NE(version_.find('.'), std::string::npos);

  // A second stamp replaces the first.
  WriteWithFirstEntry("", "EDITOR=a-b_c");
  EXPECT_EQ(Get(), Expected("Standalone", "666768"));
  WriteWithFirstEntry("/EXTERNAL=SILENT", "EDITOR=");
  EXPECT_EQ(Get(), Expected("Standalone", ""));
  WriteWithFirstEntry("/EXTERNAL=KVXCFG", "EDITOR=_-");
  EXPECT_EQ(Get(), Expected("Integrated", ""));
}

TEST_F(EditInfoTest, MissingCfgFileEndsTheProcessBeforeAnyStamp) {
  fs::remove(Cfg());
  testsupport::StartAs("/EXTERNAL=KVXCFG");
  EXPECT_EXIT(rt::WriteEditInfo(), testing::ExitedWithCode(1), "");
  EXPECT_FALSE(fs::exists(Cfg()));
}

}  // namespace
