#include "app/desktop/view.h"

#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>
#include <QToolTip>
#include <QTranslator>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "app/common/actions.h"
#include "app/common/lifecycle.h"
#include "app/common/presentation.h"
#include "form/pictures.h"
#include "platform/failure.h"
#include "platform/file_cache.h"
#include "platform/process.h"
#include "platform/termination.h"
#include "platform/text.h"
#include "runtime/help_mode.h"

namespace win {
namespace {

QColor ToQColor(ui::Colour c) {
  const uint32_t rgb = app::SystemColour(c);
  return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

// The layout's fonts on a sans-serif face Debian has, at the layout's size.
QFont FontOf(const ui::Control& c, double scale) {
  const ui::Font f = c.GetFont();
  QFont font;
  font.setFamilies({"Liberation Sans", "Arimo", "Nimbus Sans", "DejaVu Sans"});
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(std::max(1, static_cast<int>(std::lround(f.size * 96.0 / 72.0 * scale))));
  font.setBold(f.bold);
  return font;
}

bool IsList(const ui::Control& c) {
  return c.kind() == ui::Kind::ListBox || c.kind() == ui::Kind::DirListBox;
}

// A label's caption as the toolkit shows it: "&&" is one "&", a single "&"
// underlines the next character, its access key.
void ShowCaption(QLabel* label, const std::string& caption) {
  const app::ShownCaption shown = app::CaptionShown(caption);
  const QString text = Q(shown.text);
  if (shown.keyAt < 0 || shown.keyAt >= text.size()) {
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    return;
  }
  const QStringView all(text);
  label->setTextFormat(Qt::RichText);
  label->setText(all.left(shown.keyAt).toString().toHtmlEscaped() + "<u>" +
                 all.mid(shown.keyAt, 1).toString().toHtmlEscaped() + "</u>" +
                 all.mid(shown.keyAt + 1).toString().toHtmlEscaped());
}

// A list key of Qt's as a move through a list, so that every face moves alike.
app::ListMove ListMoveOf(int qtKey) {
  switch (qtKey) {
    case Qt::Key_Up:
      return app::ListMove::Up;
    case Qt::Key_Down:
      return app::ListMove::Down;
    case Qt::Key_PageUp:
      return app::ListMove::PageUp;
    case Qt::Key_PageDown:
      return app::ListMove::PageDown;
    case Qt::Key_Home:
      return app::ListMove::Home;
    case Qt::Key_End:
      return app::ListMove::End;
    default:
      return app::ListMove::None;
  }
}

// A mouse event Qt made of a finger on a touch screen.
bool FromTouch(const QMouseEvent* event) {
  return event->device() != nullptr &&
         event->device()->type() == QInputDevice::DeviceType::TouchScreen;
}

bool IsSpeedFactor(const ui::Control& c) {
  return c.kind() == ui::Kind::TextBox && c.Name() == "TextSpeedFactor";
}

// The tooltip a control shows: the language file's, and for the disabled OK
// what it waits for, in the words the terminal window uses.
QString TipOf(const frm_Start_Config_Exe& form, const ui::Control& c) {
  if (&c == form.CommandOK && c.Shown() && !c.Enabled()) return Q(app::WhyIgnored(form, c));
  try {
    return Q(c.ToolTipText());
  } catch (const platform::Failure&) {
    return {};
  }
}

// The keypad's keys, row by row; the wide ones take two columns.
const char* const kKeypadRows[4][4] = {{"7", "8", "9", "\u2190"},
                                       {"4", "5", "6", "-"},
                                       {"1", "2", "3", "Esc"},
                                       {"0", "", "Enter", ""}};

bool german = false;  // the toolkit's words are German (SpeakTheHostLanguage)

// True when the widget is to show another picture than it shows now; it is
// noted as shown. Pictures are made (and bitmaps read) only when they change.
bool NewPicture(QWidget* w, const ui::Picture& picture) {
  const QString source = Q(picture.source);
  if (w->property("source").isValid() && w->property("source").toString() == source) return false;
  w->setProperty("source", source);
  return true;
}

}  // namespace

int Pixels(int twips, double scale) {
  return static_cast<int>(std::lround(twips * scale / 15.0));
}

double FittingScale(double wanted, QSize design, QSize room) {
  double scale = std::max(1.0, wanted);
  if (room.isEmpty() || design.isEmpty()) return scale;
  const double fits = std::min(static_cast<double>(room.width()) / design.width(),
                               static_cast<double>(room.height()) / design.height());
  return std::max(1.0, std::min(scale, fits));
}

bool SpeakTheHostLanguage(const QLocale& locale) {
  static QTranslator* qt = nullptr;
  if (qt != nullptr) {
    QCoreApplication::removeTranslator(qt);
    delete qt;
    qt = nullptr;
  }
  german = locale.language() == QLocale::German;
  auto* translator = new QTranslator;
  if (!translator->load(locale, "qtbase", "_",
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return german;
  }
  QCoreApplication::installTranslator(translator);
  qt = translator;
  return true;
}

QString ToolkitWord(const char* english) {
  // Qt's own words of its file dialog where its translation has them; the
  // window's own German for the rest.
  static const struct {
    const char* english;
    const char* qtSource;
    const char* german;
  } kWords[] = {{"Look in:", "Look in:", "Suchen in:"},
                {"File name:", "File &name:", "Datei&name:"},
                {"Files of type:", "Files of type:", "Dateien des Typs:"},
                {"Folders", nullptr, "Ordner"},
                {"Files", nullptr, "Dateien"}};
  for (const auto& w : kWords) {
    if (std::strcmp(w.english, english) != 0) continue;
    if (w.qtSource != nullptr) {
      const QString translated = QCoreApplication::translate("QFileDialog", w.qtSource);
      if (translated != QLatin1String(w.qtSource)) return translated;
    }
    if (german) return QString::fromUtf8(w.german);
    return QCoreApplication::translate("Start_Config", english);
  }
  return QCoreApplication::translate("Start_Config", english);
}

QImage PictureImage(const ui::Picture& picture, bool enabled) {
  if (picture.Empty()) return {};
  if (!picture.rows.empty()) {
    QImage image(picture.width, picture.height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int y = 0; y < picture.height && y < static_cast<int>(picture.rows.size()); ++y) {
      const std::string& row = picture.rows[y];
      for (int x = 0; x < picture.width && x < static_cast<int>(row.size()); ++x)
        if (row[x] != '.') image.setPixel(x, y, 0xFF000000u | InkRgb(row[x], enabled));
    }
    return image;
  }
  const std::optional<ui::Pixels> pixels = ui::ReadBitmapPixels(picture.source);
  if (!pixels) return {};
  QImage image(pixels->width, pixels->height, QImage::Format_RGB32);
  for (int y = 0; y < pixels->height; ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < pixels->width; ++x)
      line[x] = 0xFF000000u | pixels->rgb[static_cast<size_t>(y) * pixels->width + x];
  }
  return image;
}

// Fusion with the classic grey of the layout's colours.
void UseClassicLook(QApplication& application) {
  application.setStyle(QStyleFactory::create("Fusion"));
  QPalette palette = application.style()->standardPalette();
  const QColor grey(192, 192, 192);
  palette.setColor(QPalette::Window, grey);
  palette.setColor(QPalette::Button, grey);
  palette.setColor(QPalette::Base, Qt::white);
  palette.setColor(QPalette::Highlight, QColor(0, 0, 128));
  palette.setColor(QPalette::HighlightedText, Qt::white);
  palette.setColor(QPalette::WindowText, Qt::black);
  palette.setColor(QPalette::ButtonText, Qt::black);
  palette.setColor(QPalette::Text, Qt::black);
  palette.setColor(QPalette::Disabled, QPalette::Text, QColor(128, 128, 128));
  palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(128, 128, 128));
  palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(128, 128, 128));
  application.setPalette(palette);
}

WindowView::WindowView(frm_Start_Config_Exe& f, double scale) : form(f), scale_(scale) {
  if (scale_ <= 0) {
    scale_ = 1.0;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
      // Room for a window manager's title bar and borders, where there is one.
      const int border = 2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
      room_ = screen->availableGeometry().size() -
              QSize(border, border + style()->pixelMetric(QStyle::PM_TitleBarHeight));
      const ui::Rect client = form.window.ClientArea();
      scale_ = FittingScale(screen->logicalDotsPerInch() / 96.0,
                            QSize(Pixels(client.width, 1), Pixels(client.height, 1)), room_);
    }
  }
  if (const char* fd = std::getenv("KORVEX_FRAME_FD"); fd != nullptr && *fd != '\0')
    frameFd_ = std::atoi(fd);
  const char* keypad = std::getenv("KORVEX_KEYPAD");
  keypadAlways_ = keypad != nullptr && std::strcmp(keypad, "on") == 0;
  setAutoFillBackground(true);
  // The controls lie on a canvas of the layout's size, which scrolls where the
  // screen is smaller.
  scroller_ = new QScrollArea(this);
  scroller_->setFrameShape(QFrame::NoFrame);
  scroller_->setFocusPolicy(Qt::NoFocus);
  canvas_ = new QWidget;
  canvas_->setAutoFillBackground(true);
  scroller_->setWidget(canvas_);
  canvas_->installEventFilter(this);
  auto* whole = new QVBoxLayout(this);
  whole->setContentsMargins(0, 0, 0, 0);
  whole->addWidget(scroller_);
  longPress_ = new QTimer(this);
  longPress_->setSingleShot(true);
  longPress_->setInterval(600);
  Build();
  Refresh();
}

QWidget* WindowView::WidgetOf(const ui::Control& c) const {
  const auto at = widgets_.find(&c);
  return at == widgets_.end() ? nullptr : at->second;
}

void WindowView::Build() {
  for (const auto& owned : form.window.Controls()) {
    const ui::Control& c = *owned;
    QWidget* parent = c.Container() != nullptr ? WidgetOf(*c.Container()) : canvas_;
    if (parent == nullptr) parent = canvas_;
    QWidget* w = nullptr;
    const ui::Control* cp = &c;
    switch (c.kind()) {
      case ui::Kind::CommandButton: {
        auto* button = new QPushButton(parent);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, cp] { Act(app::Verb::Click, cp); });
        w = button;
        break;
      }
      case ui::Kind::ComboBox:
      case ui::Kind::DriveListBox: {
        auto* combo = new QComboBox(parent);
        const bool drive = c.kind() == ui::Kind::DriveListBox;
        connect(combo, &QComboBox::activated, this, [this, cp, combo, drive](int index) {
          if (index < 0) return;
          Act(drive ? app::Verb::Drive : app::Verb::Select, cp,
              combo->itemText(index).toStdString());
        });
        w = combo;
        break;
      }
      case ui::Kind::CheckBox: {
        auto* box = new QCheckBox(parent);
        connect(box, &QCheckBox::clicked, this, [this, cp] { Act(app::Verb::Click, cp); });
        w = box;
        break;
      }
      case ui::Kind::Image:
      case ui::Kind::Label: {
        auto* label = new QLabel(parent);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setTextFormat(Qt::PlainText);
        w = label;
        break;
      }
      case ui::Kind::Frame: {
        auto* frame = new QGroupBox(parent);
        frame->setFlat(false);
        w = frame;
        break;
      }
      case ui::Kind::TextBox: {
        auto* edit = new QLineEdit(parent);
        connect(edit, &QLineEdit::textEdited, this,
                [this, cp](const QString& text) { OnTextEdited(*cp, text); });
        connect(edit, &QLineEdit::cursorPositionChanged, this, [this, cp] { OnCaretMoved(*cp); });
        connect(edit, &QLineEdit::selectionChanged, this, [this, cp] { OnCaretMoved(*cp); });
        w = edit;
        break;
      }
      case ui::Kind::ListBox:
      case ui::Kind::DirListBox: {
        auto* list = new QListWidget(parent);
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        list->viewport()->installEventFilter(this);
        controls_[list->viewport()] = cp;
        const bool folders = c.kind() == ui::Kind::DirListBox;
        // Moving through a folder list clicks it. A list's entries are picked by
        // the keys and clicks themselves (see eventFilter): a list that merely
        // gets the focus picks nothing.
        if (folders)
          connect(list, &QListWidget::currentRowChanged, this, [this, cp](int row) {
            if (!refreshing_ && row >= 0) Act(app::Verb::Click, cp);
          });
        w = list;
        break;
      }
      case ui::Kind::CommonDialog:
        continue;
    }
    w->setObjectName(Q(c.DisplayName()));
    w->setFocusPolicy(ui::TakesFocus(c.kind()) ? Qt::StrongFocus : Qt::NoFocus);
    w->installEventFilter(this);
    controls_[w] = cp;
    widgets_[cp] = w;
  }

  // Shown over the window while OK copies: the file and the share done.
  progress_ = new QFrame(this);
  progress_->setFrameShape(QFrame::Panel);
  progress_->setFrameShadow(QFrame::Raised);
  progress_->setAutoFillBackground(true);
  auto* layout = new QVBoxLayout(progress_);
  progressName_ = new QLabel(progress_);
  progressBar_ = new QProgressBar(progress_);
  progressBar_->setRange(0, 1000);
  progressBar_->setTextVisible(true);
  layout->addWidget(progressName_);
  layout->addWidget(progressBar_);
  progress_->hide();

  // The focus as the model has it, whether or not the window system tells the
  // window of its own focus.
  focusFrame_ = new QFrame(canvas_);
  focusFrame_->setFrameShape(QFrame::Box);
  focusFrame_->setAttribute(Qt::WA_TransparentForMouseEvents);
  QPalette navy = focusFrame_->palette();
  navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
  focusFrame_->setPalette(navy);
  focusFrame_->hide();
  BuildKeypad();
  KeepTabOrder();
}

void WindowView::BuildKeypad() {
  keypad_ = new QFrame(canvas_);
  keypad_->setObjectName("keypad");
  keypad_->setFrameShape(QFrame::Panel);
  keypad_->setFrameShadow(QFrame::Raised);
  keypad_->setAutoFillBackground(true);
  auto* grid = new QGridLayout(keypad_);
  const int side = Pixels(48 * 15, scale_);  // a fingertip's 48 px at 96 dpi
  grid->setSpacing(Pixels(4 * 15, scale_));
  QFont font;
  font.setPixelSize(Pixels(18 * 15, scale_));
  font.setBold(true);
  for (int row = 0; row < 4; ++row) {
    for (int column = 0; column < 4; ++column) {
      const QString key = QString::fromUtf8(kKeypadRows[row][column]);
      if (key.isEmpty()) continue;
      const bool wide = row == 3;
      auto* button = new QPushButton(key, keypad_);
      button->setFocusPolicy(Qt::NoFocus);  // the box keeps the focus
      button->setAutoRepeat(key == QStringLiteral("\u2190"));
      button->setMinimumSize(wide ? 2 * side + grid->spacing() : side, side);
      button->setFont(font);
      connect(button, &QPushButton::clicked, this, [this, key] { PressKeypadKey(key); });
      grid->addWidget(button, row, column, 1, wide ? 2 : 1);
    }
  }
  keypad_->hide();
}

void WindowView::OpenKeypad(const ui::Control& box) {
  QWidget* w = WidgetOf(box);
  if (w == nullptr || !box.Usable()) return;
  keypadFor_ = &box;
  keypadBefore_ = box.Text();
  // The whole value selected: the first key replaces it, as a typed value does.
  Act(app::Verb::Caret, &box, "0 " + std::to_string(platform::CharCount(box.Text())));
  if (keypadFor_ == nullptr) return;
  keypad_->adjustSize();
  const QRect at(w->mapTo(canvas_, QPoint(0, 0)), w->size());
  const int gap = Pixels(6 * 15, scale_);
  int x = at.right() + gap;
  if (x + keypad_->width() > canvas_->width()) x = at.left() - gap - keypad_->width();
  const int y = std::clamp(at.top(), 0, std::max(0, canvas_->height() - keypad_->height()));
  keypad_->move(std::max(0, x), y);
  keypad_->raise();
  keypad_->show();
  scroller_->ensureWidgetVisible(keypad_, 0, 0);
}

void WindowView::PressKeypadKey(const QString& key) {
  const ui::Control* c = keypadFor_;
  if (c == nullptr) return;
  if (key == QStringLiteral("Enter")) {
    CloseKeypad();
  } else if (key == QStringLiteral("Esc")) {
    // The value as it was when the keys opened.
    Act(app::Verb::Caret, c, "0 " + std::to_string(platform::CharCount(c->Text())));
    Act(app::Verb::Type, c, keypadBefore_);
    CloseKeypad();
  } else if (key == QStringLiteral("\u2190")) {
    if (c->SelLength() == 0 && c->SelStart() > 0)
      Act(app::Verb::Caret, c, std::to_string(c->SelStart() - 1) + " 1");
    Act(app::Verb::Type, c, "");
  } else {
    Act(app::Verb::Type, c, key.toStdString());
  }
}

void WindowView::CloseKeypad() {
  keypadFor_ = nullptr;
  keypad_->hide();
}

void WindowView::ShowFocusFrame() {
  const ui::Control* focused = form.window.Focused();
  QWidget* w = focused != nullptr ? WidgetOf(*focused) : nullptr;
  if (w == nullptr || !w->isVisibleTo(canvas_) || !w->isEnabled()) {
    focusFrame_->hide();
    return;
  }
  const int line = std::max(2, Pixels(2 * 15, scale_));
  focusFrame_->setLineWidth(line);
  focusFrame_->setGeometry(
      QRect(w->mapTo(canvas_, QPoint(0, 0)), w->size()).adjusted(-line, -line, line, line));
  focusFrame_->raise();
  if (keypad_->isVisible()) keypad_->raise();
  focusFrame_->show();
  scroller_->ensureWidgetVisible(w, line, line);
}

bool WindowView::focusNextPrevChild(bool next) {
  // Tab and Shift+Tab move the model's focus along the window's Tab order, and
  // the widgets follow it: the got-focus handlers run (a speed factor's value
  // selected) even where no focus event reaches the window.
  if (refreshing_ || Busy()) return true;
  const ui::Control* from = form.window.Focused();
  if (from == nullptr) {
    const auto at = controls_.find(focusWidget());
    if (at != controls_.end()) from = at->second;
  }
  if (ui::Control* to = app::NextInTabOrder(form.window, from, next ? 1 : -1))
    Act(app::Verb::Focus, to);
  return true;
}

void WindowView::Place(const ui::Control& c, QWidget* w) {
  const ui::Rect r = c.Position();
  w->setGeometry(Pixels(r.left, scale_), Pixels(r.top, scale_), Pixels(r.width, scale_),
                 Pixels(r.height, scale_));
}

void WindowView::KeepTabOrder() {
  QWidget* previous = nullptr;
  for (ui::Control* c : TabOrder(form.window)) {
    QWidget* w = WidgetOf(*c);
    if (w == nullptr) continue;
    if (previous != nullptr) setTabOrder(previous, w);
    previous = w;
  }
}

void WindowView::Refresh() {
  refreshing_ = true;
  const ui::Window& window = form.window;
  setWindowTitle(Q(window.Caption()));
  const ui::Rect client = window.ClientArea();
  const QSize design(Pixels(client.width, scale_), Pixels(client.height, scale_));
  canvas_->setFixedSize(design);
  setFixedSize(room_.isEmpty() ? design : design.boundedTo(room_));
  QPalette own = palette();
  own.setColor(QPalette::Window, ToQColor(window.BackColor()));
  setPalette(own);
  canvas_->setPalette(own);
  for (const auto& [c, w] : widgets_) RefreshControl(*c, w);

  // The focus follows the model's; a control the model left without it keeps
  // Qt's, which the next Tab moves on from.
  if (ui::Control* focused = window.Focused()) {
    QWidget* w = WidgetOf(*focused);
    if (w != nullptr && w->isVisibleTo(this) && w->isEnabled() && !w->hasFocus())
      w->setFocus(Qt::OtherFocusReason);
  }
  if (keypadFor_ != nullptr && (window.Focused() != keypadFor_ || !keypadFor_->Usable()))
    CloseKeypad();
  ShowFocusFrame();

  // The pointer: the hourglass while the step works, the What's-This arrow in
  // help mode.
  const Qt::CursorShape shape = window.GetMousePointer() == ui::MousePointer::Hourglass
                                    ? Qt::WaitCursor
                                : rt::HelpMode ? Qt::WhatsThisCursor
                                               : Qt::ArrowCursor;
  if (shape != cursor().shape() || (shape == Qt::ArrowCursor && testAttribute(Qt::WA_SetCursor))) {
    for (const auto& [c, w] : widgets_) {
      if (shape == Qt::ArrowCursor)
        w->unsetCursor();
      else
        w->setCursor(shape);
    }
    if (shape == Qt::ArrowCursor)
      unsetCursor();
    else
      setCursor(shape);
  }
  refreshing_ = false;
}

void WindowView::RefreshControl(const ui::Control& c, QWidget* w) {
  const bool shown = c.Visible();
  if (w->isVisibleTo(w->parentWidget()) != shown) w->setVisible(shown);
  if (w->isEnabled() != c.Enabled()) w->setEnabled(c.Enabled());
  Place(c, w);
  if (const QString tip = TipOf(form, c); w->toolTip() != tip) w->setToolTip(tip);
  if (c.kind() == ui::Kind::Image) {
    // The bitmap as it is, pixel for pixel, at the control's top left.
    auto* label = static_cast<QLabel*>(w);
    const ui::Picture& picture = c.GetPicture();
    if (NewPicture(label, picture)) label->setPixmap(QPixmap::fromImage(PictureImage(picture)));
    return;
  }
  w->setFont(FontOf(c, scale_));

  QPalette palette = w->palette();
  const QColor back = ToQColor(c.BackColor());
  palette.setColor(QPalette::Window, back);
  palette.setColor(QPalette::Button, back);
  if (c.kind() == ui::Kind::Label || c.kind() == ui::Kind::CheckBox) {
    palette.setColor(QPalette::WindowText, ToQColor(c.ForeColor()));
    // The same grey as the frame behind is left to the frame to paint: the
    // style shades a frame's inside a little.
    const ui::Control* under = c.Container();
    const ui::Colour behind = under != nullptr ? under->BackColor() : form.window.BackColor();
    w->setAutoFillBackground(ToQColor(c.BackColor()) != ToQColor(behind));
  }
  w->setPalette(palette);

  switch (c.kind()) {
    case ui::Kind::CommandButton: {
      auto* button = static_cast<QPushButton*>(w);
      button->setText(Q(c.Caption()));
      const ui::Picture& picture = c.GetPicture();
      if (NewPicture(button, picture) && !picture.Empty()) {
        // The picture at its own size; the disabled look is the toolkit's.
        QIcon icon(QPixmap::fromImage(PictureImage(picture)));
        icon.addPixmap(QPixmap::fromImage(PictureImage(picture, false)), QIcon::Disabled);
        button->setIcon(icon);
        button->setIconSize(
            QSize(Pixels(picture.width * 15, scale_), Pixels(picture.height * 15, scale_)));
      } else if (picture.Empty()) {
        button->setIcon(QIcon());
      }
      break;
    }
    case ui::Kind::ComboBox:
    case ui::Kind::DriveListBox: {
      auto* combo = static_cast<QComboBox*>(w);
      const std::vector<std::string> entries = app::ListEntries(c);
      bool same = combo->count() == static_cast<int>(entries.size());
      for (int i = 0; same && i < combo->count(); ++i)
        same = combo->itemText(i).toStdString() == entries[i];
      if (!same) {
        combo->clear();
        for (const std::string& e : entries) combo->addItem(Q(e));
      }
      combo->setCurrentIndex(app::SelectedEntry(c));
      break;
    }
    case ui::Kind::CheckBox: {
      auto* box = static_cast<QCheckBox*>(w);
      box->setText(Q(c.Caption()));
      box->setCheckState(c.Value() == 0   ? Qt::Unchecked
                         : c.Value() == 1 ? Qt::Checked
                                          : Qt::PartiallyChecked);
      break;
    }
    case ui::Kind::Image:
    case ui::Kind::CommonDialog:
      break;
    case ui::Kind::Label:
      ShowCaption(static_cast<QLabel*>(w), c.Caption());
      break;
    case ui::Kind::Frame:
      static_cast<QGroupBox*>(w)->setTitle(Q(c.Caption()));
      break;
    case ui::Kind::TextBox: {
      auto* edit = static_cast<QLineEdit*>(w);
      const QString text = Q(c.Text());
      if (edit->text() != text) edit->setText(text);
      // The selection shows only while the box has the focus, as the system's
      // text boxes hide it.
      const int start = c.SelStart(), length = c.SelLength();
      if (length > 0 && form.window.Focused() == &c)
        edit->setSelection(start, length);
      else
        edit->setCursorPosition(start);
      break;
    }
    case ui::Kind::ListBox: {
      auto* list = static_cast<QListWidget*>(w);
      const std::vector<std::string> entries = app::ListEntries(c);
      bool same = list->count() == static_cast<int>(entries.size());
      for (int i = 0; same && i < list->count(); ++i)
        same = list->item(i)->text().toStdString() == entries[i];
      if (!same) {
        list->clear();
        for (const std::string& e : entries) list->addItem(Q(e));
      }
      list->setCurrentRow(c.ListIndex());
      if (c.ListIndex() < 0) list->clearSelection();
      break;
    }
    case ui::Kind::DirListBox:
      RefreshFolders(c);
      break;
  }
}

// The folder list shows the open path's folders down to the current one, then
// its subfolders; read again only when the folder changes.
void WindowView::RefreshFolders(const ui::Control& c) {
  auto* list = static_cast<QListWidget*>(WidgetOf(c));
  if (c.Path() == foldersPath_ && list->count() > 0) return;
  foldersPath_ = c.Path();
  list->clear();
  const std::vector<app::FolderEntry> entries = app::FolderEntries(c);
  const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
  const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
  for (const app::FolderEntry& e : entries) {
    // Indented by depth, as the folder tree goes down.
    auto* item =
        new QListWidgetItem(e.open ? open : closed, QString(e.depth * 2, QChar(' ')) + Q(e.label));
    item->setData(Qt::UserRole, Q(e.path));
    list->addItem(item);
  }
  list->setCurrentRow(app::CurrentFolderEntry(entries));
}

void WindowView::Act(app::Verb verb, const ui::Control* c, const std::string& argument) {
  if (refreshing_ || Busy()) return;
  ++busy_;
  app::Outcome outcome;
  app::UntilEndRequest(form, nullptr,
                       [&] { outcome = app::ApplyUserAction(form, verb, c, argument); });
  --busy_;
  ShowCopyProgress("", 0, 0);
  platform::SyncWrittenFiles();
  Refresh();
  if (!outcome.Applied()) ShowReason(c, app::ShownReason(form, c, outcome));
}

void WindowView::ShowReason(const ui::Control* c, const std::string& reason) {
  QWidget* at = c != nullptr ? WidgetOf(*c) : nullptr;
  if (at == nullptr) at = this;
  QToolTip::showText(at->mapToGlobal(QPoint(0, at->height())), Q(reason), at);
}

void WindowView::OnTextEdited(const ui::Control& c, const QString& edited) {
  // The edit as a user's typing: the replaced part selected, then the new
  // characters typed over it, so that the box's handlers see what a script's
  // "type" gives them.
  const std::u32string before = platform::DecodeUtf8(c.Text());
  const std::u32string after = platform::DecodeUtf8(edited.toStdString());
  size_t prefix = 0;
  while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix])
    ++prefix;
  size_t suffix = 0;
  while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
         before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
    ++suffix;
  const size_t removed = before.size() - prefix - suffix;
  const std::u32string inserted = after.substr(prefix, after.size() - prefix - suffix);
  Act(app::Verb::Caret, &c, std::to_string(prefix) + " " + std::to_string(removed));
  std::string typed;
  for (char32_t ch : inserted) typed += platform::EncodeUtf8(ch);
  Act(app::Verb::Type, &c, typed);
}

void WindowView::OnCaretMoved(const ui::Control& c) {
  if (refreshing_ || Busy()) return;
  auto* edit = static_cast<QLineEdit*>(WidgetOf(c));
  if (!edit->hasFocus()) return;
  int start = edit->cursorPosition(), length = 0;
  if (edit->hasSelectedText()) {
    start = edit->selectionStart();
    length = edit->selectionLength();
  }
  if (start == c.SelStart() && length == c.SelLength()) return;
  Act(app::Verb::Caret, &c, std::to_string(start) + " " + std::to_string(length));
}

void WindowView::ShowCopyProgress(const std::string& destination, uint64_t copied, uint64_t size) {
  if (destination.empty()) {
    progress_->hide();
    return;
  }
  const int width = Pixels(6000, scale_);
  progress_->setGeometry((this->width() - width) / 2, height() / 2 - Pixels(600, scale_), width,
                         Pixels(1000, scale_));
  progressName_->setText(Q(destination));
  progressBar_->setValue(size == 0 ? 1000 : static_cast<int>(copied * 1000 / size));
  progress_->raise();
  progress_->show();
}

bool WindowView::eventFilter(QObject* watched, QEvent* event) {
  // The canvas covers the window: its paints are the window's frames.
  if (watched == canvas_ && event->type() == QEvent::Paint && frameFd_ >= 0)
    QTimer::singleShot(0, this, [this] { (void)!write(frameFd_, "frame\n", 6); });
  const auto at = controls_.find(watched);
  if (at == controls_.end() || refreshing_) return QWidget::eventFilter(watched, event);
  const ui::Control* c = at->second;
  QWidget* w = WidgetOf(*c);
  switch (event->type()) {
    case QEvent::FocusIn: {
      // A focus the user moved (Tab, a click); not one a box took and gave back.
      const auto reason = static_cast<QFocusEvent*>(event)->reason();
      if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
          form.window.Focused() != c && !Busy())
        QTimer::singleShot(0, this, [this, c] {
          if (form.window.Focused() != c && WidgetOf(*c)->hasFocus()) Act(app::Verb::Focus, c);
        });
      break;
    }
    case QEvent::MouseButtonPress: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::LeftButton) break;
      if (FromTouch(mouse)) {
        // A finger held on a control shows its tooltip, as hovering does.
        longPress_->disconnect();
        connect(longPress_, &QTimer::timeout, this, [w] {
          if (!w->toolTip().isEmpty())
            QToolTip::showText(w->mapToGlobal(QPoint(0, w->height())), w->toolTip(), w);
        });
        longPress_->start();
      }
      if (!c->Usable() && c->Shown()) {
        // A disabled control takes no click; the click learns why (the disabled OK
        // says what it waits for).
        Act(app::Verb::Click, c);
        return true;
      }
      if (c->kind() == ui::Kind::Label || c->kind() == ui::Kind::Frame) {
        Act(app::Verb::Click, c);
        return true;
      }
      if ((c->kind() == ui::Kind::ComboBox || c->kind() == ui::Kind::DriveListBox) &&
          form.window.Focused() != c) {
        // The list gets the focus as it is pressed, not with its pick, which would
        // run its got-focus handler too: in help mode one pick, one box. The
        // got-focus help box answers the press, and the list stays closed.
        Act(app::Verb::Focus, c);
        if (rt::HelpMode) return true;
      }
      if (IsList(*c) && watched != w) {
        // The list handles its own mouse: a pick is the model's to make.
        auto* list = static_cast<QListWidget*>(w);
        const QModelIndex index = list->indexAt(mouse->position().toPoint());
        if (c->kind() == ui::Kind::ListBox) {
          if (index.isValid())
            Act(app::Verb::Select, c, list->item(index.row())->text().toStdString());
          else
            Act(app::Verb::Click, c);
        } else {
          if (index.isValid()) {
            refreshing_ = true;
            list->setCurrentRow(index.row());
            refreshing_ = false;
          }
          Act(app::Verb::Click, c);
        }
        list->setFocus(Qt::MouseFocusReason);
        return true;
      }
      break;
    }
    case QEvent::MouseButtonDblClick:
      if (c->kind() == ui::Kind::DirListBox && watched != w) {
        auto* list = static_cast<QListWidget*>(w);
        const QModelIndex index =
            list->indexAt(static_cast<QMouseEvent*>(event)->position().toPoint());
        if (index.isValid())
          Act(app::Verb::Dir, c,
              list->item(index.row())->data(Qt::UserRole).toString().toStdString());
        return true;
      }
      if (IsList(*c) && watched != w) return true;
      break;
    case QEvent::MouseButtonRelease:
      longPress_->stop();
      if (c->kind() == ui::Kind::TextBox &&
          static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        // Qt has put the caret; the box's click handler runs, then the caret stays
        // where the click put it. A tap into a speed factor opens the number keys.
        auto* edit = static_cast<QLineEdit*>(w);
        const int start = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
        const int length = edit->hasSelectedText() ? edit->selectionLength() : 0;
        const bool keys =
            IsSpeedFactor(*c) && (keypadAlways_ || FromTouch(static_cast<QMouseEvent*>(event)));
        QTimer::singleShot(0, this, [this, c, start, length, keys] {
          Act(app::Verb::Click, c);
          Act(app::Verb::Caret, c, std::to_string(start) + " " + std::to_string(length));
          if (keys && form.window.Focused() == c && keypadFor_ != c) OpenKeypad(*c);
        });
      }
      break;
    case QEvent::KeyPress: {
      auto* key = static_cast<QKeyEvent*>(event);
      const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
      if (enter && c->kind() == ui::Kind::CommandButton) {
        Act(app::Verb::Click, c);
        return true;
      }
      if (c->kind() == ui::Kind::ListBox) {
        auto* list = static_cast<QListWidget*>(w);
        const int count = list->count();
        const int from = c->ListIndex();
        const app::ListMove move = ListMoveOf(key->key());
        if (move == app::ListMove::None) break;
        const int to = app::MoveInList(move, from, count, 8);
        if (count > 0 && to != from)
          Act(app::Verb::Select, c, list->item(to)->text().toStdString());
        return true;
      }
      if (enter && c->kind() == ui::Kind::DirListBox) {
        auto* list = static_cast<QListWidget*>(w);
        if (QListWidgetItem* item = list->currentItem())
          Act(app::Verb::Dir, c, item->data(Qt::UserRole).toString().toStdString());
        return true;
      }
      break;
    }
    default:
      break;
  }
  return QWidget::eventFilter(watched, event);
}

void WindowView::keyPressEvent(QKeyEvent* event) {
  // Esc and Alt+F4 are the close box, which asks first.
  const bool altF4 = event->key() == Qt::Key_F4 && (event->modifiers() & Qt::AltModifier);
  if (event->key() == Qt::Key_Escape || altF4) {
    Act(app::Verb::Close);
    return;
  }
  if (event->key() == Qt::Key_F1) {
    Act(app::Verb::Click, form.CommandQuest);
    return;
  }
  // Alt and an access key that no button took as its own: a label's hands
  // the focus on, as in the terminal window.
  const int key = event->key();
  const std::string letter = key >= Qt::Key_A && key <= Qt::Key_Z
                                 ? std::string(1, static_cast<char>('A' + (key - Qt::Key_A)))
                                 : event->text().toStdString();
  if (event->modifiers() == Qt::AltModifier && !letter.empty()) {
    const app::AccessTarget target = app::AccessKeyTarget(form.window, letter);
    if (target.control != nullptr)
      Act(target.click ? app::Verb::Click : app::Verb::Focus, target.control);
    if (target.matched) return;
  }
  QWidget::keyPressEvent(event);
}

void WindowView::closeEvent(QCloseEvent* event) {
  // The model decides: it asks, and ends the process when the answer is yes.
  event->ignore();
  if (!Busy()) Act(app::Verb::Close);
}

void WindowView::paintEvent(QPaintEvent* event) {
  QWidget::paintEvent(event);
  if (frameFd_ >= 0) QTimer::singleShot(0, this, [this] { (void)!write(frameFd_, "frame\n", 6); });
}

}  // namespace win
