// The widgets of the window: one for each control, on the canvas at the
// layout's places, in the window's Tab order.

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScroller>

#include "app/desktop/view.h"
#include "app/desktop/view_parts.h"

namespace win {

using namespace view;

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
        // A finger flicks the list; on a touch screen its rows are fingertip high.
        QScroller::grabGesture(list->viewport(), QScroller::TouchGesture);
        if (fingers_) UseFingerRows(list);
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

  BuildBusyPanel();

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

void WindowView::Place(const ui::Control& c, QWidget* w) {
  const ui::Rect r = c.Position();
  QRect at(Pixels(r.left, scale_), Pixels(r.top, scale_), Pixels(r.width, scale_),
           Pixels(r.height, scale_));
  // A check box a fingertip can hit: as high as one, about the same middle.
  if (fingers_ && c.kind() == ui::Kind::CheckBox && at.height() < kFingerPixels)
    at.adjust(0, -(kFingerPixels - at.height()) / 2, 0, (kFingerPixels - at.height() + 1) / 2);
  w->setGeometry(at);
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

}  // namespace win
