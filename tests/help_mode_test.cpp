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

// ---------------------------------------------------------------------------
// End to end: a tour of every control of the window in help mode.

// The transcript lines of one action: from its "> " line to the next action.
std::string ActionBlock(const std::string& transcript, const std::string& action, size_t& from) {
  const size_t start = transcript.find("> " + action + "\n", from);
  if (start == std::string::npos) return "<no action " + action + ">";
  const size_t end = transcript.find("\n> ", start + 1);
  from = start + 1;
  return transcript.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// The help texts shown in a block, in order.
std::vector<std::string> HelpTexts(const std::string& block) {
  std::vector<std::string> texts;
  for (size_t at = block.find("msgbox title=\"Info:\""); at != std::string::npos;
       at = block.find("msgbox title=\"Info:\"", at + 1)) {
    const size_t text = block.find("text=\"", at) + 6;
    texts.push_back(block.substr(text, block.find("\"\n", text) - text));
  }
  return texts;
}

// The last dump before the position.
std::string DumpBefore(const std::string& transcript, size_t position) {
  const size_t start = transcript.rfind("> dump\n", position);
  if (start == std::string::npos) return "";
  const size_t end = transcript.find("\n> ", start + 1);
  return transcript.substr(start, end - start);
}

TEST(HelpModeTour, EveryControlShowsItsOwnHelpAndDoesNothingElse) {
  testsupport::TempTree tree;
  testsupport::Installation install(tree);
  install.Prepare({"Press", "Oven"});
  install.Write("Start/Start_ACMELogo.bmp", Bitmap());
  std::string language = "[Language]\r\nLanguage=1031\r\n[1031]\r\n";
  const std::vector<std::pair<int, std::string>> texts = {
      {1, "OK<CRLF>commits"},   {2, "Cancel"},         {11, "Supplier<CRLF>help"},
      {12, "Date<crlf>format"}, {13, "Control type"},  {14, "Time setting"},
      {21, "Database paths"},   {22, "Speed factors"}, {23, "Save & Restore"}};
  for (const auto& [id, text] : texts)
    language += "Help" + std::to_string(id) + "=" + text + "\r\n";
  install.Write("Start/Start_Config.ini", language);
  // An accepted Save & Restore copy enables OK.
  tree.Write("SAR/parameter/program.ini",
             "[Machine1]\r\nMachineName=Press\r\nSpeedFactor=4\r\n"
             "[Machine2]\r\nMachineName=Oven\r\nSpeedFactor=6\r\n");
  tree.Write("SAR/program/korvex.mdb", "db");

  // Control, action, the help ids of the boxes it shows.
  const std::vector<std::pair<std::string, std::vector<int>>> tour = {
      {"click CommandOK", {1}},
      {"click CommandCancel", {2}},
      {"click CommandPath(0)", {21}},
      {"click CommandPath(1)", {21}},
      {"click CommandPath(2)", {21}},
      {"click ComboSupplier", {11, 11}},  // the focus, then the click
      {"click ComboDateFormat", {12, 12}},
      {"click ComboSteuerung", {13, 13}},
      {"focus ComboSupplier", {11}},
      {"click CheckTimeChanging", {14}},
      {"click LabelSupplier", {11}},
      {"click LabelDateFormat", {12}},
      {"click LabelSteuerung", {13}},
      {"click LabelSpeedFactorHeader", {22}},
      {"click LabelSAR1", {23}},
      {"click FrameSpeedFactor", {22}},
      {"click FramePathSelect", {23}},
      {"click LabelSpeedFactor(1)", {22}},
      {"click LabelSpeedFactor(2)", {22}},
      {"click TextSpeedFactor(1)", {22}},
      {"click TextSpeedFactor(2)", {22}},
      {"click TextPath(0)", {21}},
      {"click TextPath(1)", {21}},
      {"click TextPath(2)", {21}},
      {"click DirSAR", {23}},
      {"focus DriveSAR", {23}},
      {"click ListSAR", {23}},
  };
  std::string script = "dir C:\\SAR\nfocus CommandOK\ndump\nclick CommandQuest\ndump\n";
  for (const auto& [action, ids] : tour) script += action + "\n";
  script += "focus CommandOK\nclick CommandQuest\ndump\n";
  // Switched off, the controls work again.
  script += "file cancel\nclick CommandPath(1)\nclick LabelSupplier\n";
  // Choosing another supplier in help mode keeps the pick but not the logo.
  script += "click CommandQuest\nselect ComboSupplier ACME\nclick CommandQuest\ndump\n";

  const auto run = install.Run(install.Integrated(), script, {"LANG=C"});
  const std::string& t = run.transcript;
  ASSERT_EQ(run.status, 3) << t << run.errors;
  EXPECT_EQ(t.find("msgbox title=\"Unexpected error\""), std::string::npos) << t;

  auto textOf = [&](int id) {
    for (const auto& [k, text] : texts)
      if (k == id) return platform::VisibleLineBreaks(rt::ExpandLineBreaks(text));
    return std::string();
  };
  size_t from = t.find("> click CommandQuest\n");
  const std::string on = DumpBefore(t, t.find("> ", t.find("> dump\n", from) + 1));
  EXPECT_NE(on.find("help.gif\" backcolor=RGB(0,255,0)\n"), std::string::npos) << on;
  EXPECT_NE(on.find("  CommandOK CommandButton visible=1 shown=1 enabled=1"), std::string::npos);

  for (const auto& [action, ids] : tour) {
    const std::string block = ActionBlock(t, action, from);
    std::vector<std::string> expected;
    for (int id : ids) expected.push_back(textOf(id));
    EXPECT_EQ(HelpTexts(block), expected) << block;
    EXPECT_EQ(block.find("filedialog"), std::string::npos) << block;
    EXPECT_EQ(block.find("msgbox title=\"Start_Config"), std::string::npos) << block;
  }

  // Nothing but the help button's colour changed during the tour.
  const std::string before = DumpBefore(t, t.find("> click CommandQuest\n"));
  const std::string after = DumpBefore(t, t.find("> file cancel"));
  EXPECT_EQ(after.substr(after.find('\n')), before.substr(before.find('\n')));
  EXPECT_EQ(after.find("backcolor=RGB(0,255,0)"), std::string::npos);

  // Switched off, the controls work again.
  size_t later = t.find("> file cancel");
  EXPECT_NE(ActionBlock(t, "click CommandPath(1)", later).find("filedialog"), std::string::npos);
  EXPECT_TRUE(HelpTexts(ActionBlock(t, "click LabelSupplier", later)).empty());

  size_t last = t.find("> select ComboSupplier ACME");
  const std::string pick = ActionBlock(t, "select ComboSupplier ACME", last);
  EXPECT_EQ(HelpTexts(pick), (std::vector<std::string>{textOf(11), textOf(11)})) << pick;
  const std::string end = DumpBefore(t, t.size());
  EXPECT_NE(end.find("list=[**Tarvel & Co**|*ACME]"), std::string::npos) << end;
  EXPECT_NE(end.find("picture=\"C:\\Korvex\\Start\\Start_Logo.bmp\""), std::string::npos) << end;
  EXPECT_EQ(end.find("Start_ACMELogo.bmp"), std::string::npos) << end;
}

// A copy connected in help mode is taken over whole: the takeover's own
// selections are no help clicks.
TEST(HelpModeTakeover, ConnectingInHelpModeTakesEverythingOverAndOKWritesIt) {
  testsupport::TempTree tree;
  testsupport::Installation install(tree);
  install.Prepare({"Filler"});
  install.Write("Start/Start_ACMELogo.bmp", Bitmap());
  tree.Write("SR/parameter/program.ini",
             "[Project]\r\nSupplier=ACME\r\nControl=1\r\nDateFormat=2\r\n"
             "TimeChanging=false\r\n[Machine1]\r\nMachineName=Filler\r\nSpeedFactor=4\r\n");
  tree.Write("SR/program/korvex.mdb", "db");
  const std::string machine = "Source/Verschiedenes/Maschinenabh\u00e4ngig/Filler/Standard/";
  tree.Write(machine + "Warn_xx_xxx_1024.bmp", "stand-by");
  tree.Write(machine + "MachineSymbol_Filler_1024.gif", "symbol");
  tree.MakeFolder("Korvex/Standard");
  tree.MakeFolder("Korvex/program");
  const std::string commandLine = install.Integrated() + " /SOURCEPATH=C:\\Source\\";

  const auto run = install.Run(
      commandLine, "click CommandQuest\ndir C:\\SR\ndump\nclick CommandQuest\nclick CommandOK\n");
  const std::string& t = run.transcript;
  ASSERT_EQ(run.status, 0) << t << run.errors;
  size_t from = 0;
  const std::string connect = ActionBlock(t, "dir C:\\SR", from);
  EXPECT_EQ(connect.find("msgbox"), std::string::npos) << connect;
  const std::string dump = DumpBefore(t, t.size());
  EXPECT_NE(dump.find("picture=\"C:\\Korvex\\Start\\Start_ACMELogo.bmp\""), std::string::npos)
      << dump;
  testsupport::ExpectDump(t, {{"CheckTimeChanging", "value=0"},
                              {"ComboSupplier", "*ACME]"},
                              {"ComboSteuerung", "list=[Beckhoff|*Siemens]"},
                              {"CommandOK", "enabled=1"}});
  const std::string program = install.Read("parameter/Program.ini");
  EXPECT_NE(program.find("\r\nSupplier=ACME\r\n"), std::string::npos) << program;
  EXPECT_NE(program.find("\r\nTimeChanging=false\r\n"), std::string::npos) << program;
  EXPECT_NE(program.find("\r\nControl=1\r\n"), std::string::npos) << program;

  // The reset of a folder without a copy ticks the box again, help mode or not.
  const auto reset =
      install.Run(commandLine, "click CommandQuest\ndir C:\\SR\ndir C:\\Source\ndump\n");
  ASSERT_EQ(reset.status, 3) << reset.transcript << reset.errors;
  EXPECT_EQ(reset.transcript.find("msgbox"), std::string::npos) << reset.transcript;
  testsupport::ExpectDump(reset.transcript,
                          {{"CheckTimeChanging", "value=1"}, {"CommandOK", "enabled=0"}});
}

}  // namespace
