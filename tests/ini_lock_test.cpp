// Writers of one INI file in several processes: each read-modify-write holds the
// file's lock from its read until its new file is in place, so no key is lost.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "files/rewrite.h"
#include "platform/filesys.h"
#include "platform/profile.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using platform::GetPrivateProfileStringA;
using platform::WritePrivateProfileStringA;

const char* const kIni = "C:\\Korvex\\parameter\\Program.ini";
constexpr int kKeys = 200;

std::string Key(int writer, int i) {
  return std::string(writer == 0 ? "A" : "B") + std::to_string(i);
}
// Every other key goes into the section both share, the rest into the writer's own.
std::string Section(int writer, int i) {
  return i % 2 ? "Project" : writer == 0 ? "First" : "Second";
}

// The lock wait's clock, kept by the test: a pause is counted, not slept, and
// the lock held by heldLock is let go once the wait has reached releaseAt.
int waitedMs = 0, heldLock = -1, releaseAt = 0;
void CountedPause(int ms) {
  waitedMs += ms;
  if (heldLock >= 0 && waitedMs >= releaseAt) close(heldLock), heldLock = -1;
}

// Tells the other end of a pipe, once, that the writer found the lock taken
// and waits; then pauses as the writer would.
int toldWaiting = -1;
void TellingPause(int ms) {
  if (toldWaiting >= 0) (void)!write(toldWaiting, "w", 1), close(toldWaiting), toldWaiting = -1;
  usleep(ms * 1000);
}

// Two writers start at once: on a file that neither finds (both create it), and
// on a file in a folder that takes no new files (both rewrite it in place).
class IniLockTest : public testing::TestWithParam<bool> {
 protected:
  testsupport::TempTree tree_;
};

INSTANTIATE_TEST_SUITE_P(Both, IniLockTest, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                           return info.param ? "InPlace" : "Created";
                         });

TEST_P(IniLockTest, ConcurrentWritersLoseNoKey) {
  const bool inPlace = GetParam();
  tree_.MakeFolder("Korvex/parameter");
  if (inPlace) {
    tree_.Write("Korvex/parameter/Program.ini", "[Project]\r\n");
    fs::permissions(tree_.Host("Korvex/parameter"), fs::perms(0555));
  }
  int go[2];
  ASSERT_EQ(pipe(go), 0);
  pid_t writers[2];
  for (int w = 0; w < 2; ++w) {
    writers[w] = fork();
    ASSERT_GE(writers[w], 0);
    if (writers[w] == 0) {
      close(go[1]);
      char c;
      (void)!read(go[0], &c, 1);  // returns when the parent closes its end
      int failed = 0;
      for (int i = 0; i < kKeys; ++i)
        failed +=
            WritePrivateProfileStringA(Section(w, i), Key(w, i), std::to_string(i), kIni) != 1;
      _exit(std::min(failed, 255));
    }
  }
  close(go[0]);
  close(go[1]);
  for (pid_t writer : writers) {
    int status = 0;
    waitpid(writer, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "failed writes";
  }
  int lost = 0;
  for (int w = 0; w < 2; ++w)
    for (int i = 0; i < kKeys; ++i)
      lost += GetPrivateProfileStringA(Section(w, i), Key(w, i), "", 16, kIni).text !=
              std::to_string(i);
  EXPECT_EQ(lost, 0);
  EXPECT_EQ(tree_.Entries("Korvex/parameter"), std::vector<std::string>{"Program.ini"});
}

// A writer that waits for the lock edits the file that is in place once it has
// the lock, with what the other writer put there meanwhile.
TEST(IniLock, WaitingWriterSeesWhatTheOtherWroteMeanwhile) {
  testsupport::TempTree tree;
  tree.Write("Korvex/parameter/Program.ini", "[Project]\r\nOld=1\r\n");
  const fs::path ini = tree.Host("Korvex/parameter/Program.ini");
  // The other writer holds the file's lock...
  const int held = open(ini.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(held, 0);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  int waiting[2];
  ASSERT_EQ(pipe(waiting), 0);
  const pid_t waiter = fork();
  ASSERT_GE(waiter, 0);
  if (waiter == 0) {
    close(held);  // the copy of the descriptor would hold the lock as well
    close(waiting[0]);
    toldWaiting = waiting[1];
    platform::SetLockPauseForTesting(TellingPause);
    _exit(WritePrivateProfileStringA("Project", "Waiter", "2", kIni) == 1 ? 0 : 1);
  }
  close(waiting[1]);
  char c;
  ASSERT_EQ(read(waiting[0], &c, 1), 1) << "the writer never found the lock taken";
  close(waiting[0]);
  // ... and puts its new file in place before it lets go.
  tree.Write("Korvex/parameter/Program.new", "[Project]\r\nOld=1\r\nOther=3\r\n");
  fs::rename(tree.Host("Korvex/parameter/Program.new"), ini);
  close(held);
  int status = 0;
  waitpid(waiter, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(tree.Read("Korvex/parameter/Program.ini"),
            "[Project]\r\nOld=1\r\nOther=3\r\nWaiter=2\r\n");
}

// Another program's lock is waited for ten seconds: one let go just before is
// waited out and the key written; one held on is given up at ten seconds, not
// before, and the write reported as failed for the lock. The test's own clock
// keeps the suite from waiting the ten seconds.
TEST(IniLock, AnotherProgramsLockIsWaitedForTenSeconds) {
  testsupport::TempTree tree;
  tree.Write("Korvex/parameter/Program.ini", "[Project]\r\n");
  const fs::path ini = tree.Host("Korvex/parameter/Program.ini");
  platform::SetLockPauseForTesting(CountedPause);
  for (const int release : {9'980, 1'000'000}) {
    waitedMs = 0, releaseAt = release;
    heldLock = open(ini.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(heldLock, 0);
    ASSERT_EQ(flock(heldLock, LOCK_EX), 0);
    const bool written = WritePrivateProfileStringA("Project", "Key", "1", kIni) == 1;
    if (heldLock >= 0) close(heldLock), heldLock = -1;
    EXPECT_EQ(written, release < 10'000) << release;
    EXPECT_EQ(platform::LastWriteFoundFileLocked(), release >= 10'000) << release;
    EXPECT_EQ(waitedMs, std::min(release, 10'000)) << release;
  }
  platform::SetLockPauseForTesting(nullptr);
  EXPECT_EQ(tree.Read("Korvex/parameter/Program.ini"), "[Project]\r\nKey=1\r\n");
}

}  // namespace
