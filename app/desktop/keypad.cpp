// The on-screen number keys beside a speed-factor box, for touch screens.

#include <QGridLayout>
#include <QPushButton>

#include "app/desktop/view.h"
#include "app/desktop/view_parts.h"
#include "base/text.h"

namespace win {

using namespace view;

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

}  // namespace win
