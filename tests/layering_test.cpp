// The source tree's one-way links: the engine knows no face, the common layer
// knows no face and no host window system, and no face reaches into another.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Rule {
  const char* folder;
  std::vector<std::string> forbidden;  // include prefixes ("<Q" for Qt)
};

const Rule kRules[] = {
    {"platform", {"app/", "<Q", "<termios", "<curses"}},
    {"runtime", {"app/", "<Q", "<termios", "<curses"}},
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

}  // namespace
