// The desktop window's tests run in-process on Qt's offscreen platform; the
// one test on a real X server starts the executable under Xvfb instead.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "app/desktop/view.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication application(argc, argv);
  win::UseClassicLook(application);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
