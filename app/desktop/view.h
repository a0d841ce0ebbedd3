// The window on the desktop: one Qt widget for every control of the window
// model, placed by its twips (15 to a pixel at 96 dpi, scaled with the
// screen's logical dpi). The model is the truth: a user's click, key or edit
// becomes one of the actions the script knows, applied to the model, and then
// every widget is brought up to date from the model again.
#pragma once

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QScrollArea>
#include <QTimer>
#include <QWidget>
#include <map>
#include <string>

#include "app/common/actions.h"
#include "form/start_config_form.h"

namespace win {

// Pixels of a length in twips at the scale (1.0 at 96 dpi).
int Pixels(int twips, double scale);

// The image of a picture: a loaded bitmap pixel for pixel, or the program's
// own pictures drawn from their rows (greyed when disabled). Null for none.
QImage PictureImage(const ui::Picture& picture, bool enabled = true);

// The application's look: Fusion in the layout's grey.
void UseClassicLook(QApplication& application);

// The toolkit's own words (box buttons, the open dialog) in the locale's
// language, as the system's dialogs follow the system's: Qt's translation where
// one is installed, the window's own German words where Qt has none. False when
// there is none for the language (English stays).
bool SpeakTheHostLanguage(const QLocale& locale);
// A toolkit word of the window's own, in the language SpeakTheHostLanguage chose.
QString ToolkitWord(const char* english);
// The open dialog's words for a name that is no file (%1: the name).
inline constexpr const char* kFileNotFound =
    "%1\nFile not found.\nPlease verify the correct file name was given.";

// The smallest scale (of the layout at 96 dpi, in the screen's own pixels) at
// which the layout's text is still readable; a screen that would need less
// scrolls instead.
constexpr double kSmallestReadableScale = 0.75;

// The largest scale up to `wanted` at which a window of `design` pixels (at
// scale 1) fits into `room` (both in Qt's device-independent pixels), but never
// below kSmallestReadableScale in the screen's pixels (`pixelRatio` of them to
// one of Qt's): a screen too small for that scrolls instead.
double FittingScale(double wanted, QSize design, QSize room, double pixelRatio = 1);

// The window's font, which the boxes and the open dialog take too.
QFont WindowFont(const frm_Start_Config_Exe& form, double scale);

// True where a finger works the window: KORVEX_KEYPAD=on, or a touch screen.
bool ForFingers();
// The height of a button or row a fingertip can hit: 40 pixels at 96 dpi.
constexpr int kFingerPixels = 40;

class WindowView : public QWidget {
 public:
  // The scale is the screen's logical dpi over 96, as far as the window fits the
  // screen; 0 takes it from the screen. Where even scale 1 does not fit, the
  // window is as large as the screen allows and scrolls.
  explicit WindowView(frm_Start_Config_Exe& form, double scale = 0);

  // The scale of the window on a screen of `available` pixels (less the frame a
  // window manager draws) at its logical dpi and device pixel ratio.
  static double ScaleFor(const ui::Window& window, QSize available, QMargins frame,
                         double logicalDpi, double pixelRatio);

  frm_Start_Config_Exe& form;

  // Brings every widget up to date with the model.
  void Refresh();
  // The widget that shows a control (nullptr for the common dialog).
  QWidget* WidgetOf(const ui::Control& c) const;
  double Scale() const { return scale_; }

  // Applies one action as a user's, then refreshes. A request to end the
  // process that arrives meanwhile leaves the step without OK and ends it.
  void Act(app::Verb verb, const ui::Control* c = nullptr, const std::string& argument = "");
  // Shows why an action did nothing, beside its control (or the window).
  void ShowReason(const ui::Control* c, const std::string& reason);
  // True while an action runs (its handlers may open boxes or copy files).
  bool Busy() const { return busy_ > 0; }

  // The copy under way: its destination and share of bytes, shown over the
  // window while OK works; an empty name hides it.
  void ShowCopyProgress(const std::string& destination, uint64_t copied, uint64_t size);

  // The on-screen number keys beside a speed-factor box (nullptr: none open).
  // They open on a tap into the box, or on any click with KORVEX_KEYPAD=on.
  const ui::Control* KeypadFor() const { return keypadFor_; }
  void OpenKeypad(const ui::Control& box);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool focusNextPrevChild(bool next) override;
  void keyPressEvent(QKeyEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void Build();
  void Place(const ui::Control& c, QWidget* w);
  void RefreshControl(const ui::Control& c, QWidget* w);
  void RefreshFolders(const ui::Control& c);
  void OnTextEdited(const ui::Control& c, const QString& text);
  void OnCaretMoved(const ui::Control& c);
  void KeepTabOrder();
  void BuildKeypad();
  void BuildBusyPanel();
  void PressKeypadKey(const QString& key);
  void CloseKeypad();
  void ShowFocusFrame();
  // Takes the largest scale that fits the screen, less the frame a window
  // manager has drawn around the window (known once it has framed it).
  void FitToScreen();
  void HideReason();

  // The event filter's handlers, one per kind of event on a control's widget
  // (or, `inside`, on a list's viewport); true: the event is taken.
  struct Input {
    const ui::Control& control;
    QWidget* widget;
    bool inside;
  };
  void OnFocusIn(const Input& in, Qt::FocusReason reason);
  bool OnMousePress(const Input& in, const QMouseEvent& mouse);
  bool OnDoubleClick(const Input& in, const QMouseEvent& mouse);
  void OnMouseRelease(const Input& in, const QMouseEvent& mouse);
  bool OnControlKey(const Input& in, const QKeyEvent& key);
  bool OnWheel(const Input& in, QEvent* wheel);
  // Alt and an access key: true when it is taken (a drop-down takes them all,
  // so that none becomes a search in its entries).
  bool OnAccessKey(const QKeyEvent& key, bool everyLetter);

  double scale_;
  bool scaleOfScreen_ = false;    // the scale follows the screen (and its frame)
  QMargins fittedFrame_;          // the frame the scale was last fitted with
  QSize room_;                    // the screen's room for the window; empty: no limit
  QSize asked_;                   // the size last asked for (a window manager may give more)
  QLabel* reason_ = nullptr;      // why a click did nothing, until the next input
  QObject* nextInput_ = nullptr;  // hides it
  QScrollArea* scroller_ = nullptr;
  QWidget* canvas_ = nullptr;  // the controls at the layout's places
  QFrame* focusFrame_ = nullptr;
  QFrame* keypad_ = nullptr;
  const ui::Control* keypadFor_ = nullptr;
  std::string keypadBefore_;     // the box's text when the keys opened, for Esc
  bool keypadAlways_ = false;    // KORVEX_KEYPAD=on: touch screens that act as a mouse
  bool fingers_ = false;         // ForFingers(): buttons and rows a fingertip can hit
  QTimer* longPress_ = nullptr;  // a finger held down shows the tooltip
  std::map<const ui::Control*, QWidget*> widgets_;
  std::map<const QObject*, const ui::Control*> controls_;
  int busy_ = 0;
  bool refreshing_ = false;
  std::string foldersPath_;  // the folder the folder list shows entries of
  QFrame* progress_ = nullptr;
  QLabel* progressName_ = nullptr;
  QProgressBar* progressBar_ = nullptr;
  int frameFd_ = -1;  // KORVEX_FRAME_FD: a line for every painted frame
};

}  // namespace win
