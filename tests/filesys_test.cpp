#include "platform/filesys.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/failure.h"
#include "base/termination.h"
#include "files/temporary.h"
#include "kill_support.h"
#include "platform/profile.h"
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

  // A folder without write bits takes no new files.
  tree_.Write("ro/existing.txt", "keep");
  Mode("ro", fs::perms(0555));
  EXPECT_FALSE(ReplaceWholeFile("C:\\ro\\new.ini", "x"));
  EXPECT_EQ(FailureOf([] { AppendLine("C:\\ro\\new.log", "x"); }), kPermissionDenied);
  EXPECT_EQ(FailureOf([] { CopyFile("C:\\p\\src.txt", "C:\\ro\\new.txt", true); }),
            kPermissionDenied);
  EXPECT_EQ(tree_.Entries("ro"), std::vector<std::string>{"existing.txt"});
  EXPECT_EQ(tree_.Entries("p"), (std::vector<std::string>{"ro.ini", "secret.txt", "src.txt"}));
}

// Windows needs no right on a folder to overwrite a file in it. A new file
// replaces the old one whole (a second link to the old file keeps the old bytes),
// in a read-only folder too as long as the system allows the temporary file, so
// that a crash cannot tear it; no new name may appear there.
TEST_F(FileSysTest, ReplacementIsANewFileEvenInAReadOnlyFolder) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root: only root may add a name to a read-only folder";
  tree_.Write("p/Program.ini", "old program");
  tree_.Write("p/src.mdb", "source database");
  tree_.Write("p/Korvex.mdb", "old database");
  fs::create_hard_link(root_ / "p/Program.ini", root_ / "p/Program.link");
  fs::create_hard_link(root_ / "p/Korvex.mdb", root_ / "p/Korvex.link");
  ASSERT_TRUE(ReplaceWholeFile("C:\\p\\Program.ini", "new program"));
  CopyFile("C:\\p\\src.mdb", "C:\\p\\Korvex.mdb", true);
  EXPECT_EQ(tree_.Read("p/Program.ini"), "new program");
  EXPECT_EQ(tree_.Read("p/Program.link"), "old program");
  EXPECT_EQ(tree_.Read("p/Korvex.mdb"), "source database");
  EXPECT_EQ(tree_.Read("p/Korvex.link"), "old database");

  tree_.Write("ro/Program.ini", "[Project]\r\nComment=an old text longer than the new one\r\n");
  tree_.Write("ro/Korvex.mdb", "old");
  tree_.Write("ro/Locked.ini", "locked");
  fs::create_hard_link(root_ / "ro/Program.ini", root_ / "ro/Program.link");
  fs::create_hard_link(root_ / "ro/Korvex.mdb", root_ / "ro/Korvex.link");
  Mode("ro/Program.ini", fs::perms(0640));
  Mode("ro/Locked.ini", fs::perms(0444));
  Mode("p/src.mdb", fs::perms(0604));
  Mode("ro", fs::perms(0555));
  const std::vector<std::string> entries = {"Korvex.link", "Korvex.mdb", "Locked.ini",
                                            "Program.ini", "Program.link"};

  ASSERT_TRUE(ReplaceWholeFile("C:\\ro\\Program.ini", "[Project]\r\n"));
  EXPECT_EQ(WritePrivateProfileStringA("Project", "Key", "grown", "C:\\ro\\program.ini"), 1);
  EXPECT_EQ(tree_.Read("ro/Program.ini"), "[Project]\r\nKey=grown\r\n");
  EXPECT_EQ(tree_.Read("ro/Program.link"),
            "[Project]\r\nComment=an old text longer than the new one\r\n");
  EXPECT_EQ(fs::status(root_ / "ro/Program.ini").permissions(), fs::perms(0640));
  CopyFile("C:\\p\\src.mdb", "C:\\ro\\Korvex.mdb", true);
  EXPECT_EQ(tree_.Read("ro/Korvex.mdb"), "source database");
  EXPECT_EQ(tree_.Read("ro/Korvex.link"), "old");
  EXPECT_EQ(fs::status(root_ / "ro/Korvex.mdb").permissions(), fs::perms(0644));  // as cp keeps it

  EXPECT_FALSE(ReplaceWholeFile("C:\\ro\\New.ini", "x"));
  EXPECT_EQ(WritePrivateProfileStringA("Project", "Key", "1", "C:\\ro\\New.ini"), 0);
  EXPECT_EQ(FailureOf([] { CopyFile("C:\\p\\src.mdb", "C:\\ro\\New.mdb", true); }),
            kPermissionDenied);
  EXPECT_FALSE(ReplaceWholeFile("C:\\ro\\Locked.ini", "x"));
  EXPECT_EQ(WritePrivateProfileStringA("Project", "Key", "1", "C:\\ro\\Locked.ini"), 0);
  EXPECT_EQ(FailureOf([] { CopyFile("C:\\p\\src.mdb", "C:\\ro\\Locked.ini", true); }),
            kPermissionDenied);
  EXPECT_EQ(tree_.Read("ro/Locked.ini"), "locked");
  EXPECT_EQ(tree_.Entries("ro"), entries);
}

// The same where the system itself refuses new names in a folder although its
// files are writable: a folder whose owner lacks the write right (write bits for
// others make it no read-only folder in Windows' sense). Root passes every such
// check, so there the writer runs as nobody in a folder of root's.
TEST_F(FileSysTest, FolderWhereTheSystemRefusesNewNames) {
  tree_.Write("p/src.mdb", "source");
  tree_.Write("locked/Program.ini", "old program");
  tree_.Write("locked/Korvex.mdb", "old database");
  fs::create_hard_link(root_ / "locked/Korvex.mdb", root_ / "locked/Korvex.link");
  Mode("locked/Program.ini", fs::perms(0666));
  Mode("locked/Korvex.mdb", fs::perms(0666));
  const bool root = geteuid() == 0;
  if (root) Mode("", fs::perms(0755));
  Mode("locked", fs::perms(root ? 0755 : 0577));
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (root && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(100);
    int failed = 0;
    if (!ReplaceWholeFile("C:\\locked\\Program.ini", "new program")) failed |= 1;
    if (FailureOf([] { CopyFile("C:\\p\\src.mdb", "C:\\locked\\Korvex.mdb", true); }) != 0)
      failed |= 2;
    if (ReplaceWholeFile("C:\\locked\\New.ini", "x")) failed |= 4;
    if (FailureOf([] { CopyFile("C:\\p\\src.mdb", "C:\\locked\\New.mdb", true); }) !=
        kPermissionDenied)
      failed |= 8;
    _exit(failed);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(tree_.Read("locked/Program.ini"), "new program");
  EXPECT_EQ(tree_.Read("locked/Korvex.link"), "source");
  EXPECT_EQ(tree_.Entries("locked"),
            (std::vector<std::string>{"Korvex.link", "Korvex.mdb", "Program.ini"}));
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

  // Holes stay holes, as cp keeps them: a sparse database must not fill the disk.
  tree_.Write("src/sparse.mdb", "head");
  fs::resize_file(root_ / "src/sparse.mdb", uint64_t{1} << 30);
  std::ofstream(root_ / "src/sparse.mdb", std::ios::app) << "tail";
  CopyFile("C:\\src\\sparse.mdb", "C:\\program\\sparse.mdb", true);
  struct stat src, dst;
  ASSERT_EQ(stat((root_ / "src/sparse.mdb").c_str(), &src), 0);
  ASSERT_EQ(stat((root_ / "Program/sparse.mdb").c_str(), &dst), 0);
  EXPECT_EQ(dst.st_size, src.st_size);
  EXPECT_LE(dst.st_blocks, src.st_blocks + 64);
  std::ifstream copy(root_ / "Program/sparse.mdb", std::ios::binary);
  std::string head(4, ' '), tail(4, ' ');
  copy.read(head.data(), 4);
  copy.seekg(-4, std::ios::end);
  copy.read(tail.data(), 4);
  EXPECT_EQ(head + tail, "headtail");
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
  tree_.Write("ro/dest.bin", "old");
  tree_.Write("ro/Program.ini", "old");
  Mode("ro", fs::perms(0555));
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  auto oldSignal = signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 1024 * 1024;
  setrlimit(RLIMIT_FSIZE, &small);
  int failure = FailureOf([] { CopyFile("C:\\p\\big.bin", "C:\\p\\dest.bin", true); });
  bool replaced = ReplaceWholeFile("C:\\p\\Program.ini", std::string(2 * 1024 * 1024, 'x'));
  // Written in place, a file can only be protected by a check before the first
  // byte changes.
  int failureInPlace = FailureOf([] { CopyFile("C:\\p\\big.bin", "C:\\ro\\dest.bin", true); });
  bool replacedInPlace = ReplaceWholeFile("C:\\ro\\Program.ini", std::string(2 * 1024 * 1024, 'x'));
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, oldSignal);

  EXPECT_NE(failure, 0);
  EXPECT_FALSE(replaced);
  EXPECT_NE(failureInPlace, 0);
  EXPECT_FALSE(replacedInPlace);
  EXPECT_EQ(tree_.Read("p/dest.bin"), "old");
  EXPECT_EQ(tree_.Read("p/Program.ini"), "old");
  EXPECT_EQ(tree_.Read("ro/dest.bin"), "old");
  EXPECT_EQ(tree_.Read("ro/Program.ini"), "old");
  EXPECT_EQ(tree_.Entries("p"), (std::vector<std::string>{"Program.ini", "big.bin", "dest.bin"}));
  EXPECT_EQ(tree_.Entries("ro"), (std::vector<std::string>{"Program.ini", "dest.bin"}));
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

// Every way of writing, with nameless temporary files and with the named ones
// of file systems that cannot keep a file without a name.
class TemporaryFileTest : public FileSysTest, public testing::WithParamInterface<bool> {
 protected:
  TemporaryFileTest() { SetNamedTemporariesForTesting(GetParam()); }
  ~TemporaryFileTest() override { SetNamedTemporariesForTesting(false); }
};

INSTANTIATE_TEST_SUITE_P(Both, TemporaryFileTest, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                           return info.param ? "Named" : "Nameless";
                         });

TEST_P(TemporaryFileTest, WritesLeaveNothingButTheirFiles) {
  tree_.Write("p/src.mdb", "source");
  tree_.Write("p/Old.ini", "old");
  tree_.Write("p/Old.mdb", "old");
  ASSERT_TRUE(ReplaceWholeFile("C:\\p\\Old.ini", "replaced"));
  ASSERT_TRUE(ReplaceWholeFile("C:\\p\\New.ini", "created"));
  ASSERT_TRUE(EditWholeFile("C:\\p\\Edited.ini", [](std::string& bytes) {
    bytes += "edited";
    return true;
  }));
  CopyFile("C:\\p\\src.mdb", "C:\\p\\Old.mdb", true);
  CopyFile("C:\\p\\src.mdb", "C:\\p\\New.mdb", true);
  EXPECT_EQ(tree_.Read("p/Old.ini"), "replaced");
  EXPECT_EQ(tree_.Read("p/New.ini"), "created");
  EXPECT_EQ(tree_.Read("p/Edited.ini"), "edited");
  EXPECT_EQ(tree_.Read("p/Old.mdb"), "source");
  EXPECT_EQ(tree_.Read("p/New.mdb"), "source");
  EXPECT_EQ(tree_.Entries("p"), (std::vector<std::string>{"Edited.ini", "New.ini", "New.mdb",
                                                          "Old.ini", "Old.mdb", "src.mdb"}));
}

// A termination request (SIGTERM) that is pending when a copy goes on ends it
// by an exception of its own, and the temporary file goes with it.
TEST_P(TemporaryFileTest, TerminationRequestEndsACopyWithoutTrace) {
  testsupport::WriteBigFile(root_ / "src/Korvex.mdb", 3 << 20, 1);
  tree_.Write("dst/Korvex.mdb", "old database");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    InstallEndRequestHandlers();
    raise(SIGTERM);
    int ended = 0;
    for (const char* to : {"C:\\dst\\Korvex.mdb", "C:\\dst\\New.mdb"}) {
      try {
        CopyFile("C:\\src\\Korvex.mdb", to, true);
      } catch (const EndRequest& e) {
        ended += e.signal == SIGTERM;
      } catch (...) {
      }
    }
    _exit(ended);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 2);
  EXPECT_EQ(tree_.Read("dst/Korvex.mdb"), "old database");
  EXPECT_EQ(tree_.Entries("dst"), std::vector<std::string>{"Korvex.mdb"});
}

// A copy killed while it writes leaves the old destination (or, killed just
// after, the whole new one). A nameless temporary file vanishes with the
// process; a named one stays until the next start clears it.
TEST_P(TemporaryFileTest, KilledCopyLeavesTheOldFileOrTheWholeNewOne) {
  const fs::path source = root_ / "src/Korvex.mdb";
  testsupport::WriteBigFile(source, 96 << 20, 2);
  int caught = 0, leftovers = 0;
  for (int attempt = 0; attempt < 5 && caught < 2; ++attempt) {
    SCOPED_TRACE("attempt " + std::to_string(attempt));
    tree_.Write("dst/Korvex.mdb", "old database");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      CopyFile("C:\\src\\Korvex.mdb", "C:\\dst\\Korvex.mdb", true);
      _exit(0);
    }
    bool writing = false;
    int status = 0;
    while (!(writing = testsupport::HasFileOpenIn(child, root_ / "dst")) &&
           waitpid(child, &status, WNOHANG) == 0) {
    }
    if (writing) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      caught += WIFSIGNALED(status);
    }
    const bool old = tree_.Read("dst/Korvex.mdb") == "old database";
    EXPECT_TRUE(old || testsupport::SameBytes(root_ / "dst/Korvex.mdb", source));
    std::vector<std::string> left = testsupport::TemporariesBelow(root_);
    leftovers += static_cast<int>(left.size());
    for (const std::string& name : left) {
      EXPECT_TRUE(GetParam()) << name;
      EXPECT_NE(name.find(".kvxtmp-" + std::to_string(child) + "-"), std::string::npos) << name;
    }
    RemoveStaleTemporaries("C:\\dst");
    EXPECT_EQ(tree_.Entries("dst"), std::vector<std::string>{"Korvex.mdb"});
  }
  ASSERT_GT(caught, 0) << "no copy was caught while it wrote";
  if (GetParam()) {
    EXPECT_GT(leftovers, 0);  // so the clearing was put to the test
  }
}

TEST_F(FileSysTest, StaleTemporariesOfEndedProcessesAreRemoved) {
  const std::string ended = std::to_string(testsupport::EndedProcessId());
  const std::string running = std::to_string(getpid());
  const std::vector<std::string> stale = {".Korvex.mdb.kvxtmp-" + ended + "-0",
                                          ".Program.ini.kvxtmp-" + ended + "-17",
                                          ".a.kvxtmp-b.kvxtmp-" + ended + "-3"};
  std::vector<std::string> kept = {
      "Korvex.mdb",
      ".Korvex.mdb.kvxtmp-" + running + "-0",  // a writer that runs
      ".Korvex.mdb.kvxtmp-1-0",                // the first process always runs
      ".Korvex.mdb.5a3c0000012f.tmp",          // not surely ours
      "Korvex.mdb.kvxtmp-" + ended + "-0",
      ".kvxtmp-" + ended + "-0",
      ".Korvex.mdb.kvxtmp-" + ended + "-",
      ".Korvex.mdb.kvxtmp-" + ended + "-0x",
      ".Korvex.mdb.kvxtmp-" + ended,
      ".Korvex.mdb.kvxtmp--" + ended + "-0",
      ".Korvex.mdb.kvxtmp-99999999999-0",
      ".Link.kvxtmp-" + ended + "-0",  // a link, not a file
      ".Folder.kvxtmp-" + ended + "-0",
  };
  for (const std::string& name : stale) tree_.Write("Korvex/parameter/" + name, "left");
  for (const std::string& name : kept)
    if (name.find("Link") == std::string::npos && name.find("Folder") == std::string::npos)
      tree_.Write("Korvex/parameter/" + name, "kept");
  fs::create_symlink("Korvex.mdb", root_ / "Korvex/parameter" / (".Link.kvxtmp-" + ended + "-0"));
  tree_.MakeFolder("Korvex/parameter/.Folder.kvxtmp-" + ended + "-0");
  Mode("Korvex/parameter/" + stale[0], fs::perms(0444));  // a read-only copy is no obstacle

  RemoveStaleTemporaries("c:\\korvex\\PARAMETER");
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(tree_.Entries("Korvex/parameter"), kept);
  EXPECT_NO_THROW(RemoveStaleTemporaries("C:\\missing"));
  EXPECT_NO_THROW(RemoveStaleTemporaries("Q:\\"));
  EXPECT_NO_THROW(RemoveStaleTemporaries(""));
}

}  // namespace
