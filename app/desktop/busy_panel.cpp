// The busy panel: over the window while OK copies, the file and the share done.

#include <QProgressBar>
#include <QVBoxLayout>

#include "app/desktop/view.h"
#include "app/desktop/view_parts.h"

namespace win {

using namespace view;

void WindowView::BuildBusyPanel() {
  progress_ = new QFrame(this);
  progress_->setFrameShape(QFrame::Panel);
  progress_->setFrameShadow(QFrame::Raised);
  progress_->setAutoFillBackground(true);
  auto* layout = new QVBoxLayout(progress_);
  progressName_ = new QLabel(progress_);
  progressBar_ = new QProgressBar(progress_);
  progressBar_->setRange(0, 1000);
  progressBar_->setTextVisible(true);
  layout->addWidget(progressName_);
  layout->addWidget(progressBar_);
  progress_->hide();
}

void WindowView::ShowCopyProgress(const std::string& destination, uint64_t copied, uint64_t size) {
  if (destination.empty()) {
    progress_->hide();
    return;
  }
  const int width = Pixels(6000, scale_);
  progress_->setGeometry((this->width() - width) / 2, height() / 2 - Pixels(600, scale_), width,
                         Pixels(1000, scale_));
  progressName_->setText(Q(destination));
  progressBar_->setValue(size == 0 ? 1000 : static_cast<int>(copied * 1000 / size));
  progress_->raise();
  progress_->show();
}

}  // namespace win
