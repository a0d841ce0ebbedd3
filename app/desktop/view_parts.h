// What the desktop window's files share: the conversions between the window
// model and Qt, and the few tests of a control's kind they all make.
#pragma once

#include <QAbstractItemView>
#include <QColor>
#include <QFont>
#include <QLabel>
#include <QMouseEvent>
#include <QString>
#include <QStyledItemDelegate>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <utility>

#include "app/common/actions.h"
#include "app/common/presentation.h"
#include "base/failure.h"
#include "form/start_config_form.h"

namespace win::view {

inline QColor ToQColor(ui::Colour c) {
  const uint32_t rgb = app::SystemColour(c);
  return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

inline QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

// The layout's fonts on a sans-serif face Debian has, at the layout's size.
inline QFont FontOf(const ui::Control& c, double scale) {
  const ui::Font f = c.GetFont();
  QFont font;
  font.setFamilies({"Liberation Sans", "Arimo", "Nimbus Sans", "DejaVu Sans"});
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(std::max(1, static_cast<int>(std::lround(f.size * 96.0 / 72.0 * scale))));
  font.setBold(f.bold);
  return font;
}

inline bool IsList(const ui::Control& c) {
  return c.kind() == ui::Kind::ListBox || c.kind() == ui::Kind::DirListBox;
}

// A label's caption as the toolkit shows it: "&&" is one "&", a single "&"
// underlines the next character, its access key.
inline void ShowCaption(QLabel* label, const std::string& caption) {
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
inline app::ListMove ListMoveOf(int qtKey) {
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
inline bool FromTouch(const QMouseEvent* event) {
  return event->device() != nullptr &&
         event->device()->type() == QInputDevice::DeviceType::TouchScreen;
}

inline bool IsSpeedFactor(const ui::Control& c) {
  return c.kind() == ui::Kind::TextBox && c.Name() == "TextSpeedFactor";
}

// The tooltip a control shows: the language file's, and for the disabled OK
// what it waits for, in the words the terminal window uses.
inline QString TipOf(const frm_Start_Config_Exe& form, const ui::Control& c) {
  if (&c == form.CommandOK && c.Shown() && !c.Enabled()) return Q(app::WhyIgnored(form, c));
  try {
    return Q(c.ToolTipText());
  } catch (const platform::Failure&) {
    return {};
  }
}

// The keypad's keys, row by row; the wide ones take two columns.
inline const char* const kKeypadRows[4][4] = {{"7", "8", "9", "\u2190"},
                                              {"4", "5", "6", "-"},
                                              {"1", "2", "3", "Esc"},
                                              {"0", "", "Enter", ""}};

// True when the widget is to show another picture than it shows now; it is
// noted as shown. Pictures are made (and bitmaps read) only when they change.
inline bool NewPicture(QWidget* w, const ui::Picture& picture) {
  const QString source = Q(picture.source);
  if (w->property("source").isValid() && w->property("source").toString() == source) return false;
  w->setProperty("source", source);
  return true;
}

// A list's rows as high as a fingertip needs, for touch screens.
class FingerRows : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(std::max(size.height(), kFingerPixels));
    return size;
  }
};

// Rows a fingertip can hit, in a list that scrolls by pixels: scrolled by
// whole rows, a tap on a row cut by the list's edge would bring it in by a
// row's height, and the second tap of a double tap would land on the next.
inline void UseFingerRows(QAbstractItemView* list) {
  list->setItemDelegate(new FingerRows(list));
  list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
}

// Calls `then` at the user's next key, click, wheel step or touch, wherever in
// the application it lands; the event goes on as usual.
class AtNextInput : public QObject {
 public:
  AtNextInput(QObject* parent, std::function<void()> then)
      : QObject(parent), then_(std::move(then)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::KeyPress:
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick:
      case QEvent::Wheel:
      case QEvent::TouchBegin:
        then_();
        break;
      default:
        break;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void()> then_;
};

}  // namespace win::view
