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

// True when the process waits for a lock (a blocked entry of /proc/locks).
bool WaitsForLock(pid_t pid) {
  std::ifstream locks("/proc/locks");
  const std::string owner = " " + std::to_string(pid) + " ";
  for (std::string line; std::getline(locks, line);)
    if (line.find("->") != std::string::npos && line.find(owner) != std::string::npos) return true;
  return false;
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
  const pid_t waiter = fork();
  ASSERT_GE(waiter, 0);
  if (waiter == 0) {
    close(held);  // the copy of the descriptor would hold the lock as well
    _exit(WritePrivateProfileStringA("Project", "Waiter", "2", kIni) == 1 ? 0 : 1);
  }
  for (int i = 0; i < 5000 && !WaitsForLock(waiter); ++i) usleep(1000);
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

}  // namespace
