// The window toolkit: a model of the controls the step's window uses, with the
// properties its procedures read and write and the events they handle. The
// faces (the script, the terminal window, the desktop window) drive it as a
// user would and draw it; the step's code sees only this model.
//
// As in the toolkit the step was written for, setting a property from code
// raises that control's own handler at once, before the setting code goes on:
// list selection -> click, check value -> click, text -> change, drive -> change,
// folder path -> change (each only when the value really changes). A property a
// kind does not have fails with run-time failure 438.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ui {

enum class Kind {
  CommandButton,
  ComboBox,  // drop-down list, no free text
  CheckBox,
  Image,
  Label,
  Frame,
  TextBox,
  DriveListBox,
  DirListBox,
  ListBox,
  CommonDialog,
};

// The toolkit's type name of a kind: "CommandButton", "ComboBox", "CheckBox",
// "Image", "Label", "Frame", "TextBox", "DriveListBox", "DirListBox", "ListBox",
// "CommonDialog".
std::string TypeName(Kind kind);
// True for the kinds that can hold the focus.
bool TakesFocus(Kind kind);

// Colours as RGB triples; system colours carry the flag bit as in the toolkit.
using Colour = uint32_t;
constexpr Colour Rgb(int r, int g, int b) {
  return static_cast<Colour>(r) | (static_cast<Colour>(g) << 8) | (static_cast<Colour>(b) << 16);
}
constexpr Colour kLightGrey = Rgb(192, 192, 192);
constexpr Colour kButtonFace = 0x8000000F;  // system colour of button faces
constexpr Colour kButtonText = 0x80000012;  // system colour of button text
constexpr Colour kWindowText = 0x80000008;
constexpr Colour kWindowBackground = 0x80000005;
std::string ColourName(Colour c);  // "RGB(192,192,192)" or "system button text"

struct Rect {
  int left = 0, top = 0, width = 0, height = 0;  // twips
};

struct Font {
  std::string name = "MS Sans Serif";
  double size = 8.25;
  bool bold = false;
};

// A picture: a bitmap loaded from a file or one of the program's own pictures.
struct Picture {
  std::string source;  // the file it was loaded from, or the picture's own name
  int width = 0;       // pixels
  int height = 0;
  std::vector<std::string>
      rows;  // built-in pictures: one string per row, '.' clear, any other letter ink
  bool Empty() const { return source.empty(); }
};

// Loads a BMP file (a Windows path). Raises 53 when the file is missing, 481
// when it is no readable BMP picture.
Picture LoadPicture(const std::string& winPath);

// The pixels of a BMP file that LoadPicture accepts (uncompressed, run-length
// coded at 4 or 8 bits, 16 or 32 bits with or without masks), top row first,
// each 0xRRGGBB; nothing for a file that is missing, unreadable, no bitmap, or
// larger than 16 M pixels (its colours would not fit the memory a picture may
// take). Never raises.
struct Pixels {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> rgb;
};
std::optional<Pixels> ReadBitmapPixels(const std::string& winPath);

enum class MousePointer { Default, Hourglass };

class Window;

struct Events {
  std::function<void()> click;
  std::function<void()> change;
  std::function<void()> gotFocus;
  std::function<void()> lostFocus;
  std::function<void()> mouseDown;
};

// What the common dialog's open operation asks of the front end. The answer is
// the chosen file's full path, or nothing when the user cancels.
struct FileDialogRequest {
  std::string title, filter, initDir, fileName;
};
using FileDialogHandler = std::function<std::optional<std::string>(const FileDialogRequest&)>;

class Control {
 public:
  Control(Window& window, Kind kind, std::string name, int index, Control* container);

  // Identity.
  Kind kind() const { return kind_; }
  std::string TypeName() const { return ui::TypeName(kind_); }
  const std::string& Name() const { return name_; }
  int Index() const { return index_; }  // -1 when not part of a control array
  Control* Container() const { return container_; }
  Window& Parent() const { return window_; }
  std::string DisplayName() const;  // "TextPath(1)" or "CommandOK"

  // Properties every kind has (the common dialog has only Tag and Name).
  std::string Tag() const;
  void SetTag(std::string tag);
  int HelpId() const;  // WhatsThisHelpID
  void SetHelpId(int id);
  bool Visible() const;
  void SetVisible(bool v);
  bool Shown() const;  // visible, and every container too
  bool Enabled() const;
  void SetEnabled(bool v);
  bool Usable() const;  // shown and enabled, with every container enabled
  Rect Position() const;
  void SetPosition(Rect r);
  Font GetFont() const;
  void SetFont(Font f);
  Colour BackColor() const;
  void SetBackColor(Colour c);
  Colour ForeColor() const;
  void SetForeColor(Colour c);
  std::string ToolTipText() const;
  void SetToolTipText(std::string t);

  // Label, CommandButton, CheckBox, Frame.
  std::string Caption() const;
  void SetCaption(std::string c);

  // TextBox: the text (setting raises change). ComboBox, ListBox: the selected
  // entry's text (read only: setting fails with 383).
  std::string Text() const;
  void SetText(std::string t);
  // TextBox: a user's edit, which leaves the caret where the edit put it before
  // the change event is raised (setting Text from code puts it at the start).
  void EditText(std::string t, int caret);
  // TextBox caret and selection, 0-based character positions, clamped to the text.
  int SelStart() const;
  void SetSelStart(int s);
  int SelLength() const;
  void SetSelLength(int n);

  // ComboBox, ListBox.
  void AddItem(std::string item);
  void Clear();
  int ListCount() const;
  std::string List(int i) const;  // "" outside the list, as the toolkit does
  int ListIndex() const;          // -1: nothing selected
  void SetListIndex(int i);       // raises click when it changes; 380 when out of range

  // CheckBox: 0 unchecked, 1 checked, 2 grayed (setting raises click when it changes).
  int Value() const;
  void SetValue(int v);

  // DriveListBox: the drive as "c:" (setting accepts "C:", "c:\..." and raises
  // change; 68 for a drive that does not exist).
  std::string Drive() const;
  void SetDrive(std::string d);
  std::vector<std::string> DriveList() const;

  // DirListBox: the current folder (setting raises change; a drive alone gives
  // that drive's current folder; 76 for a folder that does not exist).
  std::string Path() const;
  void SetPath(std::string p);
  std::vector<std::string> SubFolders() const;  // visible subfolders of Path

  // Image, CommandButton.
  const Picture& GetPicture() const;
  void SetPicture(Picture p);

  // CommonDialog.
  std::string FileName() const;
  void SetFileName(std::string f);
  std::string InitDir() const;
  void SetInitDir(std::string d);
  std::string DialogTitle() const;
  void SetDialogTitle(std::string t);
  std::string Filter() const;
  void SetFilter(std::string f);
  // Shows the open dialog modally through the front end; a chosen file becomes
  // the file name, a cancel leaves the file name as it was.
  void ShowOpen();

  Events on;

 private:
  friend class Window;  // raises the focus events

  void Require(bool supported) const;  // 438 when the kind lacks the property
  void Raise(const std::function<void()>& handler);

  Window& window_;
  Kind kind_;
  std::string name_;
  int index_;
  Control* container_;

  std::string tag_;
  int helpId_ = 0;
  bool visible_ = true;
  bool enabled_ = true;
  Rect rect_;
  Font font_;
  Colour back_ = kButtonFace;
  Colour fore_ = kButtonText;
  std::string toolTip_;
  std::string caption_;
  std::string text_;
  int selStart_ = 0;
  int selLength_ = 0;
  std::vector<std::string> items_;
  int listIndex_ = -1;
  int value_ = 0;
  std::string drive_;
  std::string path_;
  Picture picture_;
  std::string fileName_, initDir_, dialogTitle_, filter_;

  // Nesting depth of each event's handler (click, change, gotFocus, lostFocus,
  // mouseDown), to stop a handler that keeps re-raising itself.
  int raiseDepth_[5] = {};
};

// A window: its controls in creation order, its caption and pointer, the
// front-end hooks, and focus.
class Window {
 public:
  explicit Window(std::string name);
  ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  const std::string& Name() const { return name_; }
  std::string Caption() const { return caption_; }
  void SetCaption(std::string c) { caption_ = std::move(c); }
  std::string Tag() const { return tag_; }
  void SetTag(std::string t) { tag_ = std::move(t); }
  Rect ClientArea() const { return client_; }
  void SetClientArea(Rect r) { client_ = r; }
  Colour BackColor() const { return back_; }
  void SetBackColor(Colour c) { back_ = c; }

  // Creates a control (index -1 for a control that is not part of an array).
  Control& Add(Kind kind, std::string name, int index = -1, Control* container = nullptr);
  // All controls in creation order.
  const std::vector<std::unique_ptr<Control>>& Controls() const { return controls_; }
  int ControlCount() const { return static_cast<int>(controls_.size()); }
  // The control of that name (and index); nullptr when there is none.
  Control* Find(const std::string& name, int index = -1) const;
  // True when another control has the same name (the control is part of an array).
  bool IsArrayMember(const Control& c) const;

  // Focus as a user moves it: lost focus on the old holder, got focus on the new
  // (nullptr: no control holds the focus).
  void MoveFocus(Control* to);
  Control* Focused() const { return focused_; }

  // Front-end operations: the pointer, one pass of pending events, the file
  // dialog. The front end listens through these hooks.
  void SetMousePointer(MousePointer p);
  MousePointer GetMousePointer() const { return pointer_; }
  void DoEvents();
  std::function<void(const std::string&)> onFrontEndNote;  // "mouse pointer: hourglass", ...
  FileDialogHandler onFileDialog;

 private:
  std::string name_;
  std::string caption_;
  std::string tag_;
  Rect client_;
  Colour back_ = kButtonFace;
  std::vector<std::unique_ptr<Control>> controls_;
  Control* focused_ = nullptr;
  MousePointer pointer_ = MousePointer::Default;
};

// The loaded windows in load order (a window registers itself while it lives).
// The step has one; code that needs "the loaded form" takes the first.
Window* FirstForm();

}  // namespace ui
