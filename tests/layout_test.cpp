#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "base/failure.h"
#include "form/pictures.h"
#include "form/start_config_form.h"
#include "test_support.h"

namespace {

using testsupport::FailureOf;

std::string Id(const ui::Control& c) {
  return c.Index() < 0 ? c.Name() : c.Name() + "(" + std::to_string(c.Index()) + ")";
}

// Events: c click, h change, g got focus, l lost focus, m mouse down.
struct Expected {
  const char* id;
  ui::Kind kind;
  const char* container;  // "" for the window
  const char* tag;
  int helpId;
  const char* events;
};

using K = ui::Kind;
const std::vector<Expected> kControls = {
    {"CommandOK", K::CommandButton, "", "", 1, "c"},
    {"CommandCancel", K::CommandButton, "", "", 2, "c"},
    {"CommandQuest", K::CommandButton, "", "", 0, "c"},
    {"DirCtl", K::CommonDialog, "", "NoTTT", -1, ""},
    {"MainFrame", K::Frame, "", "NoTTT", 0, ""},
    {"Frame1", K::Frame, "MainFrame", "NoTTT", 0, ""},
    {"ComboDateFormat", K::ComboBox, "Frame1", "", 12, "cg"},
    {"ComboSupplier", K::ComboBox, "Frame1", "", 11, "cg"},
    {"ComboSteuerung", K::ComboBox, "Frame1", "", 13, "cg"},
    {"CheckTimeChanging", K::CheckBox, "Frame1", "", 14, "c"},
    {"ImageLogo", K::Image, "Frame1", "NoTTT", 0, ""},
    {"LabelSupplier", K::Label, "Frame1", "NoTTT", 11, "c"},
    {"LabelDateFormat", K::Label, "Frame1", "NoTTT", 12, "c"},
    {"LabelSteuerung", K::Label, "Frame1", "NoTTT", 13, "c"},
    {"FrameCopyPath", K::Frame, "MainFrame", "NoTTT", 0, ""},
    {"TextPath(0)", K::TextBox, "FrameCopyPath", "Korvex.mdb", 21, "c"},
    {"TextPath(1)", K::TextBox, "FrameCopyPath", "Alarmdefinition.mdb", 21, "c"},
    {"TextPath(2)", K::TextBox, "FrameCopyPath", "Helptext.mdb", 21, "c"},
    {"CommandPath(0)", K::CommandButton, "FrameCopyPath", "Korvex.mdb", 21, "c"},
    {"CommandPath(1)", K::CommandButton, "FrameCopyPath", "Alarmdefinition.mdb", 21, "c"},
    {"CommandPath(2)", K::CommandButton, "FrameCopyPath", "Helptext.mdb", 21, "c"},
    {"FramePathSelect", K::Frame, "MainFrame", "NoTTT", 23, "c"},
    {"DirSAR", K::DirListBox, "FramePathSelect", "", 23, "hc"},
    {"DriveSAR", K::DriveListBox, "FramePathSelect", "", 23, "hg"},
    {"ListSAR", K::ListBox, "FramePathSelect", "", 23, "m"},
    {"LabelSARVisuVersion", K::Label, "FramePathSelect", "NoTTT", 23, ""},
    {"LabelSAR1", K::Label, "FramePathSelect", "NoTTT", 23, "c"},
    {"FrameSpeedFactor", K::Frame, "MainFrame", "NoTTT", 22, "c"},
    {"TextSpeedFactor(1)", K::TextBox, "FrameSpeedFactor", "M1", 22, "chgl"},
    {"TextSpeedFactor(2)", K::TextBox, "FrameSpeedFactor", "M2", 22, "chgl"},
    {"TextSpeedFactor(3)", K::TextBox, "FrameSpeedFactor", "M3", 22, "chgl"},
    {"TextSpeedFactor(4)", K::TextBox, "FrameSpeedFactor", "M4", 22, "chgl"},
    {"TextSpeedFactor(5)", K::TextBox, "FrameSpeedFactor", "M5", 22, "chgl"},
    {"LabelSpeedFactorHeader", K::Label, "FrameSpeedFactor", "NoTTT", 22, "c"},
    {"LabelSpeedFactor(1)", K::Label, "FrameSpeedFactor", "NoTTT", 22, "c"},
    {"LabelSpeedFactor(2)", K::Label, "FrameSpeedFactor", "NoTTT", 22, "c"},
    {"LabelSpeedFactor(3)", K::Label, "FrameSpeedFactor", "NoTTT", 22, "c"},
    {"LabelSpeedFactor(4)", K::Label, "FrameSpeedFactor", "NoTTT", 22, "c"},
    {"LabelSpeedFactor(5)", K::Label, "FrameSpeedFactor", "NoTTT", 22, "c"},
    {"LabelVisuVersion", K::Label, "", "", 0, ""},
    {"Header", K::Label, "", "", 0, ""},
};

std::string WiredEvents(const ui::Control& c) {
  std::string s;
  if (c.on.click) s += 'c';
  if (c.on.change) s += 'h';
  if (c.on.gotFocus) s += 'g';
  if (c.on.lostFocus) s += 'l';
  if (c.on.mouseDown) s += 'm';
  return s;
}

std::string Sorted(std::string s) {
  std::sort(s.begin(), s.end());
  return s;
}

TEST(Layout, EveryControlInCreationOrderWithKindContainerTagHelpIdAndEvents) {
  frm_Start_Config_Exe form;
  const auto& controls = form.window.Controls();
  ASSERT_EQ(controls.size(), kControls.size());
  for (size_t n = 0; n < kControls.size(); ++n) {
    const Expected& e = kControls[n];
    const ui::Control& c = *controls[n];
    SCOPED_TRACE(e.id);
    EXPECT_EQ(Id(c), e.id);
    EXPECT_EQ(c.kind(), e.kind);
    EXPECT_EQ(c.Container() ? c.Container()->Name() : "", e.container);
    EXPECT_EQ(c.Tag(), e.tag);
    if (e.helpId >= 0) {  // the common dialog has no help id
      EXPECT_EQ(c.HelpId(), e.helpId);
    }
    EXPECT_EQ(Sorted(WiredEvents(c)), Sorted(e.events));
  }
}

TEST(Layout, MemberPointersAndControlArrays) {
  frm_Start_Config_Exe form;
  // The members, flattened in declaration order, are the controls in creation order.
  std::vector<ui::Control*> members = {form.CommandOK,       form.CommandCancel,
                                       form.CommandQuest,    form.DirCtl,
                                       form.MainFrame,       form.Frame1,
                                       form.ComboDateFormat, form.ComboSupplier,
                                       form.ComboSteuerung,  form.CheckTimeChanging,
                                       form.ImageLogo,       form.LabelSupplier,
                                       form.LabelDateFormat, form.LabelSteuerung,
                                       form.FrameCopyPath};
  members.insert(members.end(), form.TextPath.begin(), form.TextPath.end());
  members.insert(members.end(), form.CommandPath.begin(), form.CommandPath.end());
  members.insert(members.end(), {form.FramePathSelect, form.DirSAR, form.DriveSAR, form.ListSAR,
                                 form.LabelSARVisuVersion, form.LabelSAR1, form.FrameSpeedFactor});
  members.insert(members.end(), form.TextSpeedFactor.begin() + 1, form.TextSpeedFactor.end());
  members.push_back(form.LabelSpeedFactorHeader);
  members.insert(members.end(), form.LabelSpeedFactor.begin() + 1, form.LabelSpeedFactor.end());
  members.insert(members.end(), {form.LabelVisuVersion, form.Header});
  ASSERT_EQ(members.size(), form.window.Controls().size());
  for (size_t n = 0; n < members.size(); ++n)
    EXPECT_EQ(members[n], form.window.Controls()[n].get()) << n;

  EXPECT_EQ(form.TextSpeedFactor[0], nullptr);
  EXPECT_EQ(form.LabelSpeedFactor[0], nullptr);
  EXPECT_EQ(form.window.Find("TextSpeedFactor", 0), nullptr);
  EXPECT_EQ(form.window.Find("TextPath", 3), nullptr);
  EXPECT_EQ(form.window.Find("LabelSpeedFactor", 4), form.LabelSpeedFactor[4]);
  EXPECT_TRUE(form.window.IsArrayMember(*form.CommandPath[0]));
  EXPECT_FALSE(form.window.IsArrayMember(*form.CommandOK));

  EXPECT_EQ(&frm_Start_Config_Exe::Element(form.TextSpeedFactor, 1), form.TextSpeedFactor[1]);
  EXPECT_EQ(&frm_Start_Config_Exe::Element(form.LabelSpeedFactor, 5), form.LabelSpeedFactor[5]);
  for (int missing : {0, 6, -1, 100}) {
    SCOPED_TRACE(missing);
    EXPECT_EQ(FailureOf([&] { frm_Start_Config_Exe::Element(form.TextSpeedFactor, missing); }),
              340);
    EXPECT_EQ(FailureOf([&] { frm_Start_Config_Exe::Element(form.LabelSpeedFactor, missing); }),
              340);
  }
}

TEST(Layout, DesignTimeStatesAndHiddenFramesHideTheirContents) {
  frm_Start_Config_Exe form;
  const std::set<std::string> hidden = {
      "FrameCopyPath",       "FramePathSelect",     "TextSpeedFactor(1)",  "TextSpeedFactor(2)",
      "TextSpeedFactor(3)",  "TextSpeedFactor(4)",  "TextSpeedFactor(5)",  "LabelSpeedFactor(1)",
      "LabelSpeedFactor(2)", "LabelSpeedFactor(3)", "LabelSpeedFactor(4)", "LabelSpeedFactor(5)"};
  const std::set<std::string> disabled = {"CommandOK", "ComboSupplier"};
  for (const auto& c : form.window.Controls()) {
    if (c->kind() == ui::Kind::CommonDialog) continue;
    SCOPED_TRACE(Id(*c));
    EXPECT_EQ(c->Visible(), !hidden.count(Id(*c)));
    EXPECT_EQ(c->Enabled(), !disabled.count(Id(*c)));
  }

  // Contents of a hidden frame are visible themselves but not shown.
  EXPECT_TRUE(form.TextPath[1]->Visible());
  EXPECT_FALSE(form.TextPath[1]->Shown());
  EXPECT_FALSE(form.DirSAR->Shown());
  EXPECT_TRUE(form.ComboDateFormat->Shown());
  EXPECT_FALSE(form.ComboSupplier->Usable());
  form.FrameCopyPath->SetVisible(true);
  form.FramePathSelect->SetVisible(true);
  EXPECT_TRUE(form.TextPath[1]->Shown());
  EXPECT_TRUE(form.DirSAR->Shown());
  // The speed-factor rows stay hidden although their frame is shown.
  EXPECT_TRUE(form.FrameSpeedFactor->Shown());
  EXPECT_FALSE(form.TextSpeedFactor[1]->Shown());
  EXPECT_FALSE(form.LabelSpeedFactor[5]->Shown());
}

TEST(Layout, WindowCaptionsPositionsFontsAndColours) {
  frm_Start_Config_Exe form;
  EXPECT_EQ(form.window.Caption(), "Base KVXCFG-Erweiterung");
  EXPECT_EQ(form.window.Tag(), "NoTTT");
  EXPECT_EQ(form.window.ClientArea().width, 11880);
  EXPECT_EQ(form.window.ClientArea().height, 8595);
  EXPECT_EQ(form.window.BackColor(), ui::kLightGrey);

  EXPECT_EQ(form.Header->Caption(), "Start - Standardkonfiguration");
  EXPECT_EQ(form.LabelSAR1->Caption(), "Pfad Save and Restore");
  EXPECT_EQ(form.CheckTimeChanging->Caption(), "Zeiteinstellung freigeben");
  EXPECT_EQ(form.CommandPath[1]->Caption(), "Alarmdefinition.mdb");
  EXPECT_EQ(form.TextPath[2]->Text(), "x3");
  EXPECT_EQ(form.TextSpeedFactor[2]->Text(), "");
  EXPECT_EQ(form.LabelSpeedFactor[4]->Caption(), "M");
  EXPECT_EQ(form.CommandOK->Caption(), "");
  EXPECT_EQ(form.LabelVisuVersion->Caption(), "");

  auto rectOf = [](const ui::Control* c) {
    const ui::Rect r = c->Position();
    return std::vector<int>{r.left, r.top, r.width, r.height};
  };
  EXPECT_EQ(rectOf(form.TextSpeedFactor[3]), (std::vector<int>{1800, 1530, 975, 420}));
  EXPECT_EQ(rectOf(form.LabelSpeedFactor[5]), (std::vector<int>{120, 2520, 1575, 375}));
  EXPECT_EQ(rectOf(form.TextPath[2]), (std::vector<int>{3165, 1200, 8475, 420}));
  EXPECT_EQ(rectOf(form.CommandPath[1]), (std::vector<int>{120, 720, 2895, 420}));
  EXPECT_EQ(rectOf(form.FramePathSelect), (std::vector<int>{3165, 4170, 8640, 3000}));
  EXPECT_EQ(rectOf(form.CommandQuest), (std::vector<int>{7350, 7710, 975, 855}));

  for (const ui::Control* c : {form.CommandPath[0], form.ComboSteuerung, form.LabelSpeedFactor[2],
                               form.TextSpeedFactor[5], form.CheckTimeChanging}) {
    SCOPED_TRACE(Id(*c));
    EXPECT_EQ(c->GetFont().name, "MS Sans Serif");
    EXPECT_TRUE(c->GetFont().bold);
    EXPECT_EQ(c->GetFont().size, 12);
  }
  for (const ui::Control* c : {form.DirSAR, form.DriveSAR, form.ListSAR})
    EXPECT_EQ(c->GetFont().size, 9.75) << Id(*c);
  for (const ui::Control* c : {form.Header, form.LabelVisuVersion}) {
    EXPECT_EQ(c->GetFont().size, 13.5) << Id(*c);
    EXPECT_TRUE(c->GetFont().bold) << Id(*c);
  }

  for (const ui::Control* c :
       {form.MainFrame, form.FrameSpeedFactor, form.CommandQuest, form.CommandPath[2],
        form.CheckTimeChanging, form.Header, form.LabelSAR1, form.LabelDateFormat})
    EXPECT_EQ(c->BackColor(), ui::kLightGrey) << Id(*c);
}

TEST(Pictures, SizesLegendAndButtons) {
  struct Case {
    ui::Picture picture;
    const char* source;
    int width, height;
    char ink;
  };
  for (const Case& k : {Case{TickPicture(), "tick.gif", 44, 36, 'G'},
                        Case{CrossPicture(), "cross.gif", 37, 39, 'R'},
                        Case{HelpPicture(), "help.gif", 41, 45, 'K'}}) {
    SCOPED_TRACE(k.source);
    const ui::Picture& p = k.picture;
    EXPECT_EQ(p.source, k.source);
    EXPECT_EQ(p.width, k.width);
    EXPECT_EQ(p.height, k.height);
    ASSERT_EQ(static_cast<int>(p.rows.size()), k.height);
    int inked = 0;
    for (const std::string& row : p.rows) {
      ASSERT_EQ(static_cast<int>(row.size()), k.width);
      for (char ch : row) {
        EXPECT_TRUE(ch == '.' || ch == k.ink) << ch;
        inked += ch == k.ink;
      }
    }
    // Drawn, but mostly transparent, with a clear corner.
    EXPECT_GT(inked, k.width * k.height / 10);
    EXPECT_LT(inked, k.width * k.height / 2);
    EXPECT_EQ(p.rows[0][0], '.');
  }

  // The cross is symmetric about its vertical axis, as a diagonal cross should be
  // (allowing one pixel of rounding).
  const ui::Picture cross = CrossPicture();
  int mismatched = 0;
  for (const std::string& row : cross.rows)
    for (int x = 0; x < cross.width; ++x) mismatched += row[x] != row[cross.width - 1 - x];
  EXPECT_LT(mismatched, cross.height * 2);

  frm_Start_Config_Exe form;
  EXPECT_EQ(form.CommandOK->GetPicture().source, "tick.gif");
  EXPECT_EQ(form.CommandCancel->GetPicture().source, "cross.gif");
  EXPECT_EQ(form.CommandQuest->GetPicture().source, "help.gif");
  EXPECT_TRUE(form.ImageLogo->GetPicture().Empty());
}

}  // namespace
