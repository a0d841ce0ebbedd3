// The desktop window in-process on the demo installation: the widgets show
// the window model, and clicks, keys, boxes and the open dialog reach the
// model as the script's actions do.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QWheelEvent>
#include <filesystem>
#include <functional>
#include <map>

#include "app/common/presentation.h"
#include "app/desktop/dialogs.h"
#include "app/desktop/view.h"
#include "runtime/help_mode.h"
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::BoxRecorder;
using testsupport::RuntimeState;
using testsupport::TempTree;

class DesktopWindow : public ::testing::Test {
 protected:
  DesktopWindow() {
    fs::copy(KORVEX_SOURCE_DIR "/demo/installation", tree_.root(), fs::copy_options::recursive);
    testsupport::SetProcess(
        "/EXTERNAL=KVXCFG /LOGFILE=C:\\Korvex\\KVXcfglog.txt /SOURCEPATH=C:\\Setup\\");
    form_ = std::make_unique<frm_Start_Config_Exe>();
    form_->Form_Load();
    view_ = std::make_unique<win::WindowView>(*form_, 1.0);
    view_->show();
    QApplication::setActiveWindow(view_.get());
    EXPECT_TRUE(QTest::qWaitForWindowActive(view_.get()));
  }

  template <class W>
  W* Widget(const ui::Control* c) {
    auto* w = dynamic_cast<W*>(view_->WidgetOf(*c));
    EXPECT_NE(w, nullptr) << c->DisplayName();
    return w;
  }

  // Every widget where, as and with what the model says.
  void ExpectWidgetsShowTheModel() {
    for (const auto& owned : form_->window.Controls()) {
      const ui::Control& c = *owned;
      QWidget* w = view_->WidgetOf(c);
      if (c.kind() == ui::Kind::CommonDialog) continue;
      ASSERT_NE(w, nullptr) << c.DisplayName();
      const ui::Rect r = c.Position();
      EXPECT_EQ(w->geometry(), QRect(r.left / 15, r.top / 15, r.width / 15, r.height / 15))
          << c.DisplayName();
      EXPECT_EQ(w->isVisibleTo(view_.get()), c.Shown()) << c.DisplayName();
      bool enabled = c.Enabled();
      for (const ui::Control* p = c.Container(); p != nullptr; p = p->Container())
        enabled = enabled && p->Enabled();
      EXPECT_EQ(w->isEnabled(), enabled) << c.DisplayName();
      QString text;
      // A label with an access key underlines it; the text is the caption without its "&".
      bool accessKey = false;
      if (auto* label = dynamic_cast<QLabel*>(w); label && c.kind() == ui::Kind::Label) {
        accessKey = label->textFormat() == Qt::RichText;
        text = accessKey ? label->text().remove("<u>").remove("</u>") : label->text();
      } else if (auto* button = dynamic_cast<QAbstractButton*>(w))
        text = button->text();
      else if (auto* frame = dynamic_cast<QGroupBox*>(w))
        text = frame->title();
      else if (auto* edit = dynamic_cast<QLineEdit*>(w))
        text = edit->text();
      else if (auto* combo = dynamic_cast<QComboBox*>(w); combo && c.kind() == ui::Kind::ComboBox)
        text = combo->currentText();
      else
        continue;
      const std::string expected = c.kind() == ui::Kind::TextBox || c.kind() == ui::Kind::ComboBox
                                       ? c.Text()
                                   : accessKey ? app::CaptionShown(c.Caption()).text
                                               : c.Caption();
      EXPECT_EQ(text.toStdString(), expected) << c.DisplayName();
    }
  }

  // Message boxes and the open dialog over `over`, as the window shows them.
  void ShowBoxesOver(QWidget* over) {
    platform::SetMessageBoxHandler(
        [over](const platform::MessageBox& box) { return win::RunMessageBox(over, box); });
    form_->window.onFileDialog = [over](const ui::FileDialogRequest& request) {
      return win::RunFileDialog(over, request);
    };
  }

  // Answers the modal box or dialog that opens next with what `answer` does to it.
  void WhenABoxOpens(std::function<void(QWidget*)> answer) {
    QTimer::singleShot(0, [answer] {
      QWidget* box = QApplication::activeModalWidget();
      ASSERT_NE(box, nullptr);
      answer(box);
    });
  }

  RuntimeState state_;
  TempTree tree_{"D"};  // D: a USB stick
  BoxRecorder boxes_;
  std::unique_ptr<frm_Start_Config_Exe> form_;
  std::unique_ptr<win::WindowView> view_;
};

TEST_F(DesktopWindow, WidgetsShowTheModelAfterStartRefusalAndTakeover) {
  EXPECT_EQ(view_->windowTitle().toStdString(), form_->window.Caption());
  EXPECT_EQ(view_->size(), QSize(11880 / 15, 8595 / 15));
  ExpectWidgetsShowTheModel();
  // At 144 dpi everything is half as large again.
  win::WindowView large(*form_, 1.5);
  EXPECT_EQ(large.WidgetOf(*form_->CommandOK)->geometry(), QRect(840, 771, 170, 86));
  auto* ok = Widget<QPushButton>(form_->CommandOK);
  EXPECT_EQ(ok->iconSize(), QSize(44, 36));  // the tick at its own size
  EXPECT_FALSE(ok->isEnabled());

  view_->Act(app::Verb::Dir, form_->DirSAR, "C:\\SaveRestore\\Copy_2019_OtherLine");
  ASSERT_EQ(boxes_.boxes.size(), 1u);
  EXPECT_EQ(boxes_.boxes[0].title, "Error - Wrong Save & Restore!");
  ExpectWidgetsShowTheModel();
  EXPECT_FALSE(ok->isEnabled());

  view_->Act(app::Verb::Dir, form_->DirSAR, "C:\\SaveRestore\\Copy_2025_Line1");
  ExpectWidgetsShowTheModel();
  EXPECT_TRUE(ok->isEnabled());
  EXPECT_EQ(Widget<QLineEdit>(form_->TextPath[0])->text().toStdString(),
            "C:\\SaveRestore\\Copy_2025_Line1\\program\\korvex.mdb");
  // The folder list: the path down to the copy, then its subfolders.
  auto* folders = Widget<QListWidget>(form_->DirSAR);
  EXPECT_EQ(folders->item(2)->text().trimmed().toStdString(), "Copy_2025_Line1");
  EXPECT_EQ(folders->currentRow(), 2);
  EXPECT_EQ(folders->item(3)->text().trimmed().toStdString(), "Capper");
}

TEST_F(DesktopWindow, ClicksAndKeysDriveTheModel) {
  // A double-click opens a folder; arrows and Enter open the next one, which
  // takes the copy over.
  auto* folders = Widget<QListWidget>(form_->DirSAR);
  const auto row = [&](const char* name) {
    for (int i = 0; i < folders->count(); ++i)
      if (folders->item(i)->text().trimmed() == name) return i;
    return -1;
  };
  ASSERT_GE(row("SaveRestore"), 0);
  QTest::mouseDClick(folders->viewport(), Qt::LeftButton, {},
                     folders->visualItemRect(folders->item(row("SaveRestore"))).center());
  EXPECT_EQ(form_->DirSAR->Path(), "C:\\SaveRestore");
  folders->setFocus();
  while (folders->currentRow() < row("Copy_2025_Line1")) QTest::keyClick(folders, Qt::Key_Down);
  QTest::keyClick(folders, Qt::Key_Return);
  EXPECT_EQ(form_->DirSAR->Path(), "C:\\SaveRestore\\Copy_2025_Line1");
  EXPECT_TRUE(form_->CommandOK->Enabled());
  EXPECT_EQ(form_->window.Focused(), form_->DirSAR);

  // The copy's list: getting the focus picks nothing, the arrows pick entries.
  auto* files = Widget<QListWidget>(form_->ListSAR);
  ASSERT_GT(files->count(), 1);
  QTest::keyClick(folders, Qt::Key_Tab);
  QTest::qWait(1);
  EXPECT_EQ(form_->window.Focused(), form_->ListSAR);
  EXPECT_EQ(form_->ListSAR->ListIndex(), -1);
  QTest::keyClick(files, Qt::Key_Down);
  QTest::keyClick(files, Qt::Key_Down);
  EXPECT_EQ(form_->ListSAR->ListIndex(), 1);

  // Typing replaces the selection at the caret, as a user's typing does.
  auto* speed = Widget<QLineEdit>(form_->TextSpeedFactor[2]);
  QTest::mouseClick(speed, Qt::LeftButton);
  QTest::qWait(1);
  EXPECT_EQ(form_->window.Focused(), form_->TextSpeedFactor[2]);
  QTest::keyClick(speed, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(speed, "42");
  EXPECT_EQ(form_->TextSpeedFactor[2]->Text(), "42");
  EXPECT_EQ(form_->TextSpeedFactor[2]->SelStart(), 2);
  QTest::keyClick(speed, Qt::Key_Backspace);
  EXPECT_EQ(form_->TextSpeedFactor[2]->Text(), "4");

  // Tab goes on in the window's order and takes the model's focus along.
  QTest::keyClick(speed, Qt::Key_Tab);
  QTest::qWait(1);
  EXPECT_EQ(form_->window.Focused(), form_->TextSpeedFactor[3]);

  // A drop-down list picks with the arrow keys; the check box ticks with a click.
  auto* date = Widget<QComboBox>(form_->ComboDateFormat);
  const int before = form_->ComboDateFormat->ListIndex();
  date->setFocus();
  QTest::keyClick(date, before + 1 < date->count() ? Qt::Key_Down : Qt::Key_Up);
  EXPECT_NE(form_->ComboDateFormat->ListIndex(), before);
  EXPECT_EQ(date->currentIndex(), form_->ComboDateFormat->ListIndex());
  const int ticked = form_->CheckTimeChanging->Value();
  QTest::mouseClick(Widget<QCheckBox>(form_->CheckTimeChanging), Qt::LeftButton);
  EXPECT_NE(form_->CheckTimeChanging->Value(), ticked);
  // On a touch panel a tap is a click.
  static QPointingDevice* touch = QTest::createTouchDevice();
  auto* box = Widget<QCheckBox>(form_->CheckTimeChanging);
  const QPoint middle = box->mapTo(view_.get(), box->rect().center());
  QTest::touchEvent(view_.get(), touch).press(0, middle, view_.get());
  QTest::touchEvent(view_.get(), touch).release(0, middle, view_.get());
  QTest::qWait(1);
  EXPECT_EQ(form_->CheckTimeChanging->Value(), ticked);

  // A caption's access key is underlined; Alt and the key hand a label's focus on.
  form_->LabelSteuerung->SetCaption("&Steuerung && Typ");
  view_->Refresh();
  EXPECT_EQ(Widget<QLabel>(form_->LabelSteuerung)->text().toStdString(),
            "<u>S</u>teuerung &amp; Typ");
  QTest::keyClick(view_.get(), Qt::Key_S, Qt::AltModifier);
  QTest::qWait(1);
  EXPECT_EQ(form_->window.Focused(), form_->ComboSteuerung);

  // F1 is the help switch: green, and the What's-This pointer over the window.
  QTest::keyClick(view_.get(), Qt::Key_F1);
  EXPECT_TRUE(rt::HelpMode);
  EXPECT_EQ(speed->cursor().shape(), Qt::WhatsThisCursor);
  EXPECT_EQ(Widget<QPushButton>(form_->CommandQuest)->palette().color(QPalette::Button),
            QColor(0, 255, 0));
  QTest::mouseClick(Widget<QPushButton>(form_->CommandQuest), Qt::LeftButton);
  EXPECT_FALSE(rt::HelpMode);
  EXPECT_NE(speed->cursor().shape(), Qt::WhatsThisCursor);

  // The copies' progress shows over the window while OK works.
  view_->ShowCopyProgress("C:\\Korvex\\program\\Korvex.mdb", 50, 200);
  const auto* bar = view_->findChild<QProgressBar*>();
  ASSERT_NE(bar, nullptr);
  EXPECT_TRUE(bar->isVisible());
  EXPECT_EQ(bar->value(), 250);
  view_->ShowCopyProgress("", 0, 0);
  EXPECT_FALSE(bar->isVisible());
}

TEST_F(DesktopWindow, BoxesAndTheOpenDialogAppearModallyAndAnswer) {
  EXPECT_EQ(win::BoxText("a\n\rb\r\nc\nd").toStdString(), "a\nb\nc\nd");
  ShowBoxesOver(view_.get());

  // Esc is the close box, which asks; No keeps the window.
  QString title, text;
  int buttons = 0;
  WhenABoxOpens([&](QWidget* box) {
    auto* message = qobject_cast<QMessageBox*>(box);
    ASSERT_NE(message, nullptr);
    title = message->windowTitle();
    text = message->text();
    buttons = static_cast<int>(message->buttons().size());
    EXPECT_EQ(message->icon(), QMessageBox::Critical);
    EXPECT_EQ(message->defaultButton(), message->button(QMessageBox::No));
    QTest::keyClick(message, Qt::Key_Escape);  // not an answer in a Yes/No box
    EXPECT_TRUE(message->isVisible());
    message->buttons()[1]->click();
  });
  QTest::keyClick(view_.get(), Qt::Key_Escape);
  EXPECT_EQ(title.toStdString(), "Cancel?");
  EXPECT_EQ(text.toStdString(), "Cancel configuration?\n\"Yes\" will abort the whole procedure!");
  EXPECT_EQ(buttons, 2);
  EXPECT_TRUE(view_->isVisible());

  // The open dialog of a database button shows Windows paths, never the host's.
  view_->Act(app::Verb::Dir, form_->DirSAR, "C:\\SaveRestore\\Copy_2025_Line1");
  bool sawHostPath = true;
  QString lookIn;
  WhenABoxOpens([&](QWidget* dialog) {
    const std::string host = tree_.root().string();
    sawHostPath = false;
    for (auto* label : dialog->findChildren<QLabel*>())
      if (label->text().toStdString().find(host) != std::string::npos) sawHostPath = true;
    for (auto* list : dialog->findChildren<QListWidget*>())
      for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->text().toStdString().find(host) != std::string::npos) sawHostPath = true;
    lookIn = dialog->findChildren<QLabel*>()[0]->text();
    auto* files = dialog->findChild<QListWidget*>("files");
    ASSERT_NE(files, nullptr);
    ASSERT_GT(files->count(), 0);
    files->setFocus();
    files->setCurrentRow(0);
    QTest::keyClick(files, Qt::Key_Return);
  });
  QTest::mouseClick(Widget<QPushButton>(form_->CommandPath[1]), Qt::LeftButton);
  EXPECT_FALSE(sawHostPath);
  EXPECT_TRUE(lookIn.startsWith("Look in: C:\\")) << lookIn.toStdString();
  const std::string chosen = form_->TextPath[1]->Text();
  EXPECT_EQ(chosen.rfind("C:\\", 0), 0u) << chosen;
  EXPECT_NE(chosen.find(".mdb"), std::string::npos) << chosen;

  // The button's access key is in neither the title nor the file name; a name
  // that is no file is said so and the dialog stays; Cancel leaves the path.
  QString name, said;
  title.clear();
  WhenABoxOpens([&](QWidget* dialog) {
    title = dialog->windowTitle();
    auto* edit = dialog->findChild<QLineEdit*>("name");
    name = edit->text();
    edit->setText("Nichtda.mdb");
    WhenABoxOpens([&](QWidget* box) {
      EXPECT_EQ(box->font(), win::WindowFont(*form_, 1.0));  // that of the window under both
      said = qobject_cast<QMessageBox*>(box)->text();
      qobject_cast<QMessageBox*>(box)->buttons()[0]->click();
    });
    dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open)->click();
    EXPECT_TRUE(dialog->isVisible());
    QTest::keyClick(dialog, Qt::Key_Escape);
  });
  QTest::mouseClick(Widget<QPushButton>(form_->CommandPath[1]), Qt::LeftButton);
  EXPECT_EQ(title.toStdString(), "Pfad für Alarmdefinition.mdb auswählen");
  EXPECT_EQ(name.toStdString(), "Alarmdefinition.mdb");
  EXPECT_EQ(said, QString(win::kFileNotFound).arg("Nichtda.mdb"));
  EXPECT_EQ(form_->TextPath[1]->Text(), chosen);
}

TEST_F(DesktopWindow, TheLogoShowsThePictureExactlyWhereTheLayoutPutsIt) {
  view_->Act(app::Verb::Dir, form_->DirSAR, "C:\\SaveRestore\\Copy_2025_Line1");
  const ui::Picture& logo = form_->ImageLogo->GetPicture();
  ASSERT_FALSE(logo.Empty());
  const std::optional<ui::Pixels> pixels = ui::ReadBitmapPixels(logo.source);
  ASSERT_TRUE(pixels);
  const QImage shown = view_->grab().toImage();
  const QPoint at = view_->WidgetOf(*form_->ImageLogo)->mapTo(view_.get(), QPoint(0, 0));
  int differing = 0;
  for (int y = 0; y < pixels->height; ++y)
    for (int x = 0; x < pixels->width; ++x)
      if ((shown.pixel(at.x() + x, at.y() + y) & 0xFFFFFF) !=
          pixels->rgb[static_cast<size_t>(y) * pixels->width + x])
        ++differing;
  EXPECT_EQ(differing, 0);
}

// Processes events until `done`, for up to 5 s.
bool Until(const std::function<bool()>& done) {
  for (int i = 0; i < 500 && !done(); ++i) QTest::qWait(10);
  return done();
}

// A finger's tap on a widget of the window.
void Tap(win::WindowView& view, QWidget* w) {
  static QPointingDevice* finger = QTest::createTouchDevice();
  const QPoint at = w->mapTo(&view, w->rect().center());
  QTest::touchEvent(&view, finger).press(0, at, &view);
  QTest::touchEvent(&view, finger).release(0, at, &view);
}

TEST_F(DesktopWindow, AFingerTypesASpeedFactorOnTheKeypadAndItIsWritten) {
  view_->Act(app::Verb::Dir, form_->DirSAR, "C:\\SaveRestore\\Copy_2025_Line1");
  ui::Control* capper = form_->TextSpeedFactor[2];
  Tap(*view_, view_->WidgetOf(*capper));
  ASSERT_TRUE(Until([&] { return view_->KeypadFor() == capper; }));
  auto* keypad = view_->findChild<QFrame*>("keypad");
  ASSERT_NE(keypad, nullptr);
  std::map<QString, QPushButton*> keys;
  for (auto* key : keypad->findChildren<QPushButton*>()) {
    keys[key->text()] = key;
    EXPECT_GE(std::min(key->width(), key->height()), 48) << key->text().toStdString();
  }
  for (const char* key : {"4", "2", "7", "\u2190", "Enter"}) Tap(*view_, keys[key]);
  EXPECT_EQ(capper->Text(), "42");  // the first key replaced the copy's value
  EXPECT_FALSE(keypad->isVisible());
  // Esc puts back the value the keys opened on.
  Tap(*view_, view_->WidgetOf(*capper));
  ASSERT_TRUE(Until([&] { return view_->KeypadFor() == capper; }));
  for (const char* key : {"9", "Esc"}) Tap(*view_, keys[key]);
  EXPECT_EQ(capper->Text(), "42");

  form_->WriteInputs();  // what OK writes, short of ending the process
  const std::string ini = tree_.Read("Korvex/parameter/Program.ini");
  const size_t capperAt = ini.find("[Machine2]");
  ASSERT_NE(capperAt, std::string::npos);
  EXPECT_EQ(ini.find("SpeedFactor=", capperAt), ini.find("SpeedFactor=42\r\n", capperAt));
}

TEST_F(DesktopWindow, DrivesTooltipsHelpAndTheDisabledOkSayWhatTheModelSays) {
  // A pick in the drive list takes the folder list to that drive.
  auto* drives = Widget<QComboBox>(form_->DriveSAR);
  drives->setFocus();
  QTest::keyClick(drives, Qt::Key_End);
  EXPECT_EQ(form_->DirSAR->Path().substr(0, 2), "D:");
  EXPECT_EQ(Widget<QListWidget>(form_->DirSAR)->item(0)->text().toStdString(), "d:\\");

  // The language file's tooltips; the disabled OK's says what it waits for, and
  // so does a click on it.
  form_->ComboSupplier->SetToolTipText("Der Lieferant der Maschinen");
  view_->Refresh();
  EXPECT_EQ(Widget<QComboBox>(form_->ComboSupplier)->toolTip(), "Der Lieferant der Maschinen");
  auto* ok = Widget<QPushButton>(form_->CommandOK);
  view_->Act(app::Verb::Dir, form_->DirSAR, "C:\\SaveRestore\\Copy_VWStudio");
  ASSERT_FALSE(ok->isEnabled());
  EXPECT_NE(ok->toolTip().indexOf("Korvex.mdb"), -1) << ok->toolTip().toStdString();
  // The reason stays after the release, until the next input.
  QTest::mouseClick(ok, Qt::LeftButton);
  auto* reason = view_->findChild<QLabel*>("reason");
  ASSERT_NE(reason, nullptr);
  EXPECT_TRUE(reason->isVisible());
  EXPECT_EQ(reason->text(), ok->toolTip());
  QTest::keyClick(view_.get(), Qt::Key_Shift);
  EXPECT_FALSE(reason->isVisible());

  QTest::mouseClick(Widget<QPushButton>(form_->CommandQuest), Qt::LeftButton);
  ASSERT_TRUE(rt::HelpMode);
  // Help mode: pressing a list shows its help once (its focus), and so does
  // each pick.
  auto* date = Widget<QComboBox>(form_->ComboDateFormat);
  size_t before = boxes_.boxes.size();
  QTest::mouseClick(date, Qt::LeftButton);
  EXPECT_EQ(boxes_.boxes.size(), before + 1);
  EXPECT_FALSE(date->view()->isVisible());
  before = boxes_.boxes.size();
  QTest::keyClick(date, date->currentIndex() + 1 < date->count() ? Qt::Key_Down : Qt::Key_Up);
  EXPECT_EQ(boxes_.boxes.size(), before + 1);
}

// Alt and a letter from a focused drop-down is an access key, never a search in
// its entries; a wheel step over a drop-down without the focus scrolls; on the
// seven-inch panel at 96, 120 and 144 dpi every control lies within the screen.
TEST_F(DesktopWindow, AccessKeysAndTheWheelChangeNoValueAndThePanelShowsEveryControl) {
  for (auto [combo, key] :
       {std::pair{form_->ComboSteuerung, Qt::Key_S}, std::pair{form_->ComboSupplier, Qt::Key_N}}) {
    view_->Act(app::Verb::Focus, combo);
    const std::string before = combo->Text();
    QTest::keyClick(Widget<QComboBox>(combo), key, Qt::AltModifier);
    EXPECT_EQ(combo->Text(), before) << combo->DisplayName();
  }
  auto* date = Widget<QComboBox>(form_->ComboDateFormat);
  const std::string before = form_->ComboDateFormat->Text();
  QWheelEvent wheel(QPointF(5, 5), date->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(date, &wheel);
  EXPECT_EQ(form_->ComboDateFormat->Text(), before);

  for (double ratio : {1.0, 1.25, 1.5}) {
    const QSize screen = QSize(800, 480) / ratio;
    win::WindowView panel(*form_, win::WindowView::ScaleFor(form_->window, screen, {}, 96, ratio));
    panel.show();
    EXPECT_TRUE(QRect(QPoint(), screen).contains(QRect(QPoint(), panel.size()))) << ratio;
    for (const auto& owned : form_->window.Controls()) {
      QWidget* w = panel.WidgetOf(*owned);
      if (w != nullptr && owned->Shown()) {
        EXPECT_TRUE(panel.rect().contains(QRect(w->mapTo(&panel, QPoint()), w->size())))
            << owned->DisplayName() << " at " << ratio;
      }
    }
  }
}

TEST_F(DesktopWindow, UnderAGermanLocaleTheToolkitsWordsAreGerman) {
  ASSERT_TRUE(win::SpeakTheHostLanguage(QLocale(QLocale::German, QLocale::Germany)));
  QStringList buttons;
  ShowBoxesOver(view_.get());
  WhenABoxOpens([&](QWidget* box) {
    for (auto* button : box->findChildren<QPushButton*>()) buttons << button->text();
    qobject_cast<QMessageBox*>(box)->button(QMessageBox::No)->click();
  });
  QTest::keyClick(view_.get(), Qt::Key_Escape);
  win::SpeakTheHostLanguage(QLocale(QLocale::English));
  EXPECT_EQ(buttons.join(" ").remove('&').toStdString(), "Ja Nein");
}

}  // namespace

namespace {

// With the keypad on, every kind of thing a finger taps is a fingertip high,
// in the window and in its boxes, even at the smallest scale; the boxes speak
// in the window's font.
TEST_F(DesktopWindow, WithTheKeypadOnEveryKindOfTouchTargetIsAFingertipHigh) {
  setenv("KORVEX_KEYPAD", "on", 1);
  win::WindowView touch(*form_, win::kSmallestReadableScale);
  touch.show();
  ShowBoxesOver(&touch);
  touch.Act(app::Verb::Dir, form_->DirSAR, "C:\\SaveRestore\\Copy_2025_Line1");
  std::map<std::string, int> lowest;  // kind: the lowest height seen
  const auto note = [&](const std::string& kind, int height) {
    lowest[kind] = std::min(lowest.try_emplace(kind, height).first->second, height);
  };
  const auto see = [&](const std::string& where, QWidget* in) {
    for (auto* button : in->findChildren<QPushButton*>()) note(where + " button", button->height());
    for (auto* list : in->findChildren<QListWidget*>())
      for (int i = 0; i < list->count(); ++i)
        note(where + " row", list->visualItemRect(list->item(i)).height());
  };
  see("window", &touch);
  note("window check box", touch.WidgetOf(*form_->CheckTimeChanging)->height());
  int buttonFont = 0;
  WhenABoxOpens([&](QWidget* box) {
    see("message box", box);
    buttonFont = qobject_cast<QMessageBox*>(box)->button(QMessageBox::No)->font().pixelSize();
    qobject_cast<QMessageBox*>(box)->button(QMessageBox::No)->click();
  });
  touch.Act(app::Verb::Close);
  WhenABoxOpens([&](QWidget* dialog) {
    see("file dialog", dialog);
    static_cast<QDialog*>(dialog)->reject();
  });
  touch.Act(app::Verb::Click, form_->CommandPath[1]);
  unsetenv("KORVEX_KEYPAD");
  for (const char* kind : {"window check box", "window row", "message box button",
                           "file dialog button", "file dialog row"}) {
    ASSERT_TRUE(lowest.count(kind)) << kind << ": none seen";
    EXPECT_GE(lowest[kind], win::kFingerPixels) << kind;
  }
  EXPECT_EQ(buttonFont, win::WindowFont(*form_, touch.Scale()).pixelSize());
}

// A message far larger than the panel (a long path, many lines) gives a box
// within the screen, its button on it.
TEST_F(DesktopWindow, AMessageLargerThanThePanelGivesABoxWithinItWithItsButtonOnIt) {
  std::string path = "C:\\Korvex", lines;
  for (int i = 0; i < 60; ++i) {
    path += "\\Unterordner_" + std::to_string(i / 2);
    lines += "Zeile " + std::to_string(i) + "\n\r";
  }
  const QRect screen = view_->screen()->availableGeometry();
  for (const std::string& text : {"Kopieren fehlgeschlagen: " + path, lines}) {
    WhenABoxOpens([&](QWidget* box) {
      QAbstractButton* ok = qobject_cast<QMessageBox*>(box)->buttons()[0];
      EXPECT_TRUE(screen.contains(box->frameGeometry())) << text.substr(0, 40);
      EXPECT_TRUE(screen.contains(QRect(ok->mapToGlobal(QPoint()), ok->size())));
      ok->click();
    });
    win::RunMessageBox(view_.get(),
                       {text, "Fehler", platform::Buttons::OK, platform::Icon::Stop, 0});
  }
}

// Every caption shows whole at every scale the window takes, the smallest
// (below which it scrolls) included: what the toolkit says it needs fits.
TEST_F(DesktopWindow, EveryCaptionShowsWholeAtEveryScale) {
  for (double scale : {win::kSmallestReadableScale, 0.9, 1.0, 1.5}) {
    win::WindowView shown(*form_, scale);
    for (const auto& owned : form_->window.Controls()) {
      QWidget* w = shown.WidgetOf(*owned);
      int needs = 0;
      if (auto* frame = qobject_cast<QGroupBox*>(w))
        needs = frame->minimumSizeHint().width();
      else if (auto* button = qobject_cast<QPushButton*>(w))
        needs = button->fontMetrics().horizontalAdvance(button->text().remove('&'));
      else if (qobject_cast<QCheckBox*>(w) || owned->kind() == ui::Kind::Label)
        needs = w->sizeHint().width();
      EXPECT_LE(needs, w != nullptr ? w->width() : 0) << owned->DisplayName() << " at " << scale;
    }
  }
}

}  // namespace
