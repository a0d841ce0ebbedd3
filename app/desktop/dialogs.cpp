#include "app/desktop/dialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScroller>
#include <QStyle>
#include <QWindow>
#include <algorithm>

#include "app/common/file_choice.h"
#include "app/desktop/view.h"
#include "app/desktop/view_parts.h"
#include "base/termination.h"
#include "platform/filesys.h"

namespace win {
namespace {

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

// The box or dialog open now, for CloseOpenBoxes.
QPointer<QDialog> openBox;

// Esc does nothing in a box that has no single answer for it.
class IgnoreEscape : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
      return true;
    return QObject::eventFilter(watched, event);
  }
};

// True when something else draws the box's frame and title: a window manager
// on X (the window it framed has margins), Qt's own decorations on Wayland.
// Framebuffers, VNC and an X server without a window manager have none.
bool FramedBySystem(const QWidget* parent) {
  const QString platform = QGuiApplication::platformName();
  if (platform.startsWith("wayland")) return true;
  if (platform != "xcb") return false;
  const QWindow* window = parent != nullptr ? parent->window()->windowHandle() : nullptr;
  if (window == nullptr || !window->isVisible()) return true;  // before the window: a desktop
  return !window->frameMargins().isNull();
}

// Keeps a box centred over the window (or the screen) as its size settles, and
// where nothing frames it, draws its frame and its title itself.
class BoxFrame : public QObject {
 public:
  explicit BoxFrame(QDialog& dialog) : QObject(&dialog), dialog_(dialog) {
    dialog.installEventFilter(this);
    if (FramedBySystem(dialog.parentWidget())) return;
    const int line = 2;
    title_ = new QLabel(dialog.windowTitle(), &dialog);
    title_->setAutoFillBackground(true);
    QPalette navy = title_->palette();
    navy.setColor(QPalette::Window, QColor(0, 0, 128));
    navy.setColor(QPalette::WindowText, Qt::white);
    title_->setPalette(navy);
    QFont bold = title_->font();
    bold.setBold(true);
    title_->setFont(bold);
    title_->setContentsMargins(6, 3, 6, 3);
    border_ = new QFrame(&dialog);
    border_->setFrameStyle(QFrame::Panel | QFrame::Raised);
    border_->setLineWidth(line);
    border_->setAttribute(Qt::WA_TransparentForMouseEvents);
    border_->lower();
    const QMargins m = dialog.contentsMargins();
    dialog.setContentsMargins(m.left() + line, m.top() + line + title_->sizeHint().height(),
                              m.right() + line, m.bottom() + line);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == &dialog_ && (event->type() == QEvent::Show || event->type() == QEvent::Resize))
      Place();
    return QObject::eventFilter(watched, event);
  }

 private:
  void Place() {
    if (border_ != nullptr) {
      border_->setGeometry(dialog_.rect());
      title_->setGeometry(2, 2, dialog_.width() - 4, title_->sizeHint().height());
    }
    const QWidget* over =
        dialog_.parentWidget() != nullptr ? dialog_.parentWidget()->window() : nullptr;
    const QScreen* screen = over != nullptr ? over->screen() : dialog_.screen();
    if (screen == nullptr) return;
    const QRect room = screen->availableGeometry();
    const QPoint middle =
        over != nullptr && over->isVisible() ? over->frameGeometry().center() : room.center();
    const QSize size = dialog_.frameGeometry().size();
    QPoint at = middle - QPoint(size.width() / 2, size.height() / 2);
    at.setX(std::clamp(at.x(), room.left(), std::max(room.left(), room.right() - size.width())));
    at.setY(std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() - size.height())));
    if (dialog_.frameGeometry().topLeft() != at) dialog_.move(at);
  }

  QDialog& dialog_;
  QLabel* title_ = nullptr;
  QFrame* border_ = nullptr;
};

// Qt sizes a message box to its whole text, however long. Where that would be
// more than the screen's room, the text wraps at the room's width (a long path,
// which has no blank to wrap at, after its backslashes) and scrolls within the
// room's height, so that the box and its buttons stay on the screen.
void BoundText(QMessageBox& box, QSize room) {
  auto* label = box.findChild<QLabel*>("qt_msgbox_label");
  auto* grid = qobject_cast<QGridLayout*>(box.layout());
  if (label == nullptr || grid == nullptr) return;
  const auto* icon = box.findChild<QLabel*>("qt_msgboxex_icon_label");
  const auto* buttons = box.findChild<QDialogButtonBox*>();
  const QMargins m = box.contentsMargins() + grid->contentsMargins();
  const int spacing = std::max(0, grid->spacing());
  const QSize forText =
      room - QSize(m.left() + m.right() + (icon != nullptr ? icon->sizeHint().width() : 0) +
                       spacing + 2 * label->margin(),
                   m.top() + m.bottom() + (buttons != nullptr ? buttons->sizeHint().height() : 0) +
                       spacing + 2 * label->margin());
  const QFontMetrics metrics(label->font());
  // Qt's own box wraps at about half the screen's width.
  const int qtWidth = std::min({room.width() / 2, 500, forText.width()});
  const auto needs = [&](const QString& text, int width) {
    return metrics.boundingRect(QRect(0, 0, width, 1 << 24), Qt::TextWordWrap, text).size();
  };
  QString text = label->text();
  if (needs(text, qtWidth).height() <= forText.height() &&
      needs(text, forText.width()).width() <= forText.width())
    return;
  // A word wider than the room may break after each backslash (a zero-width space).
  QStringList words = text.split(' ');
  for (QString& word : words)
    if (metrics.horizontalAdvance(word) > forText.width()) word.replace("\\", QString("\\\u200B"));
  text = words.join(' ');
  label->setText(text);
  label->setWordWrap(true);
  auto* area = new QScrollArea(&box);
  area->setFrameShape(QFrame::NoFrame);
  area->setWidgetResizable(true);
  area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  delete grid->replaceWidget(label, area);
  area->setWidget(label);
  area->viewport()->setAutoFillBackground(false);
  label->setAutoFillBackground(false);
  const int bar = area->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, area);
  const int width = std::min(forText.width() - bar,
                             needs(text, forText.width() - bar).width() + 2 * label->margin() + 1);
  area->setFixedSize(width + bar, std::min(forText.height(), label->heightForWidth(width)));
  // Text that is only too wide wraps and needs no scroll bar.
  if (label->heightForWidth(width) <= forText.height())
    area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // What the estimate of the rest of the box missed comes off the text's view.
  grid->activate();
  const QSize over = grid->totalMinimumSize() - room;
  area->setFixedSize(area->size() - QSize(std::max(0, over.width()), std::max(0, over.height())));
}

// Runs a dialog modally; a request to end the process that closed it is raised
// when it returns, outside Qt's own code. The window is active again after it,
// also where no window manager hands the focus back.
int RunModal(QDialog& dialog) {
  // In the window's font; never larger than the screen, so that its buttons
  // stay on it; buttons and rows a fingertip can hit on a touch screen.
  QWidget* over = dialog.parentWidget() != nullptr ? dialog.parentWidget()->window() : nullptr;
  // A box over the open dialog takes the font of the window under both.
  for (QWidget* w = over; w != nullptr; w = w->parentWidget()) {
    if (const auto* view = dynamic_cast<const WindowView*>(w->window())) {
      dialog.setFont(WindowFont(view->form, view->Scale()));
      break;
    }
  }
  if (ForFingers()) {
    for (auto* button : dialog.findChildren<QPushButton*>())
      button->setMinimumHeight(kFingerPixels);
    for (QWidget* field : dialog.findChildren<QLineEdit*>()) field->setMinimumHeight(kFingerPixels);
    for (QWidget* field : dialog.findChildren<QComboBox*>()) field->setMinimumHeight(kFingerPixels);
    for (auto* list : dialog.findChildren<QListWidget*>()) {
      view::UseFingerRows(list);
      QScroller::grabGesture(list->viewport(), QScroller::TouchGesture);
    }
  }
  new BoxFrame(dialog);
  if (const QScreen* screen = over != nullptr ? over->screen() : dialog.screen()) {
    QSize room = screen->availableGeometry().size();
    if (FramedBySystem(over) && over != nullptr && over->windowHandle() != nullptr)
      room = room.shrunkBy(over->windowHandle()->frameMargins());
    dialog.setMaximumSize(room);
    if (auto* box = qobject_cast<QMessageBox*>(&dialog)) BoundText(*box, room);
  }
  openBox = &dialog;
  const int result = dialog.exec();
  openBox = nullptr;
  if (QWidget* parent = dialog.parentWidget(); parent != nullptr && parent->isVisible())
    parent->window()->activateWindow();
  platform::CheckTermination();
  return result;
}

}  // namespace

QString BoxText(const std::string& text) {
  QStringList lines;
  for (const std::string& line : platform::BoxLines(text)) lines << QString::fromStdString(line);
  return lines.join('\n');
}

platform::Answer RunMessageBox(QWidget* parent, const platform::MessageBox& box) {
  QMessageBox dialog(parent);
  dialog.setWindowTitle(Q(box.title));
  dialog.setText(BoxText(box.text));
  dialog.setTextFormat(Qt::PlainText);
  dialog.setIcon(box.icon == platform::Icon::Stop          ? QMessageBox::Critical
                 : box.icon == platform::Icon::Information ? QMessageBox::Information
                                                           : QMessageBox::NoIcon);
  dialog.setWindowModality(Qt::ApplicationModal);
  QAbstractButton* first = nullptr;
  QAbstractButton* second = nullptr;
  IgnoreEscape ignoreEscape;
  // The toolkit's own buttons, so that their words follow the host's language.
  if (box.buttons == platform::Buttons::OK) {
    first = dialog.addButton(QMessageBox::Ok);
  } else {
    first = dialog.addButton(QMessageBox::Yes);
    second = dialog.addButton(QMessageBox::No);
    dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    dialog.installEventFilter(&ignoreEscape);
  }
  auto* defaultButton =
      static_cast<QPushButton*>(box.defaultButton == 1 && second ? second : first);
  dialog.setDefaultButton(defaultButton);
  defaultButton->setFocus();
  RunModal(dialog);
  if (box.buttons == platform::Buttons::OK) return platform::Answer::OK;
  if (dialog.clickedButton() == first) return platform::Answer::Yes;
  if (dialog.clickedButton() == second) return platform::Answer::No;
  return platform::DefaultAnswer(box);
}

namespace {

// The open dialog: the folder tree and the other drives on the left, the files
// of the filter's type on the right, the file name and type below, Open and
// Cancel.
class OpenDialog : public QDialog {
 public:
  OpenDialog(QWidget* parent, const ui::FileDialogRequest& request)
      : QDialog(parent), choice_(app::BeginFileChoice(request)) {
    setWindowTitle(Q(choice_.title));
    setModal(true);
    auto* grid = new QGridLayout(this);
    lookIn_ = new QLabel(this);
    folders_ = new QListWidget(this);
    files_ = new QListWidget(this);
    name_ = new QLineEdit(this);
    type_ = new QComboBox(this);
    note_ = new QLabel(this);
    auto* buttons = new QDialogButtonBox(this);
    open_ = buttons->addButton(QDialogButtonBox::Open);
    auto* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    open_->setDefault(true);
    type_->addItem(Q(choice_.typeText));
    folders_->setObjectName("folders");
    files_->setObjectName("files");
    name_->setObjectName("name");

    grid->addWidget(lookIn_, 0, 0, 1, 2);
    grid->addWidget(new QLabel(ToolkitWord("Folders"), this), 1, 0);
    grid->addWidget(new QLabel(ToolkitWord("Files"), this), 1, 1);
    grid->addWidget(folders_, 2, 0);
    grid->addWidget(files_, 2, 1);
    auto* nameLabel = new QLabel(ToolkitWord("File name:"), this);
    nameLabel->setBuddy(name_);
    grid->addWidget(nameLabel, 3, 0);
    grid->addWidget(name_, 3, 1);
    grid->addWidget(new QLabel(ToolkitWord("Files of type:"), this), 4, 0);
    grid->addWidget(type_, 4, 1);
    grid->addWidget(note_, 5, 0, 1, 2);
    grid->addWidget(buttons, 6, 0, 1, 2);
    resize(640, 420);

    connect(open_, &QPushButton::clicked, this, [this] { Accept(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(folders_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
      Open(item->data(Qt::UserRole).toString().toStdString());
    });
    folders_->installEventFilter(this);
    files_->installEventFilter(this);
    connect(files_, &QListWidget::currentTextChanged, this, [this](const QString& text) {
      if (!text.isEmpty()) name_->setText(text);
    });
    connect(files_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
      name_->setText(item->text());
      Accept();
    });
    name_->setText(Q(choice_.name));
    name_->selectAll();
    name_->setFocus();
    Show();
  }

  std::optional<std::string> chosen;

 protected:
  // Enter in a list acts on its entry there and goes no further (the dialog
  // would take it for Open).
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key != Qt::Key_Return && key != Qt::Key_Enter) return QDialog::eventFilter(watched, event);
    if (watched == folders_ && folders_->currentItem() != nullptr) {
      Open(folders_->currentItem()->data(Qt::UserRole).toString().toStdString());
    } else if (watched == files_ && files_->currentItem() != nullptr) {
      name_->setText(files_->currentItem()->text());
      Accept();
    }
    return true;
  }

 private:
  void Open(const std::string& folder) {
    app::OpenFolder(choice_, folder);
    Show();
  }

  void Accept() {
    choice_.name = name_->text().toStdString();
    chosen = app::AcceptName(choice_);
    if (chosen && !platform::FileExists(*chosen)) {
      // As the system's dialog does: a name that is no file is said so, and
      // the dialog stays for another.
      RunMessageBox(this, {ToolkitWord(kFileNotFound).arg(Q(choice_.name)).toStdString(),
                           choice_.title, platform::Buttons::OK, platform::Icon::Information, 0});
      chosen.reset();
      name_->selectAll();
      name_->setFocus();
      return;
    }
    if (chosen) {
      accept();
      return;
    }
    name_->setText(Q(choice_.name));
    Show();
  }

  void Show() {
    lookIn_->setText(ToolkitWord("Look in:") + " " + Q(choice_.folder));
    folders_->clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    const QIcon drive = style()->standardIcon(QStyle::SP_DriveHDIcon);
    for (const app::FolderChoice& f : choice_.folders) {
      auto* item = new QListWidgetItem(f.drive  ? drive
                                       : f.open ? open
                                                : closed,
                                       QString(f.depth * 2, QChar(' ')) + Q(f.label));
      item->setData(Qt::UserRole, Q(f.path));
      folders_->addItem(item);
    }
    folders_->setCurrentRow(choice_.currentFolder);
    files_->clear();
    for (const std::string& f : choice_.files) files_->addItem(Q(f));
    note_->setText(Q(choice_.note));
  }

  app::FileChoice choice_;
  QLabel* lookIn_;
  QListWidget* folders_;
  QListWidget* files_;
  QLineEdit* name_;
  QComboBox* type_;
  QLabel* note_;
  QPushButton* open_;
};

}  // namespace

std::optional<std::string> RunFileDialog(QWidget* parent, const ui::FileDialogRequest& request) {
  OpenDialog dialog(parent, request);
  if (RunModal(dialog) != QDialog::Accepted) return std::nullopt;
  return dialog.chosen;
}

void CloseOpenBoxes() {
  if (openBox) openBox->reject();
}

}  // namespace win
