#include "runtime/help_mode.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "e2e_support.h"
#include "form/start_config_form.h"
#include "platform/msgbox.h"
#include "runtime/language.h"
#include "test_support.h"

namespace {

using testsupport::Bitmap;

class HelpWiring : public testsupport::FormTest {
 protected:
  HelpWiring() {
    for (int id = 1; id <= 100; ++id) rt::HelpTexts[id] = "help " + std::to_string(id);
  }

  // The texts of the boxes shown while f runs.
  std::vector<std::string> Shown(const std::function<void()>& f) {
    const size_t before = boxes_.boxes.size();
    f();
    std::vector<std::string> texts;
    for (size_t k = before; k < boxes_.boxes.size(); ++k) {
      EXPECT_EQ(boxes_.boxes[k].title, "Info:");
      texts.push_back(boxes_.boxes[k].text);
    }
    return texts;
  }
};

TEST_F(HelpWiring, EveryHelpOnlyHandlerShowsItsControlsTextOnlyInHelpMode) {
  frm_Start_Config_Exe& f = *form_;
  tree_.Write("Korvex/Start/Start_Logo.bmp", Bitmap());
  const std::vector<std::pair<std::function<void()>, std::string>> handlers = {
      {[&] { f.ComboSupplier_GotFocus(); }, "help 11"},
      {[&] { f.ComboDateFormat_Click(); }, "help 12"},
      {[&] { f.ComboDateFormat_GotFocus(); }, "help 12"},
      {[&] { f.ComboSteuerung_Click(); }, "help 13"},
      {[&] { f.ComboSteuerung_GotFocus(); }, "help 13"},
      {[&] { f.LabelSupplier_Click(); }, "help 11"},
      {[&] { f.LabelDateFormat_Click(); }, "help 12"},
      {[&] { f.LabelSteuerung_Click(); }, "help 13"},
      {[&] { f.LabelSpeedFactorHeader_Click(); }, "help 22"},
      {[&] { f.LabelSAR1_Click(); }, "help 23"},
      {[&] { f.FrameSpeedFactor_Click(); }, "help 22"},
      {[&] { f.FramePathSelect_Click(); }, "help 23"},
      {[&] { f.LabelSpeedFactor_Click(3); }, "help 22"},
      {[&] { f.TextSpeedFactor_Click(5); }, "help 22"},
      {[&] { f.TextPath_Click(0); }, "help 21"},
      {[&] { f.DirSAR_Click(); }, "help 23"},
      {[&] { f.DriveSAR_GotFocus(); }, "help 23"},
      {[&] { f.ListSAR_MouseDown(); }, "help 23"},
      {[&] { f.CommandPath_Click(2); }, "help 21"},
      {[&] { f.ComboSupplier_Click(); }, "help 11"},
  };
  for (const auto& [handler, text] : handlers) EXPECT_TRUE(Shown(handler).empty()) << text;
  f.CommandQuest_Click();
  EXPECT_TRUE(rt::HelpMode);
  EXPECT_EQ(f.CommandQuest->BackColor(), ui::Rgb(0, 255, 0));
  for (const auto& [handler, text] : handlers)
    EXPECT_EQ(Shown(handler), std::vector<std::string>{text});
  f.CommandQuest_Click();
  EXPECT_FALSE(rt::HelpMode);
  EXPECT_EQ(f.CommandQuest->BackColor(), ui::kLightGrey);
}

TEST_F(HelpWiring, TheCheckBoxKeepsItsMarkAndNoClickIsSwallowed) {
  ui::Control& box = *form_->CheckTimeChanging;
  box.SetValue(1);  // outside help mode the box just changes
  EXPECT_TRUE(boxes_.boxes.empty());
  form_->CommandQuest_Click();

  for (int round = 0; round < 2; ++round) {
    // A user's click changes the state first; the handler puts it back.
    EXPECT_EQ(Shown([&] { box.SetValue(0); }), std::vector<std::string>{"help 14"});
    EXPECT_EQ(box.Value(), 1);
    EXPECT_FALSE(rt::SkipNextValueHelp);
  }
  box.SetValue(2);  // grayed: shows the help, goes back to unchecked
  EXPECT_EQ(box.Value(), 0);

  // A toolkit that raises no click for a state set by code.
  box.on.click = nullptr;
  EXPECT_EQ(Shown([&] { form_->CheckTimeChanging_Click(); }), std::vector<std::string>{"help 14"});
  EXPECT_EQ(box.Value(), 1);
  EXPECT_FALSE(rt::SkipNextValueHelp);
  EXPECT_EQ(Shown([&] { form_->CheckTimeChanging_Click(); }), std::vector<std::string>{"help 14"});
}

TEST_F(HelpWiring, ChangesFromCodeDoTheirWorkAndOnlyTheUsersClicksShowHelp) {
  frm_Start_Config_Exe& f = *form_;
  tree_.Write("Korvex/Start/Start_Logo.bmp", Bitmap());
  tree_.Write("Korvex/Start/Start_AcmeLogo.bmp", Bitmap());
  for (const char* s : {"**Tarvel & Co**", "Acme"}) f.ComboSupplier->AddItem(s);
  f.CheckTimeChanging->SetValue(1);
  f.CommandQuest_Click();
  {
    const rt::ChangesFromCode outer;
    {
      const rt::ChangesFromCode inner;
      EXPECT_FALSE(rt::DivertsToHelp());
    }
    EXPECT_FALSE(rt::DivertsToHelp());  // scopes nest
    EXPECT_TRUE(Shown([&] {
                  f.ComboSupplier->SetListIndex(1);
                  f.CheckTimeChanging->SetValue(0);
                  f.LabelSupplier_Click();
                }).empty());
    EXPECT_EQ(f.ImageLogo->GetPicture().source, "C:\\Korvex\\Start\\Start_AcmeLogo.bmp");
    EXPECT_EQ(f.CheckTimeChanging->Value(), 0);
    EXPECT_FALSE(rt::SkipNextValueHelp);
  }
  EXPECT_TRUE(rt::DivertsToHelp());
  // The user's own clicks are diverted as before.
  EXPECT_EQ(Shown([&] { f.ComboSupplier->SetListIndex(0); }), std::vector<std::string>{"help 11"});
  EXPECT_EQ(f.ImageLogo->GetPicture().source, "C:\\Korvex\\Start\\Start_AcmeLogo.bmp");
  EXPECT_EQ(Shown([&] { f.CheckTimeChanging->SetValue(1); }), std::vector<std::string>{"help 14"});
  EXPECT_EQ(f.CheckTimeChanging->Value(), 0);
  f.CommandQuest_Click();
  EXPECT_FALSE(rt::DivertsToHelp());
}

TEST_F(HelpWiring, LongTextsAndManyLineBreaks) {
  rt::HelpTexts[23] = std::string(10000, 'h');
  std::string marked;
  for (int k = 0; k < 100; ++k)
    marked += "line" + std::to_string(k) + (k % 2 ? "<CRLF>" : "<crlf>");
  rt::HelpTexts[22] = marked;
  form_->CommandQuest_Click();
  EXPECT_EQ(Shown([&] { form_->DirSAR_Click(); }), std::vector<std::string>{rt::HelpTexts[23]});
  const std::vector<std::string> shown = Shown([&] { form_->LabelSpeedFactor_Click(1); });
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].find('<'), std::string::npos);
  EXPECT_EQ(testsupport::Count(shown[0], "\r\n"), 100u);
  EXPECT_EQ(shown[0].substr(0, 7), "line0\r\n");
}

}  // namespace
