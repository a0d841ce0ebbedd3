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

class WindowView : public QWidget {
 public:
  // The scale is the screen's logical dpi over 96; 0 takes it from the screen.
  explicit WindowView(frm_Start_Config_Exe& form, double scale = 0);

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

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void Build();
  void Place(const ui::Control& c, QWidget* w);
  void RefreshControl(const ui::Control& c, QWidget* w);
  void RefreshFolders(const ui::Control& c);
  void OnTextEdited(const ui::Control& c, const QString& text);
  void OnCaretMoved(const ui::Control& c);
  void KeepTabOrder();

  double scale_;
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
