// Keeping the widgets in step with the model: every property a control has,
// the focus, its frame and the pointer, brought up to date after each action.

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QWindow>

#include "app/desktop/view.h"
#include "app/desktop/view_parts.h"
#include "runtime/help_mode.h"

namespace win {

using namespace view;

namespace {

bool HasCaption(const ui::Control& c) {
  switch (c.kind()) {
    case ui::Kind::CommandButton:
    case ui::Kind::CheckBox:
    case ui::Kind::Label:
    case ui::Kind::Frame:
      return true;
    default:
      return false;
  }
}

// The width a widget's caption needs, as the toolkit lays it out.
int CaptionWidth(QWidget* w) {
  if (auto* frame = qobject_cast<QGroupBox*>(w)) return frame->minimumSizeHint().width();
  if (auto* button = qobject_cast<QPushButton*>(w)) {
    const int margin = button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
    return button->fontMetrics().horizontalAdvance(QString(button->text()).remove('&')) + margin;
  }
  return w->sizeHint().width();
}

QString CaptionOf(QWidget* w) {
  if (auto* frame = qobject_cast<QGroupBox*>(w)) return frame->title();
  if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text();
  if (auto* label = qobject_cast<QLabel*>(w)) return label->text();
  return {};
}

// The caption in the layout's font, or where the layout's width would cut it
// (fonts do not shrink in step with the layout, and faces differ in width) in
// the largest smaller size in which it shows whole: never cut, never elided.
// Measured again only when the caption, its width or its font change.
void FitCaption(QWidget* w, QFont font) {
  const QString fitted = CaptionOf(w) + '\n' + QString::number(w->width()) + '\n' + font.toString();
  if (w->property("fitted").toString() == fitted) return;
  w->setProperty("fitted", fitted);
  w->setFont(font);
  while (CaptionWidth(w) > w->width() && font.pixelSize() > 1) {
    font.setPixelSize(font.pixelSize() - 1);
    w->setFont(font);
  }
}

}  // namespace

void WindowView::Refresh() {
  refreshing_ = true;
  const ui::Window& window = form.window;
  setWindowTitle(Q(window.Caption()));
  const ui::Rect client = window.ClientArea();
  const QSize design(Pixels(client.width, scale_), Pixels(client.height, scale_));
  canvas_->setFixedSize(design);
  // As large as the layout, or the screen's room where that is smaller (the
  // layout then scrolls). A window manager that has made the window larger is
  // let (asked to shrink it would not, and the rest stayed unpainted): the
  // layout stays in its middle.
  const QSize shown = room_.isEmpty() ? design : design.boundedTo(room_);
  setMinimumSize(shown);
  const bool framed = windowHandle() != nullptr && !windowHandle()->frameMargins().isNull();
  const bool stretched = framed && isVisible() && size().expandedTo(shown) == size();
  if (shown != asked_ && !stretched) {
    asked_ = shown;
    resize(shown);
  }
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
    if (!NewPicture(label, picture)) return;
    QImage image = PictureImage(picture);
    // Below the layout's own size the picture shrinks with it, as one.
    if (scale_ < 1 && !image.isNull())
      image = image.scaled(Pixels(image.width() * 15, scale_), Pixels(image.height() * 15, scale_),
                           Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    label->setPixmap(QPixmap::fromImage(image));
    return;
  }
  const bool captioned = HasCaption(c);
  if (!captioned) w->setFont(FontOf(c, scale_));

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
  if (captioned) FitCaption(w, FontOf(c, scale_));
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

}  // namespace win
