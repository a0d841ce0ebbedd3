#include "platform/filesys.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/failure.h"
#include "test_support.h"

namespace fs = std::filesystem;
using namespace platform;

namespace {

using testsupport::FailureOf;

// Drive C: is a temporary tree; its Entries lists hidden names too, to find
// stray temporary files.
class FileSysTest : public testing::Test {
 protected:
  void Mode(const fs::path& rel, fs::perms p) { fs::permissions(root_ / rel, p); }

  testsupport::TempTree tree_;
  const fs::path& root_ = tree_.root();
};

TEST_F(FileSysTest, ExistenceTests) {
  tree_.Write("Parameter/Program.ini", "[Project]\r\n");
  tree_.Write("Parameter/.hidden.ini", "");
  tree_.Write("Parameter/*.ini", "");
  EXPECT_TRUE(NormalFileExists("C:\\parameter\\program.ini"));
  EXPECT_TRUE(FileExists("C:\\parameter\\program.ini"));
  EXPECT_FALSE(NormalFileExists("C:\\Parameter\\.HIDDEN.INI"));
  EXPECT_TRUE(FileExists("C:\\Parameter\\.HIDDEN.INI"));
  EXPECT_FALSE(NormalFileExists(""));
  EXPECT_FALSE(FileExists(""));
  EXPECT_FALSE(FolderExists(""));
  EXPECT_FALSE(NormalFileExists("C:\\parameter"));
  EXPECT_FALSE(FileExists("C:\\parameter"));
  EXPECT_TRUE(FolderExists("C:\\PARAMETER\\"));
  EXPECT_FALSE(FolderExists("C:\\parameter\\program.ini"));
  EXPECT_FALSE(NormalFileExists("C:\\parameter\\nothing.ini"));
  EXPECT_FALSE(NormalFileExists("D:\\parameter\\program.ini"));
  // No wildcards: "*.ini" names only the file literally called so.
  EXPECT_TRUE(NormalFileExists("C:\\parameter\\*.ini"));
  fs::remove(root_ / "Parameter" / "*.ini");
  EXPECT_FALSE(NormalFileExists("C:\\parameter\\*.ini"));
}

TEST(FileSys, ParentFolderName) {
  EXPECT_EQ(GetParentFolderName("C:\\Korvex\\Start"), "C:\\Korvex");
  EXPECT_EQ(GetParentFolderName("C:\\Korvex"), "C:\\");
  EXPECT_EQ(GetParentFolderName("C:\\"), "");
  EXPECT_EQ(GetParentFolderName("C:"), "");
  EXPECT_EQ(GetParentFolderName("C:\\a\\b\\"), "C:\\a");
  EXPECT_EQ(GetParentFolderName("C:\\\\parameter"), "C:\\");
  EXPECT_EQ(GetParentFolderName("C:\\a\\\\b"), "C:\\a");
  EXPECT_EQ(GetParentFolderName("\\a"), "\\");
  EXPECT_EQ(GetParentFolderName("a\\b"), "a");
  EXPECT_EQ(GetParentFolderName("name"), "");
  EXPECT_EQ(GetParentFolderName(""), "");
}

TEST_F(FileSysTest, ListingOrderAndPaths) {
  for (const char* n : {"b.txt", "A.txt", "c.TXT", ".hidden", "Ärger.txt"})
    tree_.Write(fs::path("d") / n, "");
  for (const char* n : {"zeta", "Alpha", "beta", ".git"}) fs::create_directories(root_ / "d" / n);
  std::vector<std::string> files = {"C:\\D\\.hidden", "C:\\D\\A.txt", "C:\\D\\b.txt",
                                    "C:\\D\\c.TXT", "C:\\D\\Ärger.txt"};
  EXPECT_EQ(FolderFiles("C:\\D"), files);
  EXPECT_EQ(FolderFiles("C:\\D\\"), files);  // no doubled backslash
  std::vector<std::string> folders = {".git", "Alpha", "beta", "zeta"};
  EXPECT_EQ(SubFolderNames("c:\\d"), folders);
  folders.erase(folders.begin());
  EXPECT_EQ(VisibleSubFolderNames("c:\\d"), folders);

  EXPECT_EQ(FailureOf([] { FolderFiles("C:\\missing"); }), kPathNotFound);
  EXPECT_EQ(FailureOf([] { SubFolderNames("C:\\d\\b.txt"); }), kPathNotFound);
  EXPECT_EQ(FailureOf([] { SubFolderNames("Q:\\"); }), kPathNotFound);
  EXPECT_TRUE(VisibleSubFolderNames("C:\\missing").empty());
  EXPECT_TRUE(VisibleSubFolderNames("Q:\\").empty());
}

TEST_F(FileSysTest, ReadAndReplaceWholeFile) {
  std::string binary("a\0b\r\n\xE4\xFF", 7);
  tree_.Write("p/Program.ini", binary);
  Mode("p/Program.ini", fs::perms(0640));
  std::string bytes = "stale";
  ASSERT_TRUE(ReadWholeFile("C:\\P\\PROGRAM.INI", bytes));
  EXPECT_EQ(bytes, binary);
  EXPECT_FALSE(ReadWholeFile("C:\\p\\missing.ini", bytes));
  EXPECT_TRUE(bytes.empty());
  EXPECT_FALSE(ReadWholeFile("C:\\p", bytes));

  ASSERT_TRUE(ReplaceWholeFile("C:\\p\\program.ini", "new"));
  EXPECT_EQ(tree_.Read("p/Program.ini"), "new");  // the existing name is kept
  EXPECT_EQ(fs::status(root_ / "p/Program.ini").permissions(), fs::perms(0640));
  ASSERT_TRUE(ReplaceWholeFile("C:\\p\\Created.ini", "x"));
  EXPECT_EQ(tree_.Read("p/Created.ini"), "x");
  EXPECT_FALSE(ReplaceWholeFile("C:\\missing\\x.ini", "x"));
  EXPECT_FALSE(fs::exists(root_ / "missing"));
  EXPECT_FALSE(ReplaceWholeFile("C:\\p", "x"));
  EXPECT_FALSE(ReplaceWholeFile("Q:\\x.ini", "x"));
  EXPECT_EQ(tree_.Entries("p"), (std::vector<std::string>{"Created.ini", "Program.ini"}));
}

// Root ignores permission bits; Windows' read-only must hold all the same.
TEST_F(FileSysTest, ReadOnlyRulesHoldForEveryone) {
  tree_.Write("p/ro.ini", "old");
  tree_.Write("p/src.txt", "source");
  tree_.Write("p/secret.txt", "secret");
  Mode("p/ro.ini", fs::perms(0444));
  Mode("p/secret.txt", fs::perms(0200));
  EXPECT_FALSE(ReplaceWholeFile("C:\\p\\ro.ini", "new"));
  EXPECT_EQ(FailureOf([] { AppendLine("C:\\p\\ro.ini", "x"); }), kPermissionDenied);
  EXPECT_EQ(FailureOf([] { CopyFile("C:\\p\\src.txt", "C:\\p\\ro.ini", true); }),
            kPermissionDenied);
  EXPECT_EQ(tree_.Read("p/ro.ini"), "old");
  std::string bytes;
  EXPECT_TRUE(ReadWholeFile("C:\\p\\ro.ini", bytes));
  EXPECT_FALSE(ReadWholeFile("C:\\p\\secret.txt", bytes));
  EXPECT_EQ(FailureOf([] { CopyFile("C:\\p\\secret.txt", "C:\\p\\copy.txt", true); }),
            kPermissionDenied);

  // A folder without write bits takes no new files and no replacements.
  tree_.Write("ro/existing.txt", "keep");
  Mode("ro", fs::perms(0555));
  EXPECT_FALSE(ReplaceWholeFile("C:\\ro\\new.ini", "x"));
  EXPECT_FALSE(ReplaceWholeFile("C:\\ro\\existing.txt", "x"));
  EXPECT_EQ(FailureOf([] { AppendLine("C:\\ro\\new.log", "x"); }), kPermissionDenied);
  EXPECT_EQ(FailureOf([] { CopyFile("C:\\p\\src.txt", "C:\\ro\\new.txt", true); }),
            kPermissionDenied);
  EXPECT_EQ(FailureOf([] { CopyFile("C:\\p\\src.txt", "C:\\ro\\existing.txt", true); }),
            kPermissionDenied);
  EXPECT_EQ(tree_.Entries("ro"), std::vector<std::string>{"existing.txt"});
  EXPECT_EQ(tree_.Read("ro/existing.txt"), "keep");
  EXPECT_EQ(tree_.Entries("p"), (std::vector<std::string>{"ro.ini", "secret.txt", "src.txt"}));
}

TEST_F(FileSysTest, CopyFileKeepsBytesModeAndTime) {
  std::string big;
  for (int i = 0; i < 3 * 1024 * 1024 + 17; ++i) big += static_cast<char>(i * 7 % 256);
  tree_.Write("src/Korvex.mdb", big);
  Mode("src/Korvex.mdb", fs::perms(0751));
  auto mtime = fs::file_time_type(std::chrono::seconds(1'600'000'000));
  fs::last_write_time(root_ / "src/Korvex.mdb", mtime);
  fs::create_directories(root_ / "Program");

  CopyFile("C:\\SRC\\korvex.mdb", "C:\\program\\Korvex.mdb", true);
  EXPECT_TRUE(tree_.Read("Program/Korvex.mdb") == big);
  EXPECT_EQ(fs::status(root_ / "Program/Korvex.mdb").permissions(), fs::perms(0751));
  EXPECT_EQ(fs::last_write_time(root_ / "Program/Korvex.mdb"), mtime);

  tree_.Write("src/small.txt", "small");
  EXPECT_EQ(FailureOf([&] { CopyFile("C:\\src\\small.txt", "C:\\program\\korvex.MDB", false); }),
            kFileAlreadyExists);
  EXPECT_TRUE(tree_.Read("Program/Korvex.mdb") == big);
  CopyFile("C:\\src\\small.txt", "C:\\program\\korvex.MDB", true);
  EXPECT_EQ(tree_.Read("Program/Korvex.mdb"), "small");  // the existing name is kept
  EXPECT_EQ(tree_.Entries("Program"), std::vector<std::string>{"Korvex.mdb"});
}

TEST_F(FileSysTest, CopyFileOntoItselfAndFailures) {
  tree_.Write("p/Data.mdb", "precious");
  CopyFile("C:\\p\\Data.mdb", "C:\\P\\DATA.MDB", true);  // a path box naming the destination
  CopyFile("C:\\p\\Data.mdb", "C:\\p\\.\\data.mdb", true);
  EXPECT_EQ(tree_.Read("p/Data.mdb"), "precious");
  fs::create_hard_link(root_ / "p/Data.mdb", root_ / "p/Link.mdb");
  CopyFile("C:\\p\\Data.mdb", "C:\\p\\Link.mdb", true);
  EXPECT_EQ(tree_.Read("p/Data.mdb"), "precious");

  fs::create_directories(root_ / "p/Folder");
  EXPECT_EQ(FailureOf([] { CopyFile("C:\\p\\none.mdb", "C:\\p\\x.mdb", true); }), kFileNotFound);
  EXPECT_EQ(FailureOf([] { CopyFile("C:\\p\\Folder", "C:\\p\\x.mdb", true); }), kFileNotFound);
  EXPECT_EQ(FailureOf([] { CopyFile("C:\\p\\Data.mdb", "C:\\none\\x.mdb", true); }), kPathNotFound);
  EXPECT_EQ(FailureOf([] { CopyFile("C:\\p\\Data.mdb", "C:\\p\\folder", true); }),
            kPermissionDenied);
  EXPECT_EQ(FailureOf([] { CopyFile("C:\\p\\Data.mdb", "Q:\\x.mdb", true); }), kPathNotFound);
  EXPECT_EQ(tree_.Entries("p"), (std::vector<std::string>{"Data.mdb", "Folder", "Link.mdb"}));
  EXPECT_FALSE(fs::exists(root_ / "none"));
}

// A write that fails half-way (here: the file-size limit) must leave the old
// destination whole and no temporary file behind.
TEST_F(FileSysTest, FailedWritesLeaveNoTrace) {
  tree_.Write("p/big.bin", std::string(3 * 1024 * 1024, 'b'));
  tree_.Write("p/dest.bin", "old");
  tree_.Write("p/Program.ini", "old");
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  auto oldSignal = signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 1024 * 1024;
  setrlimit(RLIMIT_FSIZE, &small);
  int failure = FailureOf([] { CopyFile("C:\\p\\big.bin", "C:\\p\\dest.bin", true); });
  bool replaced = ReplaceWholeFile("C:\\p\\Program.ini", std::string(2 * 1024 * 1024, 'x'));
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, oldSignal);

  EXPECT_NE(failure, 0);
  EXPECT_FALSE(replaced);
  EXPECT_EQ(tree_.Read("p/dest.bin"), "old");
  EXPECT_EQ(tree_.Read("p/Program.ini"), "old");
  EXPECT_EQ(tree_.Entries("p"), (std::vector<std::string>{"Program.ini", "big.bin", "dest.bin"}));
}

TEST_F(FileSysTest, AppendLineWritesAnsiWithCrLf) {
  fs::create_directories(root_ / "Log");
  AppendLine("C:\\log\\KVXcfglog.txt", "Fehler in Maschinenabhängig");
  AppendLine("C:\\LOG\\kvxcfglog.TXT", "€");
  AppendBytes("C:\\log\\KVXcfglog.txt", "raw\n\r");
  EXPECT_EQ(tree_.Read("Log/KVXcfglog.txt"), "Fehler in Maschinenabh\xE4ngig\r\n\x80\r\nraw\n\r");
  EXPECT_EQ(tree_.Entries("Log"), std::vector<std::string>{"KVXcfglog.txt"});

  EXPECT_EQ(FailureOf([] { AppendLine("C:\\missing\\x.log", "x"); }), kPathNotFound);
  EXPECT_EQ(FailureOf([] { AppendLine("C:\\log", "x"); }), kPathFileAccessError);
  EXPECT_EQ(FailureOf([] { AppendLine("Q:\\x.log", "x"); }), kPathNotFound);
  EXPECT_FALSE(fs::exists(root_ / "missing"));
}

}  // namespace
