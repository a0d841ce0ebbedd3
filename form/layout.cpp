// The window's layout as designed: every control in creation order with its
// position, font, tag and help id, and the wiring of the control events to the
// handlers of the other form sources.
#include <algorithm>
#include <string>
#include <utility>

#include "base/failure.h"
#include "form/pictures.h"
#include "form/start_config_form.h"

namespace {

constexpr double kTextPoints = 12;
constexpr double kSarListPoints = 9.75;
constexpr double kHeaderPoints = 13.5;
constexpr double kNoFont = 0;  // images carry no text

constexpr int kHelpOK = 1;
constexpr int kHelpCancel = 2;
constexpr int kHelpSupplier = 11;
constexpr int kHelpDateFormat = 12;
constexpr int kHelpControlType = 13;
constexpr int kHelpTimeSetting = 14;
constexpr int kHelpDatabasePaths = 21;
constexpr int kHelpSpeedFactors = 22;
constexpr int kHelpSaveAndRestore = 23;

const char* const kNoToolTip = "NoTTT";
const char* const kDatabases[3] = {"Korvex.mdb", "Alarmdefinition.mdb", "Helptext.mdb"};

// Creates a control and gives it the design-time properties every placed control has.
ui::Control& Place(ui::Window& w, ui::Kind kind, std::string name, int index,
                   ui::Control* container, ui::Rect rect, std::string tag = {}, int helpId = 0,
                   double points = kTextPoints) {
  ui::Control& c = w.Add(kind, std::move(name), index, container);
  c.SetPosition(rect);
  if (!tag.empty()) c.SetTag(std::move(tag));
  if (helpId != 0) c.SetHelpId(helpId);
  if (points != kNoFont) c.SetFont(ui::Font{"MS Sans Serif", points, true});
  return c;
}

ui::Control& Grey(ui::Control& c) {
  c.SetBackColor(ui::kLightGrey);
  return c;
}

}  // namespace

frm_Start_Config_Exe::frm_Start_Config_Exe() {
  window.SetCaption("Base KVXCFG-Erweiterung");
  window.SetClientArea({0, 0, 11880, 8595});
  window.SetBackColor(ui::kLightGrey);
  window.SetTag(kNoToolTip);
  CreateControls();
  WireEvents();
}

void frm_Start_Config_Exe::RaiseMissingElement() {
  platform::Raise(platform::kControlArrayElementMissing);
}

void frm_Start_Config_Exe::CreateControls() {
  using K = ui::Kind;
  ui::Window& w = window;

  // The three picture buttons below the main frame.
  CommandOK = &Grey(
      Place(w, K::CommandButton, "CommandOK", -1, nullptr, {8400, 7710, 1695, 855}, {}, kHelpOK));
  CommandOK->SetPicture(TickPicture());
  CommandOK->SetEnabled(false);  // until a Save & Restore copy is accepted
  CommandCancel = &Grey(Place(w, K::CommandButton, "CommandCancel", -1, nullptr,
                              {10170, 7710, 1695, 855}, {}, kHelpCancel));
  CommandCancel->SetPicture(CrossPicture());
  CommandQuest =
      &Grey(Place(w, K::CommandButton, "CommandQuest", -1, nullptr, {7350, 7710, 975, 855}));
  CommandQuest->SetPicture(HelpPicture());

  // The common dialog has neither position nor font.
  DirCtl = &w.Add(K::CommonDialog, "DirCtl");
  DirCtl->SetTag(kNoToolTip);

  MainFrame =
      &Grey(Place(w, K::Frame, "MainFrame", -1, nullptr, {0, 390, 11880, 7260}, kNoToolTip));

  // Supplier, date format, control type, time setting and the logo.
  Frame1 = &Grey(Place(w, K::Frame, "Frame1", -1, MainFrame, {90, 120, 11715, 2385}, kNoToolTip));
  ComboDateFormat = &Place(w, K::ComboBox, "ComboDateFormat", -1, Frame1, {3165, 630, 4695, 420},
                           {}, kHelpDateFormat);
  ComboSupplier = &Place(w, K::ComboBox, "ComboSupplier", -1, Frame1, {3165, 150, 4695, 420}, {},
                         kHelpSupplier);
  ComboSupplier->SetEnabled(false);
  ComboSteuerung = &Place(w, K::ComboBox, "ComboSteuerung", -1, Frame1, {3165, 1110, 4695, 420}, {},
                          kHelpControlType);
  CheckTimeChanging = &Grey(Place(w, K::CheckBox, "CheckTimeChanging", -1, Frame1,
                                  {120, 1590, 3735, 375}, {}, kHelpTimeSetting));
  CheckTimeChanging->SetCaption("Zeiteinstellung freigeben");
  ImageLogo =
      &Place(w, K::Image, "ImageLogo", -1, Frame1, {7950, 240, 1215, 1095}, kNoToolTip, 0, kNoFont);
  LabelSupplier = &Grey(Place(w, K::Label, "LabelSupplier", -1, Frame1, {120, 150, 2295, 375},
                              kNoToolTip, kHelpSupplier));
  LabelSupplier->SetCaption("Lieferant");
  LabelDateFormat = &Grey(Place(w, K::Label, "LabelDateFormat", -1, Frame1, {120, 630, 2175, 375},
                                kNoToolTip, kHelpDateFormat));
  LabelDateFormat->SetCaption("Datumsformat");
  LabelSteuerung = &Grey(Place(w, K::Label, "LabelSteuerung", -1, Frame1, {120, 1110, 2295, 375},
                               kNoToolTip, kHelpControlType));
  LabelSteuerung->SetCaption("Steuerung");

  // The three database path rows; the rows' tags name their database.
  FrameCopyPath = &Grey(
      Place(w, K::Frame, "FrameCopyPath", -1, MainFrame, {90, 2490, 11715, 1695}, kNoToolTip));
  FrameCopyPath->SetVisible(false);
  for (int i = 0; i < 3; ++i) {
    TextPath[i] = &Place(w, K::TextBox, "TextPath", i, FrameCopyPath,
                         {3165, 240 + 480 * i, 8475, 420}, kDatabases[i], kHelpDatabasePaths);
    TextPath[i]->SetText("x" + std::to_string(i + 1));
  }
  for (int i = 0; i < 3; ++i) {
    CommandPath[i] =
        &Grey(Place(w, K::CommandButton, "CommandPath", i, FrameCopyPath,
                    {120, 240 + 480 * i, 2895, 420}, kDatabases[i], kHelpDatabasePaths));
    CommandPath[i]->SetCaption(kDatabases[i]);
  }

  // The Save & Restore selection.
  FramePathSelect = &Grey(Place(w, K::Frame, "FramePathSelect", -1, MainFrame,
                                {3165, 4170, 8640, 3000}, kNoToolTip, kHelpSaveAndRestore));
  FramePathSelect->SetVisible(false);
  DirSAR = &Place(w, K::DirListBox, "DirSAR", -1, FramePathSelect, {90, 930, 4800, 1980}, {},
                  kHelpSaveAndRestore, kSarListPoints);
  DriveSAR = &Place(w, K::DriveListBox, "DriveSAR", -1, FramePathSelect, {90, 450, 4800, 360}, {},
                    kHelpSaveAndRestore, kSarListPoints);
  ListSAR = &Place(w, K::ListBox, "ListSAR", -1, FramePathSelect, {4950, 450, 3615, 2460}, {},
                   kHelpSaveAndRestore, kSarListPoints);
  LabelSARVisuVersion = &Grey(Place(w, K::Label, "LabelSARVisuVersion", -1, FramePathSelect,
                                    {5640, 150, 2895, 375}, kNoToolTip, kHelpSaveAndRestore));
  LabelSAR1 = &Grey(Place(w, K::Label, "LabelSAR1", -1, FramePathSelect, {120, 150, 2895, 375},
                          kNoToolTip, kHelpSaveAndRestore));
  LabelSAR1->SetCaption("Pfad Save and Restore");

  // One speed-factor row per machine 1..5; start-up shows the rows it needs.
  FrameSpeedFactor = &Grey(Place(w, K::Frame, "FrameSpeedFactor", -1, MainFrame,
                                 {90, 4170, 3015, 3000}, kNoToolTip, kHelpSpeedFactors));
  for (int i = 1; i <= 5; ++i) {
    TextSpeedFactor[i] =
        &Place(w, K::TextBox, "TextSpeedFactor", i, FrameSpeedFactor,
               {1800, 570 + 480 * (i - 1), 975, 420}, "M" + std::to_string(i), kHelpSpeedFactors);
    TextSpeedFactor[i]->SetVisible(false);
  }
  LabelSpeedFactorHeader = &Grey(Place(w, K::Label, "LabelSpeedFactorHeader", -1, FrameSpeedFactor,
                                       {120, 150, 2895, 375}, kNoToolTip, kHelpSpeedFactors));
  LabelSpeedFactorHeader->SetCaption("Geschwindigkeitsfaktor");
  for (int i = 1; i <= 5; ++i) {
    LabelSpeedFactor[i] =
        &Place(w, K::Label, "LabelSpeedFactor", i, FrameSpeedFactor,
               {120, 600 + 480 * (i - 1), 1575, 375}, kNoToolTip, kHelpSpeedFactors);
    LabelSpeedFactor[i]->SetCaption("M");
    LabelSpeedFactor[i]->SetVisible(false);
  }

  // The title line above the main frame.
  LabelVisuVersion = &Grey(Place(w, K::Label, "LabelVisuVersion", -1, nullptr,
                                 {6240, 30, 5565, 360}, {}, 0, kHeaderPoints));
  Header =
      &Grey(Place(w, K::Label, "Header", -1, nullptr, {30, 30, 5565, 360}, {}, 0, kHeaderPoints));
  Header->SetCaption("Start - Standardkonfiguration");
}

void frm_Start_Config_Exe::WireEvents() {
  CommandOK->on.click = [this] { CommandOK_Click(); };
  CommandCancel->on.click = [this] { CommandCancel_Click(); };
  CommandQuest->on.click = [this] { CommandQuest_Click(); };

  ComboSupplier->on.click = [this] { ComboSupplier_Click(); };
  ComboSupplier->on.gotFocus = [this] { ComboSupplier_GotFocus(); };
  ComboDateFormat->on.click = [this] { ComboDateFormat_Click(); };
  ComboDateFormat->on.gotFocus = [this] { ComboDateFormat_GotFocus(); };
  ComboSteuerung->on.click = [this] { ComboSteuerung_Click(); };
  ComboSteuerung->on.gotFocus = [this] { ComboSteuerung_GotFocus(); };
  CheckTimeChanging->on.click = [this] { CheckTimeChanging_Click(); };
  LabelSupplier->on.click = [this] { LabelSupplier_Click(); };
  LabelDateFormat->on.click = [this] { LabelDateFormat_Click(); };
  LabelSteuerung->on.click = [this] { LabelSteuerung_Click(); };

  for (int i = 0; i < 3; ++i) {
    TextPath[i]->on.click = [this, i] { TextPath_Click(i); };
    CommandPath[i]->on.click = [this, i] { CommandPath_Click(i); };
  }

  FramePathSelect->on.click = [this] { FramePathSelect_Click(); };
  DirSAR->on.change = [this] { DirSAR_Change(); };
  DirSAR->on.click = [this] { DirSAR_Click(); };
  DriveSAR->on.change = [this] { DriveSAR_Change(); };
  DriveSAR->on.gotFocus = [this] { DriveSAR_GotFocus(); };
  ListSAR->on.mouseDown = [this] { ListSAR_MouseDown(); };
  LabelSAR1->on.click = [this] { LabelSAR1_Click(); };

  FrameSpeedFactor->on.click = [this] { FrameSpeedFactor_Click(); };
  LabelSpeedFactorHeader->on.click = [this] { LabelSpeedFactorHeader_Click(); };
  for (int i = 1; i <= 5; ++i) {
    ui::Control& box = *TextSpeedFactor[i];
    box.on.change = [this, i] { TextSpeedFactor_Change(i); };
    box.on.gotFocus = [this, i] { TextSpeedFactor_GotFocus(i); };
    box.on.lostFocus = [this, i] { TextSpeedFactor_LostFocus(i); };
    box.on.click = [this, i] { TextSpeedFactor_Click(i); };
    LabelSpeedFactor[i]->on.click = [this, i] { LabelSpeedFactor_Click(i); };
  }
}

std::vector<ui::Control*> TabOrder(const ui::Window& window) {
  // Reading order of the window's rows, with the one exception that the three
  // picture buttons at the bottom come last and the speed factors (left
  // column) before the Save & Restore selection (right column).
  static const char* const kOrder[] = {"ComboSupplier",
                                       "ComboDateFormat",
                                       "ComboSteuerung",
                                       "CheckTimeChanging",
                                       "CommandPath(0)",
                                       "TextPath(0)",
                                       "CommandPath(1)",
                                       "TextPath(1)",
                                       "CommandPath(2)",
                                       "TextPath(2)",
                                       "TextSpeedFactor(1)",
                                       "TextSpeedFactor(2)",
                                       "TextSpeedFactor(3)",
                                       "TextSpeedFactor(4)",
                                       "TextSpeedFactor(5)",
                                       "DriveSAR",
                                       "DirSAR",
                                       "ListSAR",
                                       "CommandOK",
                                       "CommandCancel",
                                       "CommandQuest"};
  std::vector<ui::Control*> order;
  for (const char* name : kOrder) {
    for (const auto& owned : window.Controls())
      if (owned->DisplayName() == name) order.push_back(owned.get());
  }
  // Controls not named above follow in creation order.
  for (const auto& owned : window.Controls()) {
    if (!ui::TakesFocus(owned->kind())) continue;
    if (std::find(order.begin(), order.end(), owned.get()) == order.end())
      order.push_back(owned.get());
  }
  return order;
}
