#include "platform/winpath.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "test_support.h"

namespace fs = std::filesystem;
using platform::ToHost;
using platform::ToWindows;

namespace {

// Drive C: is the folder "c" of a temporary tree, so that other drives and
// places outside every drive can lie beside it.
class WinPathTest : public testing::Test {
 protected:
  WinPathTest() {
    fs::create_directories(root_);
    SetDrives("C=" + root_.string());
  }
  static void SetDrives(const std::string& value) { setenv("KORVEX_DRIVES", value.c_str(), 1); }
  static void Touch(const fs::path& p) { testsupport::WriteFile(p, "x"); }

  testsupport::TempTree tree_;  // puts KORVEX_DRIVES back
  testsupport::WorkingDirectory cwd_;
  const fs::path tmp_ = tree_.root();
  const fs::path root_ = tmp_ / "c";
};

TEST_F(WinPathTest, DriveMappingForms) {
  fs::create_directories(tmp_ / "d");
  fs::current_path(tmp_);
  SetDrives(" c = " + root_.string() + "/ ;d=d;bad;=/x;QQ=/x;E=;7=/x;f:=" + tmp_.string());
  auto drives = platform::MappedDrives();
  ASSERT_EQ(drives.size(), 3u);
  EXPECT_EQ(drives[0].letter, 'C');
  EXPECT_EQ(drives[0].root, root_);
  EXPECT_EQ(drives[1].letter, 'D');
  EXPECT_EQ(drives[1].root, tmp_ / "d");  // relative roots become absolute
  EXPECT_EQ(drives[2].letter, 'F');
  EXPECT_FALSE(ToHost("E:\\x"));
  EXPECT_FALSE(ToHost("q:\\x"));
  EXPECT_EQ(ToHost("d:\\"), tmp_ / "d");

  // Without the variable only C: exists, and it is the host root.
  unsetenv("KORVEX_DRIVES");
  drives = platform::MappedDrives();
  ASSERT_EQ(drives.size(), 1u);
  EXPECT_EQ(drives[0].root, fs::path("/"));
  EXPECT_EQ(ToHost("c:\\"), fs::path("/"));
  EXPECT_FALSE(ToHost("D:\\"));
}

TEST_F(WinPathTest, UncAndEmbeddedNulAreRefused) {
  EXPECT_FALSE(ToHost("\\\\server\\share\\file"));
  EXPECT_FALSE(ToHost("//server/share"));
  EXPECT_FALSE(ToHost(std::string_view("C:\\a\0b", 6)));
}

TEST_F(WinPathTest, ResolvesIgnoringCase) {
  Touch(root_ / "Korvex" / "Parameter" / "Program.ini");
  Touch(root_ / "Korvex" / "Verschiedenes" / "Maschinenabhängig" / "x.txt");
  fs::path program = root_ / "Korvex" / "Parameter" / "Program.ini";
  EXPECT_EQ(ToHost("C:\\korvex\\parameter\\program.ini"), program);
  EXPECT_EQ(ToHost("c:/KORVEX/PARAMETER/PROGRAM.INI"), program);
  EXPECT_EQ(ToHost("C:\\Korvex\\verschiedenes\\MASCHINENABHÄNGIG"),
            root_ / "Korvex" / "Verschiedenes" / "Maschinenabhängig");
  // After the first missing component the names stay as written.
  EXPECT_EQ(ToHost("C:\\KORVEX\\Neu\\Parameter\\X.ini"), root_ / "Korvex" / "Neu/Parameter/X.ini");
  // A file in the middle of a path ends the resolution.
  EXPECT_EQ(ToHost("C:\\korvex\\parameter\\program.ini\\sub"), program / "sub");
}

TEST_F(WinPathTest, NamesDifferingOnlyInCase) {
  for (const char* n : {"abc", "Abc", "ABC"}) fs::create_directory(root_ / n);
  EXPECT_EQ(ToHost("C:\\aBc"), root_ / "ABC");  // smallest in byte order
  EXPECT_EQ(ToHost("C:\\Abc"), root_ / "Abc");  // an exact match wins
  EXPECT_EQ(ToHost("C:\\abc"), root_ / "abc");
}

TEST_F(WinPathTest, SeparatorsAndDots) {
  Touch(root_ / "Parameter" / "Program.ini");
  fs::path program = root_ / "Parameter" / "Program.ini";
  EXPECT_EQ(ToHost("C:\\\\parameter\\\\program.ini"), program);
  EXPECT_EQ(ToHost("C:\\parameter/./program.ini\\"), program);
  EXPECT_EQ(ToHost("C:parameter\\program.ini"), program);  // taken from the drive root
  EXPECT_EQ(ToHost("C:"), root_);
  // ".." never climbs above the drive root, whatever the machine name says.
  EXPECT_EQ(ToHost("C:\\..\\..\\..\\etc\\passwd"), root_ / "etc" / "passwd");
  EXPECT_EQ(ToHost("C:\\parameter\\..\\..\\..\\x"), root_ / "x");
  EXPECT_EQ(ToHost("C:\\parameter\\..\\PARAMETER\\program.ini"), program);
  EXPECT_EQ(ToHost("C:\\a\\..\\..\\b\\c\\.."), root_ / "b");
}

TEST_F(WinPathTest, ToWindowsRoundTrip) {
  Touch(root_ / "Korvex" / "Start" / "Start_Config");
  Touch(root_ / "Parameter" / "Program.ini");
  fs::create_directories(tmp_ / "usb" / "Save");
  SetDrives("C=" + root_.string() + ";D=" + (tmp_ / "usb").string() +
            ";E=" + (root_ / "Korvex").string());
  EXPECT_EQ(ToWindows(root_), "C:\\");
  EXPECT_EQ(ToWindows(root_ / "Parameter" / "Program.ini"), "C:\\Parameter\\Program.ini");
  EXPECT_EQ(ToWindows(tmp_ / "usb" / "Save" / ""), "D:\\Save");
  EXPECT_EQ(ToWindows(root_ / "Korvex" / "Start"), "E:\\Start");  // longest root wins
  EXPECT_EQ(ToWindows(root_ / "x" / ".." / "Korvex"), "E:\\");
  EXPECT_FALSE(ToWindows(tmp_ / "elsewhere"));
  EXPECT_FALSE(ToWindows(tmp_.string() + "/c-sibling"));  // a name prefix is no folder prefix
  for (const char* win :
       {"C:\\Parameter\\Program.ini", "E:\\Start\\Start_Config", "D:\\Save", "E:\\"}) {
    auto host = ToHost(win);
    ASSERT_TRUE(host) << win;
    EXPECT_EQ(ToWindows(*host), win);
  }
}

TEST_F(WinPathTest, CurrentDirectory) {
  Touch(root_ / "Korvex" / "Start" / "Start_Config");
  fs::current_path(root_ / "Korvex" / "Start");
  EXPECT_EQ(platform::CurrentDirectory(), "C:\\Korvex\\Start");
  EXPECT_EQ(platform::CurrentDrive(), 'C');
  EXPECT_EQ(ToHost("start_config"), root_ / "Korvex" / "Start" / "Start_Config");
  EXPECT_EQ(ToHost("..\\START"), root_ / "Korvex" / "Start");
  EXPECT_EQ(ToHost("\\korvex"), root_ / "Korvex");  // root of the current drive

  // A drive reached through a symbolic link is recognised in the resolved cwd.
  fs::create_directories(tmp_ / "data" / "Sub");
  fs::create_directory_symlink(tmp_ / "data", tmp_ / "link");
  SetDrives("C=" + root_.string() + ";D=" + (tmp_ / "link").string());
  fs::current_path(tmp_ / "link" / "Sub");
  EXPECT_EQ(platform::CurrentDirectory(), "D:\\Sub");
  EXPECT_EQ(platform::CurrentDrive(), 'D');
  EXPECT_EQ(ToHost("\\sub"), tmp_ / "link" / "Sub");

  // Outside every drive the current directory is C:'s root.
  fs::current_path(tmp_);
  EXPECT_EQ(platform::CurrentDirectory(), "C:\\");
  EXPECT_EQ(ToHost("x.txt"), root_ / "x.txt");
}

TEST(WinPath, HiddenNames) {
  EXPECT_TRUE(platform::IsHiddenName(".git"));
  EXPECT_TRUE(platform::IsHiddenName(".x.ini.tmp"));
  EXPECT_FALSE(platform::IsHiddenName("Program.ini"));
  EXPECT_FALSE(platform::IsHiddenName(""));
}

}  // namespace
