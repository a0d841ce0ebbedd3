// The desktop window's tests run in-process on Qt's offscreen platform, on a
// screen of the seven-inch panel's 800 x 480; the one test on a real X server
// starts the executable under Xvfb instead.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/desktop/view.h"

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::string folder = (fs::temp_directory_path() / "korvex-window-XXXXXX").string();
  if (mkdtemp(folder.data()) == nullptr) return 1;
  const fs::path screens = fs::path(folder) / "screens.json";
  std::ofstream(screens)
      << R"({"screens": [{"name": "panel", "x": 0, "y": 0, "width": 800,)"
      << R"( "height": 480, "logicalDpi": 96, "dpr": 1}], "windowFrameMargins": false})";
  setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + screens.string()).c_str(), 1);
  int status = 0;
  {
    QApplication application(argc, argv);
    win::UseClassicLook(application);
    ::testing::InitGoogleTest(&argc, argv);
    status = RUN_ALL_TESTS();
  }
  fs::remove_all(folder);
  return status;
}
