// The INI services keep files between calls; every call must still see the file
// as it is on disk, whoever changed it and however little time passed, and the
// written files must be synced before a handler or the process ends.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "files/file_cache.h"
#include "platform/filesys.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using platform::GetPrivateProfileStringA;
using platform::WritePrivateProfileStringA;

constexpr const char* kIni = "C:\\t.ini";

// Runs body in a child process and waits for it: "another program".
template <class Body>
void InAnotherProcess(Body body) {
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    body();
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// Rewrites a file in place (same inode) from another process.
void OverwriteInPlace(const fs::path& file, const std::string& bytes) {
  InAnotherProcess([&] {
    const int fd = open(file.c_str(), O_WRONLY | O_TRUNC);
    if (fd < 0 || write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
      _exit(1);
    close(fd);
  });
}

void SetModificationTime(const fs::path& file, timespec when) {
  const timespec times[2] = {when, when};
  ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
}

timespec ModificationTime(const fs::path& file) {
  struct stat st {};
  stat(file.c_str(), &st);
  return st.st_mtim;
}

class IniCacheTest : public ::testing::Test {
 protected:
  void TearDown() override {
    platform::SetTimestampTickForTesting(0);
    platform::SyncWrittenFiles();
  }
  static std::string Str(std::string_view sec, std::string_view key, const char* file = kIni) {
    return GetPrivateProfileStringA(sec, key, "-", 255, file).text;
  }
  fs::path Host(const char* name = "t.ini") const { return tree_.Host(name); }
  // A file last modified an hour ago (its change time is now).
  void PutOld(const std::string& bytes, const char* name = "t.ini") {
    tree_.Write(name, bytes);
    SetModificationTime(Host(name), {time(nullptr) - 3600, 0});
  }

  testsupport::TempTree tree_;
};

TEST_F(IniCacheTest, AChangeByAnotherProgramBetweenTwoReadsIsSeen) {
  // Another size.
  PutOld("[S]\r\nk=old\r\n");
  EXPECT_EQ(Str("S", "k"), "old");
  OverwriteInPlace(Host(), "[S]\r\nk=longer\r\n");
  EXPECT_EQ(Str("S", "k"), "longer");

  // The same size and the modification time put back: only the change time tells.
  PutOld("[S]\r\nk=aaa\r\n");
  const timespec before = ModificationTime(Host());
  EXPECT_EQ(Str("S", "k"), "aaa");
  OverwriteInPlace(Host(), "[S]\r\nk=bbb\r\n");
  SetModificationTime(Host(), before);
  EXPECT_EQ(Str("S", "k"), "bbb");
}

TEST_F(IniCacheTest, AChangeWithinTheSameTimestampTickAndSizeIsSeen) {
  // As on file systems whose times move in whole seconds or in coarse ticks, the
  // file's times and size stay exactly the same across the change.
  for (long long tick : {1'000'000'000LL, 10'000'000LL}) {
    platform::SetTimestampTickForTesting(tick);
    for (int round = 0; round < 3; ++round) {
      tree_.Write("t.ini", "[S]\r\nk=one\r\n");
      EXPECT_EQ(Str("S", "k"), "one");
      OverwriteInPlace(Host(), "[S]\r\nk=two\r\n");
      EXPECT_EQ(Str("S", "k"), "two") << "tick " << tick << " round " << round;
      // Our own write, then another program's within the same tick.
      EXPECT_EQ(WritePrivateProfileStringA("S", "k", "own", kIni), 1);
      EXPECT_EQ(Str("S", "k"), "own");
      OverwriteInPlace(Host(), "[S]\r\nk=its\r\n");
      EXPECT_EQ(Str("S", "k"), "its") << "tick " << tick << " round " << round;
    }
  }
}

TEST_F(IniCacheTest, AnUnchangedOldFileIsReadOnce) {
  PutOld("[S]\r\na=1\r\nb=2\r\n[T]\r\nc=3\r\n");
  // Past the time in which a change could still hide in the file's times.
  usleep(200'000);
  const uint64_t before = platform::ContentReadsForTesting();
  EXPECT_EQ(Str("S", "a"), "1");
  EXPECT_EQ(Str("S", "b"), "2");
  EXPECT_EQ(Str("T", "c"), "3");
  EXPECT_EQ(Str("T", "missing"), "-");
  EXPECT_EQ(platform::ContentReadsForTesting(), before + 1);
}

TEST_F(IniCacheTest, AFileDeletedOrReplacedByAFolderIsGone) {
  PutOld("[S]\r\nk=v\r\n");
  EXPECT_EQ(Str("S", "k"), "v");
  fs::remove(Host());
  EXPECT_EQ(Str("S", "k"), "-");
  PutOld("[S]\r\nk=back\r\n");
  EXPECT_EQ(Str("S", "k"), "back");

  fs::remove(Host());
  fs::create_directory(Host());
  EXPECT_EQ(Str("S", "k"), "-");
  EXPECT_EQ(WritePrivateProfileStringA("S", "k", "x", kIni), 0);
  EXPECT_TRUE(fs::is_directory(Host()));
}

TEST_F(IniCacheTest, TheStepsOwnWritesAreReadBack) {
  PutOld("[S]\r\nk=v\r\n");
  EXPECT_EQ(Str("S", "k"), "v");
  EXPECT_EQ(WritePrivateProfileStringA("S", "k", "changed", kIni), 1);
  EXPECT_EQ(Str("S", "k"), "changed");
  EXPECT_EQ(WritePrivateProfileStringA("s", "new", "added", kIni), 1);
  EXPECT_EQ(WritePrivateProfileStringA("T", "k", "section", kIni), 1);
  EXPECT_EQ(Str("S", "new"), "added");
  EXPECT_EQ(Str("T", "K"), "section");
  EXPECT_EQ(tree_.Read("t.ini"), "[S]\r\nk=changed\r\nnew=added\r\n[T]\r\nk=section\r\n");

  // Created by a write, read back at once.
  EXPECT_EQ(WritePrivateProfileStringA("N", "k", "1", "C:\\new.ini"), 1);
  EXPECT_EQ(Str("N", "k", "C:\\new.ini"), "1");
}

TEST_F(IniCacheTest, AnotherProgramsWriteBetweenOurReadAndOurWriteIsKept) {
  tree_.Write("t.ini", "[S]\r\na=1\r\nb=2\r\n");
  for (long long tick : {0LL, 1'000'000'000LL}) {
    platform::SetTimestampTickForTesting(tick);
    tree_.Write("t.ini", "[S]\r\na=1\r\nb=2\r\n");
    EXPECT_EQ(Str("S", "a"), "1");
    OverwriteInPlace(Host(), "[S]\r\na=1\r\nb=9\r\n");  // same size
    EXPECT_EQ(WritePrivateProfileStringA("S", "a", "5", kIni), 1);
    EXPECT_EQ(tree_.Read("t.ini"), "[S]\r\na=5\r\nb=9\r\n") << "tick " << tick;

    // Another writer through the services, which lock the file, in between.
    EXPECT_EQ(Str("S", "a"), "5");
    InAnotherProcess([] {
      if (WritePrivateProfileStringA("S", "c", "3", kIni) != 1) _exit(1);
    });
    EXPECT_EQ(WritePrivateProfileStringA("S", "d", "4", kIni), 1);
    EXPECT_EQ(tree_.Read("t.ini"), "[S]\r\na=5\r\nb=9\r\nc=3\r\nd=4\r\n") << "tick " << tick;
  }
}

// A file changed write by write through its kept index, against the same writes
// each on a freshly read file: the bytes and every lookup agree.
TEST_F(IniCacheTest, PatchedIndexAgreesWithAFreshlyReadFile) {
  const std::string start =
      "; comment\r\nloose=1\r\n  [ Alpha ]  tail\r\n\tKey1 = v1 \r\nnot an entry\r\n"
      "key1=dup\r\n[Beta]\nb=\"quoted\"\n[alpha]\r\nkey2=later\r\n[Gamma]\rg=1\r[Delta]\r\nd=1";
  tree_.Write("a.ini", start);
  tree_.Write("b.ini", start);
  const std::vector<std::string> sections = {"Alpha", "beta", " GAMMA ", "Delta", "Epsilon", "Z"};
  const std::vector<std::string> keys = {"key1", "KEY2", "b", "g", "d", "new", " x "};
  const std::vector<std::string> values = {"", "1", "longer value", "'q'", " pad ", "=;[x]"};
  std::mt19937 random(7);
  auto pick = [&](const std::vector<std::string>& from) { return from[random() % from.size()]; };
  for (int step = 0; step < 300; ++step) {
    const std::string sec = pick(sections), key = pick(keys), value = pick(values);
    ASSERT_EQ(WritePrivateProfileStringA(sec, key, value, "C:\\a.ini"), 1);
    // b.ini read anew for each write, its index built from its bytes.
    platform::ForgetCachedFile(tree_.Host("b.ini"));
    ASSERT_EQ(WritePrivateProfileStringA(sec, key, value, "C:\\b.ini"), 1);
    const std::string a = tree_.Read("a.ini");
    ASSERT_EQ(a, tree_.Read("b.ini")) << "step " << step;
    for (const std::string& s : sections)
      for (const std::string& k : keys)
        ASSERT_EQ(Str(s, k, "C:\\a.ini"), Str(s, k, "C:\\b.ini")) << s << "/" << k;
  }
}

TEST_F(IniCacheTest, WrittenFilesAwaitOneSync) {
  EXPECT_TRUE(platform::SyncWrittenFiles());
  EXPECT_TRUE(platform::FilesAwaitingSync().empty());
  EXPECT_EQ(WritePrivateProfileStringA("S", "a", "1", kIni), 1);
  EXPECT_EQ(WritePrivateProfileStringA("S", "b", "2", kIni), 1);
  EXPECT_EQ(platform::FilesAwaitingSync(), std::vector<std::string>{Host().string()});
  EXPECT_TRUE(platform::SyncWrittenFiles());
  EXPECT_TRUE(platform::FilesAwaitingSync().empty());
  // A write that changes nothing has nothing to sync.
  EXPECT_EQ(WritePrivateProfileStringA("S", "b", "2", kIni), 1);
  EXPECT_TRUE(platform::FilesAwaitingSync().empty());
}

TEST_F(IniCacheTest, TheProcessEndsOnlyAfterTheSync) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::fflush(nullptr);  // nothing of ours for the child to flush again
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    close(fds[0]);
    if (WritePrivateProfileStringA("S", "k", "v", kIni) != 1 ||
        platform::FilesAwaitingSync().empty())
      _exit(1);
    // The end note is the report of the end; by then the files are synced.
    platform::SetProcessEndNote([fd = fds[1]](int) {
      const char answer = platform::FilesAwaitingSync().empty() ? 'y' : 'n';
      (void)!write(fd, &answer, 1);
    });
    platform::EndProcess(0);
  }
  close(fds[1]);
  char answer = 0;
  EXPECT_EQ(read(fds[0], &answer, 1), 1);
  close(fds[0]);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(answer, 'y');
}

}  // namespace
