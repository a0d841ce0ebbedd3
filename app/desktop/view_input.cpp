// The user's input as the model's actions: focus, mouse and keys on the
// controls, Tab, the access keys and the close keys of the window.

#include <unistd.h>

#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTimer>
#include <QToolTip>

#include "app/desktop/view.h"
#include "app/desktop/view_parts.h"
#include "runtime/help_mode.h"

namespace win {

using namespace view;

bool WindowView::eventFilter(QObject* watched, QEvent* event) {
  // The canvas covers the window: its paints are the window's frames.
  if (watched == canvas_ && event->type() == QEvent::Paint && frameFd_ >= 0)
    QTimer::singleShot(0, this, [this] { (void)!write(frameFd_, "frame\n", 6); });
  const auto at = controls_.find(watched);
  if (at == controls_.end() || refreshing_) return QWidget::eventFilter(watched, event);
  // Each handler says whether it took the event; the ones it leaves go on to
  // the widget.
  const Input input{*at->second, WidgetOf(*at->second), watched != WidgetOf(*at->second)};
  bool taken = false;
  switch (event->type()) {
    case QEvent::FocusIn:
      OnFocusIn(input, static_cast<QFocusEvent*>(event)->reason());
      break;
    case QEvent::MouseButtonPress:
      taken = OnMousePress(input, *static_cast<QMouseEvent*>(event));
      break;
    case QEvent::MouseButtonDblClick:
      taken = OnDoubleClick(input, *static_cast<QMouseEvent*>(event));
      break;
    case QEvent::MouseButtonRelease:
      OnMouseRelease(input, *static_cast<QMouseEvent*>(event));
      break;
    case QEvent::KeyPress:
      taken = OnControlKey(input, *static_cast<QKeyEvent*>(event));
      break;
    case QEvent::Wheel:
      taken = OnWheel(input, event);
      break;
    default:
      break;
  }
  return taken || QWidget::eventFilter(watched, event);
}

void WindowView::OnFocusIn(const Input& in, Qt::FocusReason reason) {
  // A focus the user moved (Tab, a click); not one a box took and gave back.
  const ui::Control* c = &in.control;
  if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
      form.window.Focused() != c && !Busy())
    QTimer::singleShot(0, this, [this, c] {
      if (form.window.Focused() != c && WidgetOf(*c)->hasFocus()) Act(app::Verb::Focus, c);
    });
}

bool WindowView::OnMousePress(const Input& in, const QMouseEvent& mouse) {
  const ui::Control* c = &in.control;
  QWidget* w = in.widget;
  if (mouse.button() != Qt::LeftButton) return false;
  if (FromTouch(&mouse)) {
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
  if (!IsList(*c) || !in.inside) return false;
  // The list handles its own mouse: a pick is the model's to make.
  auto* list = static_cast<QListWidget*>(w);
  const QModelIndex index = list->indexAt(mouse.position().toPoint());
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

bool WindowView::OnDoubleClick(const Input& in, const QMouseEvent& mouse) {
  if (!IsList(in.control) || !in.inside) return false;
  if (in.control.kind() == ui::Kind::DirListBox) {
    auto* list = static_cast<QListWidget*>(in.widget);
    const QModelIndex index = list->indexAt(mouse.position().toPoint());
    if (index.isValid())
      Act(app::Verb::Dir, &in.control,
          list->item(index.row())->data(Qt::UserRole).toString().toStdString());
  }
  return true;
}

void WindowView::OnMouseRelease(const Input& in, const QMouseEvent& mouse) {
  longPress_->stop();
  const ui::Control* c = &in.control;
  if (c->kind() != ui::Kind::TextBox || mouse.button() != Qt::LeftButton) return;
  // Qt has put the caret; the box's click handler runs, then the caret stays
  // where the click put it. A tap into a speed factor opens the number keys.
  auto* edit = static_cast<QLineEdit*>(in.widget);
  const int start = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
  const int length = edit->hasSelectedText() ? edit->selectionLength() : 0;
  const bool keys = IsSpeedFactor(*c) && (keypadAlways_ || FromTouch(&mouse));
  QTimer::singleShot(0, this, [this, c, start, length, keys] {
    Act(app::Verb::Click, c);
    Act(app::Verb::Caret, c, std::to_string(start) + " " + std::to_string(length));
    if (keys && form.window.Focused() == c && keypadFor_ != c) OpenKeypad(*c);
  });
}

bool WindowView::OnControlKey(const Input& in, const QKeyEvent& key) {
  const ui::Control* c = &in.control;
  const bool dropDown = c->kind() == ui::Kind::ComboBox || c->kind() == ui::Kind::DriveListBox;
  if (OnAccessKey(key, dropDown)) return true;
  const bool enter = key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter;
  if (enter && c->kind() == ui::Kind::CommandButton) {
    Act(app::Verb::Click, c);
    return true;
  }
  if (c->kind() == ui::Kind::ListBox) {
    auto* list = static_cast<QListWidget*>(in.widget);
    const int count = list->count();
    const int from = c->ListIndex();
    const app::ListMove move = ListMoveOf(key.key());
    if (move == app::ListMove::None) return false;
    const int to = app::MoveInList(move, from, count, 8);
    if (count > 0 && to != from) Act(app::Verb::Select, c, list->item(to)->text().toStdString());
    return true;
  }
  if (enter && c->kind() == ui::Kind::DirListBox) {
    auto* list = static_cast<QListWidget*>(in.widget);
    if (QListWidgetItem* item = list->currentItem())
      Act(app::Verb::Dir, c, item->data(Qt::UserRole).toString().toStdString());
    return true;
  }
  return false;
}

bool WindowView::OnWheel(const Input& in, QEvent* wheel) {
  // A wheel step over a control without the focus scrolls the window, as if
  // the control were not there; only the focused one turns its value.
  if (in.widget->hasFocus() || IsList(in.control)) return false;
  QCoreApplication::sendEvent(scroller_->verticalScrollBar(), wheel);
  return true;
}

bool WindowView::OnAccessKey(const QKeyEvent& event, bool everyLetter) {
  // Alt and an access key that no button took as its own: a label's hands
  // the focus on, as in the terminal window.
  const int key = event.key();
  const std::string letter = key >= Qt::Key_A && key <= Qt::Key_Z
                                 ? std::string(1, static_cast<char>('A' + (key - Qt::Key_A)))
                                 : event.text().toStdString();
  if (event.modifiers() != Qt::AltModifier || letter.empty()) return false;
  const app::AccessTarget target = app::AccessKeyTarget(form.window, letter);
  if (target.control != nullptr)
    Act(target.click ? app::Verb::Click : app::Verb::Focus, target.control);
  return target.matched || everyLetter;
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
  if (OnAccessKey(*event, false)) return;
  QWidget::keyPressEvent(event);
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

}  // namespace win
