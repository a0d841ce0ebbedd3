#include "runtime/language.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/failure.h"
#include "controls/toolkit.h"
#include "platform/msgbox.h"
#include "platform/process.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

// The program C:\Korvex\Start\Start_Config on a temporary drive C:, and a small
// window shaped like the step's own.
class LanguageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree_.MakeFolder("Korvex/Start");
    testsupport::SetProcess("/EXTERNAL=KVXCFG");
    label_ = &Add(ui::Kind::Label, "LabelSupplier", -1, "NoTTT", 11, "Lieferant:");
    path0_ = &Add(ui::Kind::CommandButton, "CommandPath", 0, "Korvex.mdb", 21, "Korvex.mdb");
    path1_ = &Add(ui::Kind::CommandButton, "CommandPath", 1, "Alarmdefinition.mdb", 21,
                  "Alarmdefinition.mdb");
    text_ = &Add(ui::Kind::TextBox, "TextSpeedFactor", -1, "M3", 22, "");
    combo_ = &Add(ui::Kind::ComboBox, "ComboSupplier", -1, "", 11, "");
  }
  ui::Control& Add(ui::Kind kind, const std::string& name, int index, const std::string& tag,
                   int helpId, const std::string& caption) {
    ui::Control& c = window_.Add(kind, name, index);
    c.SetTag(tag);
    c.SetHelpId(helpId);
    if (!caption.empty()) c.SetCaption(caption);
    return c;
  }
  fs::path LanguageFile() const { return tree_.Host("Korvex/Start/Start_Config.ini"); }
  void Put(const std::string& bytes) const { testsupport::WriteFile(LanguageFile(), bytes); }
  std::string Get() const { return testsupport::ReadFile(LanguageFile()); }
  // The captions and tooltips of the five controls, in creation order.
  std::vector<std::string> Texts() const {
    return {label_->Caption(),     path0_->Caption(),    path0_->ToolTipText(), path1_->Caption(),
            path1_->ToolTipText(), text_->ToolTipText(), combo_->ToolTipText()};
  }

  testsupport::RuntimeState state_;
  testsupport::TempTree tree_;
  testsupport::BoxRecorder boxes_;
  ui::Window window_{"frm_Start_Config_Exe"};
  ui::Control* label_ = nullptr;
  ui::Control* path0_ = nullptr;
  ui::Control* path1_ = nullptr;
  ui::Control* text_ = nullptr;
  ui::Control* combo_ = nullptr;
};

const std::vector<std::string> kBuiltIn = {"Lieferant:", "Korvex.mdb", "", "Alarmdefinition.mdb",
                                           "",           "",           ""};

TEST_F(LanguageTest, LanguageFileLiesBesideTheProgram) {
  EXPECT_EQ(rt::GetLanguageFilePath(), "C:\\Korvex\\Start\\Start_Config.ini");
  testsupport::SetProcess("", "C:\\");
  EXPECT_EQ(rt::GetLanguageFilePath(), "C:\\Start_Config.ini");
}

TEST_F(LanguageTest, FirstStartSeedsTheBuiltInLanguage) {
  ASSERT_EQ(ui::FirstForm(), &window_);
  rt::LoadToolTipTexts();
  EXPECT_EQ(Get(),
            "[Language]\r\nLanguage=1031\r\n"
            "[1031]\r\n"
            "Caption_LabelSupplier_NoTTT=Lieferant:\r\n"
            "Help11=0\r\n"
            "Caption_CommandPath0_Korvex.mdb=Korvex.mdb\r\n"
            "Help21=0\r\n"
            "TTT_CommandPath0_Korvex.mdb=0\r\n"
            "Caption_CommandPath1_Alarmdefinition.mdb=Alarmdefinition.mdb\r\n"
            "TTT_CommandPath1_Alarmdefinition.mdb=0\r\n"
            "TTT_TextSpeedFactor_M3=0\r\n"
            "TTT_ComboSupplier_=0\r\n");
  EXPECT_EQ(Texts(), kBuiltIn);
  EXPECT_EQ(rt::HelpTexts[11], "");
  EXPECT_EQ(rt::HelpTexts[21], "0");  // the second path button reads what the first seeded

  // The next start finds every key: the file stays as it is, and the untranslated
  // help texts are the placeholder.
  const std::string seeded = Get();
  rt::LoadToolTipTexts();
  EXPECT_EQ(Get(), seeded);
  EXPECT_EQ(Texts(), kBuiltIn);
  EXPECT_EQ(rt::HelpTexts[11], "0");
  EXPECT_EQ(rt::GetLanguage(), "1031");
  EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_F(LanguageTest, OtherLanguageSeedsPlaceholdersOnly) {
  Put("[Language]\r\nLanguage=1033\r\n[1033]\r\n[1031]\r\nCaption_LabelSupplier_NoTTT=0\r\n");
  rt::LoadToolTipTexts();
  EXPECT_EQ(Get(),
            "[Language]\r\nLanguage=1033\r\n"
            "[1033]\r\n"
            "Caption_LabelSupplier_NoTTT=0\r\n"
            "Help11=0\r\n"
            "Caption_CommandPath0_Korvex.mdb=0\r\n"
            "Help21=0\r\n"
            "TTT_CommandPath0_Korvex.mdb=0\r\n"
            "Caption_CommandPath1_Alarmdefinition.mdb=0\r\n"
            "TTT_CommandPath1_Alarmdefinition.mdb=0\r\n"
            "TTT_TextSpeedFactor_M3=0\r\n"
            "TTT_ComboSupplier_=0\r\n"
            "[1031]\r\nCaption_LabelSupplier_NoTTT=0\r\n");
  EXPECT_EQ(Texts(), kBuiltIn);

  // In the built-in language a "0" caption is replaced by the built-in one.
  Put("[Language]\r\nLanguage=1031\r\n[1031]\r\nCaption_LabelSupplier_NoTTT=0\r\n");
  rt::LoadToolTipTexts();
  EXPECT_NE(Get().find("Caption_LabelSupplier_NoTTT=Lieferant:\r\n"), std::string::npos);
  EXPECT_EQ(label_->Caption(), "Lieferant:");
  EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_F(LanguageTest, TranslatedTextsReplaceCaptionsTooltipsAndHelp) {
  const std::string file =
      "[Language]\r\nLanguage=en\r\n[EN]\r\n"
      "Caption_LabelSupplier_NoTTT=Supplier:\r\n"
      "Help11=Line one<CRLF>Line two\r\n"
      "Help21=Database paths\r\n"
      "Caption_CommandPath0_Korvex.mdb=0\r\n"
      "TTT_CommandPath0_Korvex.mdb=\r\n"
      "Caption_CommandPath1_Alarmdefinition.mdb=Alarms\r\n"
      "TTT_CommandPath1_Alarmdefinition.mdb=Choose the alarm database\r\n"
      "TTT_TextSpeedFactor_M3=Speed of machine 3\r\n"
      "TTT_ComboSupplier_=Who built the plant\r\n"
      "TTT_LabelSupplier_NoTTT=never used\r\n";
  Put(file);
  rt::LoadToolTipTexts();
  EXPECT_EQ(Texts(), (std::vector<std::string>{"Supplier:", "Korvex.mdb", "", "Alarms",
                                               "Choose the alarm database", "Speed of machine 3",
                                               "Who built the plant"}));
  EXPECT_EQ(label_->ToolTipText(), "");
  EXPECT_EQ(rt::HelpTexts[11], "Line one<CRLF>Line two");
  EXPECT_EQ(rt::HelpTexts[21], "Database paths");
  // Only the empty value is written back, as the placeholder.
  std::string expected = file;
  const std::string empty = "TTT_CommandPath0_Korvex.mdb=\r\n";
  expected.replace(expected.find(empty), empty.size(), "TTT_CommandPath0_Korvex.mdb=0\r\n");
  EXPECT_EQ(Get(), expected);
}

TEST_F(LanguageTest, FailuresSkipTheRestOfOneControlOnly) {
  ui::Control& bad = Add(ui::Kind::CommandButton, "CommandBad", -1, "", 150, "Bad");
  window_.Add(ui::Kind::CommonDialog, "DirCtl");  // has a tag, but no tooltip
  ui::Control& frame = Add(ui::Kind::Frame, "FramePathSelect", -1, "", 21, "Pfade");
  ui::Control& hidden = Add(ui::Kind::Label, "LabelHidden", -1, "xxNoTttxx", 0, "Versteckt");
  ui::Control& check = Add(ui::Kind::CheckBox, "CheckTimeChanging", -1, "", 14, "Zeit");
  Put("[Language]\r\nLanguage=1031\r\n[1031]\r\nTTT_DirCtl_=Tip\r\nTTT_FramePathSelect_=Frame "
      "tip\r\n");
  rt::LoadToolTipTexts();
  const std::string after = Get();
  EXPECT_NE(after.find("Caption_CommandBad_=Bad\r\n"), std::string::npos);
  EXPECT_EQ(after.find("Help150"), std::string::npos);
  EXPECT_EQ(after.find("TTT_CommandBad_"), std::string::npos);
  EXPECT_EQ(after.find("Caption_FramePathSelect"), std::string::npos);  // frames: tooltip only
  EXPECT_EQ(frame.ToolTipText(), "Frame tip");
  EXPECT_EQ(frame.Caption(), "Pfade");
  EXPECT_NE(after.find("Caption_LabelHidden_xxNoTttxx=Versteckt\r\n"), std::string::npos);
  EXPECT_EQ(after.find("TTT_LabelHidden"), std::string::npos);
  EXPECT_EQ(hidden.ToolTipText(), "");
  EXPECT_NE(after.find("Caption_CheckTimeChanging_=Zeit\r\nHelp14=0\r\n"), std::string::npos);
  EXPECT_NE(after.find("TTT_CheckTimeChanging_=0\r\n"), std::string::npos);
  EXPECT_EQ(check.Caption(), "Zeit");
  EXPECT_EQ(bad.Caption(), "Bad");
  EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_F(LanguageTest, ReadOnlyLanguageFileChangesNothing) {
  const std::string file = "[Language]\r\n";
  Put(file);
  fs::permissions(LanguageFile(),
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  rt::LoadToolTipTexts();
  EXPECT_EQ(Get(), file);
  EXPECT_EQ(Texts(), kBuiltIn);
  EXPECT_TRUE(boxes_.boxes.empty());
}

TEST(LanguageNoWindowTest, WithoutAWindowTheFailureGoesToTheCaller) {
  if (ui::FirstForm() != nullptr) GTEST_SKIP() << "another window is loaded";
  testsupport::TempTree tree;
  testsupport::SetProcess("", "C:\\");
  EXPECT_THROW(rt::LoadToolTipTexts(), platform::Failure);
}

}  // namespace
