#include "app/desktop/view.h"

#include <unistd.h>

#include <QCloseEvent>
#include <QLineEdit>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "app/common/actions.h"
#include "app/common/lifecycle.h"
#include "app/desktop/view_parts.h"
#include "platform/file_cache.h"
#include "platform/text.h"

namespace win {

using namespace view;

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
