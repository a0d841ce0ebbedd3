// The desktop window's tests run in-process on Qt's offscreen platform, on a
// screen of the seven-inch panel's 800 x 480; the one test on a real X server
// starts the executable under Xvfb instead.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <string>

#include "app/desktop/view.h"

int main(int argc, char** argv) {
  // The screen as a file that is no file in any folder.
  const std::string screens = R"({"screens": [{"name": "panel", "width": 800, "height": 480,)"
                              R"( "logicalDpi": 96}], "windowFrameMargins": false})";
  const int fd = memfd_create("screens.json", 0);
  if (fd < 0 || write(fd, screens.data(), screens.size()) != static_cast<ssize_t>(screens.size()))
    return 1;
  setenv("QT_QPA_PLATFORM", ("offscreen:configfile=/proc/self/fd/" + std::to_string(fd)).c_str(),
         1);
  QApplication application(argc, argv);
  win::UseClassicLook(application);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
