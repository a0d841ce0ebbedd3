#include "controls/toolkit.h"

#include <algorithm>
#include <initializer_list>
#include <utility>

#include "base/failure.h"
#include "base/text.h"
#include "platform/filesys.h"
#include "platform/winpath.h"

namespace ui {

namespace {

constexpr int kInvalidPropertyValue = 380;
constexpr int kPropertyReadOnly = 383;
constexpr int kDeviceUnavailable = 68;
constexpr int kObjectAlreadyLoaded = 360;

// A handler that keeps re-raising its own event stops being called at this
// depth; the outer calls then finish normally.
constexpr int kMaxNestedRaises = 64;

bool OneOf(Kind k, std::initializer_list<Kind> kinds) {
  return std::find(kinds.begin(), kinds.end(), k) != kinds.end();
}

bool IsLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string DriveText(char letter) {
  return std::string{Lower(letter), ':'};
}

bool IsMapped(char letter) {
  for (const platform::Drive& d : platform::MappedDrives())
    if (d.letter == Upper(letter)) return true;
  return false;
}

// The folder a drive letter alone stands for: the current directory on the
// current drive, the root on any other.
std::string DriveFolder(char letter) {
  letter = Upper(letter);
  if (letter == platform::CurrentDrive()) return platform::CurrentDirectory();
  return std::string{letter, ':', '\\'};
}

// Appends the components of a Windows path text, folding "." and ".." (which
// never climb above the drive's root).
void AppendComponents(const std::string& text, std::vector<std::string>& parts) {
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == '\\' || text[i] == '/')) ++i;
    size_t start = i;
    while (i < text.size() && text[i] != '\\' && text[i] != '/') ++i;
    std::string c = text.substr(start, i - start);
    if (c.empty() || c == ".") continue;
    if (c == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(std::move(c));
  }
}

// A folder list's path in its stored form: "D:\a\b", or "D:\" for a root.
// Relative forms are taken from the current directory (or the drive's folder).
// Nothing for a text that names no drive folder at all (empty, UNC).
std::optional<std::string> FolderListPath(const std::string& given) {
  if (given.empty()) return std::nullopt;
  auto isSep = [](char c) { return c == '\\' || c == '/'; };
  if (given.size() >= 2 && isSep(given[0]) && isSep(given[1])) return std::nullopt;
  char drive;
  std::vector<std::string> parts;
  if (given.size() >= 2 && IsLetter(given[0]) && given[1] == ':') {
    drive = Upper(given[0]);
    std::string rest = given.substr(2);
    if (rest.empty() || !isSep(rest[0])) AppendComponents(DriveFolder(drive).substr(2), parts);
    AppendComponents(rest, parts);
  } else {
    std::string cwd = platform::CurrentDirectory();
    drive = cwd[0];
    if (!isSep(given[0])) AppendComponents(cwd.substr(2), parts);
    AppendComponents(given, parts);
  }
  std::string path{drive, ':'};
  if (parts.empty()) return path + "\\";
  for (const std::string& p : parts) path += "\\" + p;
  return path;
}

int Clamp(int v, int lo, int hi) {
  return std::max(lo, std::min(v, hi));
}

// The process-wide list of live windows, in load order.
std::vector<Window*>& LoadedWindows() {
  static std::vector<Window*> windows;
  return windows;
}

}  // namespace

std::string TypeName(Kind kind) {
  switch (kind) {
    case Kind::CommandButton:
      return "CommandButton";
    case Kind::ComboBox:
      return "ComboBox";
    case Kind::CheckBox:
      return "CheckBox";
    case Kind::Image:
      return "Image";
    case Kind::Label:
      return "Label";
    case Kind::Frame:
      return "Frame";
    case Kind::TextBox:
      return "TextBox";
    case Kind::DriveListBox:
      return "DriveListBox";
    case Kind::DirListBox:
      return "DirListBox";
    case Kind::ListBox:
      return "ListBox";
    case Kind::CommonDialog:
      return "CommonDialog";
  }
  return "Control";
}

bool TakesFocus(Kind kind) {
  switch (kind) {
    case Kind::CommandButton:
    case Kind::ComboBox:
    case Kind::CheckBox:
    case Kind::TextBox:
    case Kind::DriveListBox:
    case Kind::DirListBox:
    case Kind::ListBox:
      return true;
    default:
      return false;
  }
}

std::string ColourName(Colour c) {
  switch (c) {
    case kButtonText:
      return "system button text";
    case kButtonFace:
      return "system button face";
    case kWindowText:
      return "system window text";
    case kWindowBackground:
      return "system window background";
    default:
      break;
  }
  if (c & 0x80000000u) return "system colour " + std::to_string(c & 0xFFu);
  return "RGB(" + std::to_string(c & 0xFFu) + "," + std::to_string((c >> 8) & 0xFFu) + "," +
         std::to_string((c >> 16) & 0xFFu) + ")";
}

// ---------------------------------------------------------------------------
// Control

Control::Control(Window& window, Kind kind, std::string name, int index, Control* container)
    : window_(window), kind_(kind), name_(std::move(name)), index_(index), container_(container) {
  // Controls that show entries or typed text draw on the window colours.
  if (OneOf(kind,
            {Kind::TextBox, Kind::ComboBox, Kind::ListBox, Kind::DriveListBox, Kind::DirListBox})) {
    back_ = kWindowBackground;
    fore_ = kWindowText;
  }
  if (kind == Kind::DriveListBox) drive_ = DriveText(platform::CurrentDrive());
  if (kind == Kind::DirListBox) path_ = platform::CurrentDirectory();
}

std::string Control::DisplayName() const {
  if (index_ >= 0) return name_ + "(" + std::to_string(index_) + ")";
  return name_;
}

void Control::Require(bool supported) const {
  if (!supported) platform::Raise(platform::kPropertyNotSupported);
}

void Control::Raise(const std::function<void()>& handler) {
  if (!handler) return;
  const std::function<void()>* events[] = {&on.click, &on.change, &on.gotFocus, &on.lostFocus,
                                           &on.mouseDown};
  int slot = 0;
  while (slot < 4 && events[slot] != &handler) ++slot;
  int& depth = raiseDepth_[slot];
  if (depth >= kMaxNestedRaises) return;
  struct Nesting {
    int& depth;
    explicit Nesting(int& d) : depth(d) { ++depth; }
    ~Nesting() { --depth; }
  } nesting(depth);
  // A copy, so that a handler may replace itself while it runs.
  std::function<void()> run = handler;
  run();
}

// Common properties.

std::string Control::Tag() const {
  return tag_;
}
void Control::SetTag(std::string tag) {
  tag_ = std::move(tag);
}

int Control::HelpId() const {
  Require(kind_ != Kind::CommonDialog);
  return helpId_;
}
void Control::SetHelpId(int id) {
  Require(kind_ != Kind::CommonDialog);
  helpId_ = id;
}

bool Control::Visible() const {
  Require(kind_ != Kind::CommonDialog);
  return visible_;
}
void Control::SetVisible(bool v) {
  Require(kind_ != Kind::CommonDialog);
  visible_ = v;
}

bool Control::Shown() const {
  if (kind_ == Kind::CommonDialog) return false;
  for (const Control* c = this; c != nullptr; c = c->container_)
    if (!c->visible_) return false;
  return true;
}

bool Control::Enabled() const {
  Require(kind_ != Kind::CommonDialog);
  return enabled_;
}
void Control::SetEnabled(bool v) {
  Require(kind_ != Kind::CommonDialog);
  enabled_ = v;
}

bool Control::Usable() const {
  if (!Shown()) return false;
  for (const Control* c = this; c != nullptr; c = c->container_)
    if (!c->enabled_) return false;
  return true;
}

Rect Control::Position() const {
  Require(kind_ != Kind::CommonDialog);
  return rect_;
}
void Control::SetPosition(Rect r) {
  Require(kind_ != Kind::CommonDialog);
  rect_ = r;
}

Font Control::GetFont() const {
  Require(!OneOf(kind_, {Kind::CommonDialog, Kind::Image}));
  return font_;
}
void Control::SetFont(Font f) {
  Require(!OneOf(kind_, {Kind::CommonDialog, Kind::Image}));
  font_ = std::move(f);
}

Colour Control::BackColor() const {
  Require(!OneOf(kind_, {Kind::CommonDialog, Kind::Image}));
  return back_;
}
void Control::SetBackColor(Colour c) {
  Require(!OneOf(kind_, {Kind::CommonDialog, Kind::Image}));
  back_ = c;
}

static bool HasForeColor(Kind k) {
  return OneOf(k, {Kind::Label, Kind::TextBox, Kind::CheckBox, Kind::Frame, Kind::ComboBox,
                   Kind::ListBox, Kind::DirListBox, Kind::DriveListBox});
}

Colour Control::ForeColor() const {
  Require(HasForeColor(kind_));
  return fore_;
}
void Control::SetForeColor(Colour c) {
  Require(HasForeColor(kind_));
  fore_ = c;
}

std::string Control::ToolTipText() const {
  Require(kind_ != Kind::CommonDialog);
  return toolTip_;
}
void Control::SetToolTipText(std::string t) {
  Require(kind_ != Kind::CommonDialog);
  toolTip_ = std::move(t);
}

// Captions.

static bool HasCaption(Kind k) {
  return OneOf(k, {Kind::Label, Kind::CommandButton, Kind::CheckBox, Kind::Frame});
}

std::string Control::Caption() const {
  Require(HasCaption(kind_));
  return caption_;
}
void Control::SetCaption(std::string c) {
  Require(HasCaption(kind_));
  caption_ = std::move(c);
}

// Text and selection.

static bool IsList(Kind k) {
  return k == Kind::ComboBox || k == Kind::ListBox;
}

std::string Control::Text() const {
  Require(kind_ == Kind::TextBox || IsList(kind_));
  if (IsList(kind_)) return listIndex_ >= 0 ? items_[listIndex_] : std::string();
  return text_;
}

void Control::SetText(std::string t) {
  Require(kind_ == Kind::TextBox || IsList(kind_));
  if (IsList(kind_)) platform::Raise(kPropertyReadOnly, "'Text' property is read-only");
  if (t == text_) return;
  text_ = std::move(t);
  selStart_ = 0;
  selLength_ = 0;
  Raise(on.change);
}

void Control::EditText(std::string t, int caret) {
  Require(kind_ == Kind::TextBox);
  if (t == text_) return;
  text_ = std::move(t);
  selStart_ = Clamp(caret, 0, static_cast<int>(platform::CharCount(text_)));
  selLength_ = 0;
  Raise(on.change);
}

int Control::SelStart() const {
  Require(kind_ == Kind::TextBox || kind_ == Kind::ComboBox);
  int length = static_cast<int>(platform::CharCount(Text()));
  return Clamp(selStart_, 0, length);
}

void Control::SetSelStart(int s) {
  Require(kind_ == Kind::TextBox || kind_ == Kind::ComboBox);
  int length = static_cast<int>(platform::CharCount(Text()));
  // Moving the caret ends any selection.
  selStart_ = Clamp(s, 0, length);
  selLength_ = 0;
}

int Control::SelLength() const {
  Require(kind_ == Kind::TextBox || kind_ == Kind::ComboBox);
  int length = static_cast<int>(platform::CharCount(Text()));
  return Clamp(selLength_, 0, length - SelStart());
}

void Control::SetSelLength(int n) {
  Require(kind_ == Kind::TextBox || kind_ == Kind::ComboBox);
  int length = static_cast<int>(platform::CharCount(Text()));
  selStart_ = SelStart();
  selLength_ = Clamp(n, 0, length - selStart_);
}

// Lists.

void Control::AddItem(std::string item) {
  Require(IsList(kind_));
  items_.push_back(std::move(item));
}

void Control::Clear() {
  Require(IsList(kind_));
  items_.clear();
  listIndex_ = -1;
}

int Control::ListCount() const {
  Require(IsList(kind_));
  return static_cast<int>(items_.size());
}

std::string Control::List(int i) const {
  Require(IsList(kind_));
  if (i < 0 || i >= static_cast<int>(items_.size())) return {};
  return items_[i];
}

int Control::ListIndex() const {
  Require(IsList(kind_));
  return listIndex_;
}

void Control::SetListIndex(int i) {
  Require(IsList(kind_));
  if (i < -1 || i >= static_cast<int>(items_.size())) platform::Raise(kInvalidPropertyValue);
  if (i == listIndex_) return;
  listIndex_ = i;
  Raise(on.click);
}

// Check box.

int Control::Value() const {
  Require(kind_ == Kind::CheckBox);
  return value_;
}

void Control::SetValue(int v) {
  Require(kind_ == Kind::CheckBox);
  if (v < 0 || v > 2) platform::Raise(kInvalidPropertyValue);
  if (v == value_) return;
  value_ = v;
  Raise(on.click);
}

// Drive list.

std::string Control::Drive() const {
  Require(kind_ == Kind::DriveListBox);
  return drive_;
}

void Control::SetDrive(std::string d) {
  Require(kind_ == Kind::DriveListBox);
  bool wellFormed = !d.empty() && IsLetter(d[0]) && (d.size() == 1 || d[1] == ':');
  if (!wellFormed || !IsMapped(d[0]) || !platform::FolderExists(std::string{d[0], ':', '\\'}))
    platform::Raise(kDeviceUnavailable, "Device unavailable");
  std::string drive = DriveText(d[0]);
  if (drive == drive_) return;
  drive_ = std::move(drive);
  Raise(on.change);
}

std::vector<std::string> Control::DriveList() const {
  Require(kind_ == Kind::DriveListBox);
  std::vector<std::string> drives;
  for (const platform::Drive& d : platform::MappedDrives()) drives.push_back(DriveText(d.letter));
  return drives;
}

// Folder list.

std::string Control::Path() const {
  Require(kind_ == Kind::DirListBox);
  return path_;
}

void Control::SetPath(std::string p) {
  Require(kind_ == Kind::DirListBox);
  std::optional<std::string> path = FolderListPath(p);
  if (!path || !platform::FolderExists(*path)) platform::Raise(platform::kPathNotFound);
  // The same folder in other letter case takes the new spelling but is no change.
  bool changed = !platform::EqualIgnoringCase(*path, path_);
  path_ = std::move(*path);
  if (changed) Raise(on.change);
}

std::vector<std::string> Control::SubFolders() const {
  Require(kind_ == Kind::DirListBox);
  return platform::VisibleSubFolderNames(path_);
}

// Pictures.

const Picture& Control::GetPicture() const {
  Require(kind_ == Kind::Image || kind_ == Kind::CommandButton);
  return picture_;
}

void Control::SetPicture(Picture p) {
  Require(kind_ == Kind::Image || kind_ == Kind::CommandButton);
  picture_ = std::move(p);
}

// Common dialog.

std::string Control::FileName() const {
  Require(kind_ == Kind::CommonDialog);
  return fileName_;
}
void Control::SetFileName(std::string f) {
  Require(kind_ == Kind::CommonDialog);
  fileName_ = std::move(f);
}
std::string Control::InitDir() const {
  Require(kind_ == Kind::CommonDialog);
  return initDir_;
}
void Control::SetInitDir(std::string d) {
  Require(kind_ == Kind::CommonDialog);
  initDir_ = std::move(d);
}
std::string Control::DialogTitle() const {
  Require(kind_ == Kind::CommonDialog);
  return dialogTitle_;
}
void Control::SetDialogTitle(std::string t) {
  Require(kind_ == Kind::CommonDialog);
  dialogTitle_ = std::move(t);
}
std::string Control::Filter() const {
  Require(kind_ == Kind::CommonDialog);
  return filter_;
}
void Control::SetFilter(std::string f) {
  Require(kind_ == Kind::CommonDialog);
  filter_ = std::move(f);
}

void Control::ShowOpen() {
  Require(kind_ == Kind::CommonDialog);
  // Copied, so that a front end that swaps its hook meanwhile does no harm.
  FileDialogHandler ask = window_.onFileDialog;
  if (!ask) return;  // no front end to ask: as if cancelled
  std::optional<std::string> chosen =
      ask(FileDialogRequest{dialogTitle_, filter_, initDir_, fileName_});
  if (chosen) fileName_ = std::move(*chosen);
}

// ---------------------------------------------------------------------------
// Window

Window::Window(std::string name) : name_(std::move(name)) {
  LoadedWindows().push_back(this);
}

Window::~Window() {
  std::erase(LoadedWindows(), this);
}

Control& Window::Add(Kind kind, std::string name, int index, Control* container) {
  if (index < -1) platform::Raise(platform::kInvalidProcedureCall);
  if (container != nullptr && &container->Parent() != this)
    platform::Raise(platform::kInvalidProcedureCall);
  // A name is either one control or one array; an element exists once.
  for (const auto& c : controls_) {
    if (platform::EqualIgnoringCase(c->Name(), name) &&
        (c->Index() == index || c->Index() == -1 || index == -1))
      platform::Raise(kObjectAlreadyLoaded, "Object already loaded");
  }
  controls_.push_back(std::make_unique<Control>(*this, kind, std::move(name), index, container));
  return *controls_.back();
}

Control* Window::Find(const std::string& name, int index) const {
  for (const auto& c : controls_)
    if (c->Index() == index && platform::EqualIgnoringCase(c->Name(), name)) return c.get();
  return nullptr;
}

bool Window::IsArrayMember(const Control& c) const {
  for (const auto& other : controls_)
    if (other.get() != &c && platform::EqualIgnoringCase(other->Name(), c.Name())) return true;
  return false;
}

void Window::MoveFocus(Control* to) {
  if (to == focused_) return;
  Control* from = focused_;
  focused_ = to;
  if (from != nullptr) from->Raise(from->on.lostFocus);
  // A lost-focus handler that moved the focus elsewhere has the last word.
  if (to != nullptr && focused_ == to) to->Raise(to->on.gotFocus);
}

void Window::SetMousePointer(MousePointer p) {
  pointer_ = p;
  if (onFrontEndNote)
    onFrontEndNote(p == MousePointer::Hourglass ? "mouse pointer: hourglass"
                                                : "mouse pointer: default");
}

void Window::DoEvents() {
  if (onFrontEndNote) onFrontEndNote("pending events processed");
}

Window* FirstForm() {
  const std::vector<Window*>& windows = LoadedWindows();
  return windows.empty() ? nullptr : windows.front();
}

}  // namespace ui
