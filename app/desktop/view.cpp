#include "app/desktop/view.h"

#include <unistd.h>

#include <QCloseEvent>
#include <QInputDevice>
#include <QLineEdit>
#include <QScreen>
#include <QScroller>
#include <QStyle>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "app/common/actions.h"
#include "app/common/lifecycle.h"
#include "app/desktop/view_parts.h"
#include "base/text.h"
#include "files/file_cache.h"

namespace win {

using namespace view;

int Pixels(int twips, double scale) {
  return static_cast<int>(std::lround(twips * scale / 15.0));
}

double FittingScale(double wanted, QSize design, QSize room, double pixelRatio) {
  const double smallest = std::min(wanted, kSmallestReadableScale / std::max(pixelRatio, 0.01));
  if (room.isEmpty() || design.isEmpty()) return wanted;
  const double fits = std::min(static_cast<double>(room.width()) / design.width(),
                               static_cast<double>(room.height()) / design.height());
  return std::max(smallest, std::min(wanted, fits));
}

QFont WindowFont(const frm_Start_Config_Exe& form, double scale) {
  return FontOf(*form.CommandCancel, scale);
}

bool ForFingers() {
  const char* keypad = std::getenv("KORVEX_KEYPAD");
  if (keypad != nullptr && std::strcmp(keypad, "on") == 0) return true;
  for (const QInputDevice* device : QInputDevice::devices())
    if (device->type() == QInputDevice::DeviceType::TouchScreen) return true;
  return false;
}

double WindowView::ScaleFor(const ui::Window& window, QSize available, QMargins frame,
                            double logicalDpi, double pixelRatio) {
  const ui::Rect client = window.ClientArea();
  // A fractional pixel ratio rounds the screen's size in Qt's pixels up: a
  // pixel less keeps the window within the screen's own pixels.
  QSize room = available.shrunkBy(frame);
  if (pixelRatio != std::floor(pixelRatio)) room -= QSize(1, 1);
  return FittingScale(logicalDpi / 96.0, QSize(Pixels(client.width, 1), Pixels(client.height, 1)),
                      room, pixelRatio);
}

void WindowView::FitToScreen() {
  const QScreen* screen = windowHandle() != nullptr ? windowHandle()->screen() : nullptr;
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (!scaleOfScreen_ || screen == nullptr) return;
  // Without a window manager nothing frames the window: all the screen is its.
  const QMargins frame = windowHandle() != nullptr ? windowHandle()->frameMargins() : QMargins();
  if (frame == fittedFrame_ && !room_.isEmpty()) return;
  fittedFrame_ = frame;
  room_ = screen->availableGeometry().size().shrunkBy(frame);
  const double scale = ScaleFor(form.window, screen->availableGeometry().size(), frame,
                                screen->logicalDotsPerInch(), screen->devicePixelRatio());
  if (scale == scale_) return;
  scale_ = scale;
  // Everything the scale sizes is made again: pictures, the keypad's keys.
  for (const auto& [c, w] : widgets_) w->setProperty("source", QVariant());
  CloseKeypad();
  delete keypad_;
  BuildKeypad();
  Refresh();
  if (!isVisible()) return;
  const QRect room = screen->availableGeometry();
  const QSize whole = size().grownBy(frame);
  move(room.left() + std::max(0, (room.width() - whole.width()) / 2),
       room.top() + std::max(0, (room.height() - whole.height()) / 2));
}

void WindowView::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  FitToScreen();
}

void WindowView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  FitToScreen();
}

WindowView::WindowView(frm_Start_Config_Exe& f, double scale) : form(f), scale_(scale) {
  scaleOfScreen_ = scale_ <= 0;
  if (scaleOfScreen_) scale_ = 1.0;
  if (const char* fd = std::getenv("KORVEX_FRAME_FD"); fd != nullptr && *fd != '\0')
    frameFd_ = std::atoi(fd);
  const char* keypad = std::getenv("KORVEX_KEYPAD");
  keypadAlways_ = keypad != nullptr && std::strcmp(keypad, "on") == 0;
  fingers_ = ForFingers();
  setAutoFillBackground(true);
  // The controls lie on a canvas of the layout's size, which scrolls where the
  // screen is smaller.
  scroller_ = new QScrollArea(this);
  scroller_->setFrameShape(QFrame::NoFrame);
  scroller_->setFocusPolicy(Qt::NoFocus);
  // Where a window manager makes the window larger than asked, the layout
  // stays in its middle.
  scroller_->setAlignment(Qt::AlignCenter);
  canvas_ = new QWidget;
  canvas_->setAutoFillBackground(true);
  scroller_->setWidget(canvas_);
  canvas_->installEventFilter(this);
  auto* whole = new QVBoxLayout(this);
  whole->setContentsMargins(0, 0, 0, 0);
  whole->addWidget(scroller_);
  reason_ = new QLabel(this);
  reason_->setObjectName("reason");
  reason_->setFrameShape(QFrame::Box);
  reason_->setPalette(QToolTip::palette());
  reason_->setAutoFillBackground(true);
  reason_->setMargin(3);
  reason_->hide();
  nextInput_ = new AtNextInput(this, [this] { HideReason(); });
  QScroller::grabGesture(scroller_->viewport(), QScroller::TouchGesture);
  longPress_ = new QTimer(this);
  longPress_->setSingleShot(true);
  longPress_->setInterval(600);
  Build();
  FitToScreen();
  Refresh();
}

QWidget* WindowView::WidgetOf(const ui::Control& c) const {
  const auto at = widgets_.find(&c);
  return at == widgets_.end() ? nullptr : at->second;
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
  // As a tooltip looks, but it stays until the user's next key, click or tap:
  // a tooltip would go as the finger lifts.
  QWidget* at = c != nullptr ? WidgetOf(*c) : nullptr;
  if (at == nullptr) at = this;
  reason_->setFont(WindowFont(form, scale_));
  reason_->setText(Q(reason));
  reason_->adjustSize();
  QPoint where = at->mapTo(this, QPoint(0, at->height()));
  if (where.y() + reason_->height() > height()) where.ry() -= at->height() + reason_->height();
  where.setX(std::clamp(where.x(), 0, std::max(0, width() - reason_->width())));
  where.setY(std::clamp(where.y(), 0, std::max(0, height() - reason_->height())));
  reason_->move(where);
  reason_->raise();
  reason_->show();
  qApp->installEventFilter(nextInput_);
}

void WindowView::HideReason() {
  qApp->removeEventFilter(nextInput_);
  reason_->hide();
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
