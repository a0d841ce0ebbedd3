// The source tree's one-way links: each room below the faces knows only the
// rooms under it, the common layer knows no face and no host window system,
// and no face reaches into another.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace {

namespace fs = std::filesystem;

struct Rule {
  const char* folder;
  std::vector<std::string> forbidden;  // include prefixes ("<Q" for Qt)
};

// Below the faces, each room links only to those under it:
// base <- files <- platform <- controls <- runtime <- form.
const Rule kRules[] = {
    {"base",
     {"files/", "platform/", "controls/", "runtime/", "form/", "app/", "<Q", "<termios",
      "<curses"}},
    {"files", {"platform/", "controls/", "runtime/", "form/", "app/", "<Q", "<termios", "<curses"}},
    {"platform", {"controls/", "runtime/", "form/", "app/", "<Q", "<termios", "<curses"}},
    {"controls", {"runtime/", "form/", "app/", "<Q", "<termios", "<curses"}},
    {"runtime", {"form/", "app/", "<Q", "<termios", "<curses"}},
    {"form", {"app/", "<Q", "<termios", "<curses"}},
    {"app/common", {"app/script/", "app/terminal/", "app/desktop/", "<Q", "<termios", "<curses"}},
    {"app/script", {"app/terminal/", "app/desktop/", "<Q", "<curses"}},
    {"app/terminal", {"app/script/", "app/desktop/", "<Q"}},
    {"app/desktop", {"app/script/", "app/terminal/", "<termios", "<curses"}},
};

TEST(Layering, NoFolderIncludesWhatLiesAboveOrBesideIt) {
  for (const Rule& rule : kRules) {
    const fs::path folder = fs::path(KORVEX_SOURCE_DIR) / rule.folder;
    ASSERT_TRUE(fs::is_directory(folder)) << rule.folder;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
      std::ifstream in(e.path());
      int number = 0;
      for (std::string line; std::getline(in, line);) {
        ++number;
        if (line.rfind("#include", 0) != 0) continue;
        const std::string target = line.substr(line.find_first_of("<\"", 8));
        for (const std::string& bad : rule.forbidden) {
          const bool hit =
              bad[0] == '<' ? target.rfind(bad, 0) == 0 : target.rfind("\"" + bad, 0) == 0;
          EXPECT_FALSE(hit) << e.path().string() << ":" << number << ": " << line;
        }
      }
    }
  }
}

// Qt is the desktop window module's alone: neither the executable nor the
// libraries of the engine, the common layer, the script and the terminal
// window (all linked into this test) load any of it.
TEST(Layering, OnlyTheDesktopModuleLinksQt) {
  const std::string tests = std::filesystem::read_symlink("/proc/self/exe").string();
  for (const std::string& binary : {std::string(START_CONFIG_EXE), tests}) {
    const std::string listing = testsupport::Output({"ldd", binary});
    EXPECT_NE(listing.find("libc.so"), std::string::npos) << binary << "\n" << listing;
    EXPECT_EQ(listing.find("libQt"), std::string::npos) << binary << "\n" << listing;
  }
}

}  // namespace
