// What the indexes behind case-insensitive name resolution could get wrong: a
// folder renamed or replaced between two lookups, a file replaced by a folder,
// names made or removed by other processes just after an index was read, the
// step's own new files, the choice among names that differ only in case, lost
// change notifications and a forked child. Each runs with change notification
// and with the folders' times alone. Also: the allocation-free case-insensitive
// order and equality agree with their definitions by upper-case texts.
#include "files/name_index.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/text.h"
#include "files/temporary.h"
#include "platform/filesys.h"
#include "platform/winpath.h"
#include "test_support.h"

namespace fs = std::filesystem;
using platform::NameIndexMode;
using platform::ToHost;

namespace {

// Runs what in a child process and waits for it, as another program would
// change the tree.
void InOtherProcess(const std::function<void()>& what) {
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    what();
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
}

void Create(const fs::path& file) {
  const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0 || close(fd) != 0) _exit(1);
}

class NameIndexTest : public testing::TestWithParam<NameIndexMode> {
 protected:
  NameIndexTest() { platform::SetNameIndexModeForTesting(GetParam()); }
  ~NameIndexTest() override { platform::SetNameIndexModeForTesting(NameIndexMode::kNotified); }

  fs::path Host(const std::string& relative) const { return tree_.Host(relative); }
  // The host path of a Windows path of drive C:.
  fs::path Resolved(const std::string& win) const { return ToHost(win).value_or(fs::path()); }

  testsupport::TempTree tree_;
};

TEST_P(NameIndexTest, FolderRenamedOrReplacedBetweenLookups) {
  tree_.Write("Plant/Sub/File.txt", "first");
  EXPECT_EQ(Resolved("C:\\plant\\SUB\\file.TXT"), Host("Plant/Sub/File.txt"));

  // Another letter case, for the folder and for the one above it.
  fs::rename(Host("Plant/Sub"), Host("Plant/sUB"));
  EXPECT_EQ(Resolved("C:\\plant\\SUB\\file.TXT"), Host("Plant/sUB/File.txt"));
  fs::rename(Host("Plant"), Host("PLANT"));
  EXPECT_EQ(Resolved("C:\\plant\\SUB\\file.TXT"), Host("PLANT/sUB/File.txt"));

  // The same path leads to another folder now: the folder's own index changed
  // nothing, so only the folder's identity tells.
  fs::rename(Host("PLANT/sUB"), Host("Moved"));
  tree_.Write("PLANT/sUB/Other.txt", "second");
  EXPECT_EQ(Resolved("C:\\plant\\SUB\\file.TXT"), Host("PLANT/sUB/file.TXT"));
  EXPECT_EQ(Resolved("C:\\plant\\SUB\\OTHER.txt"), Host("PLANT/sUB/Other.txt"));
  EXPECT_FALSE(platform::FileExists("C:\\plant\\SUB\\file.TXT"));
  EXPECT_EQ(Resolved("C:\\MOVED\\FILE.TXT"), Host("Moved/File.txt"));

  // Removed and made again under the same name.
  fs::remove_all(Host("Moved"));
  tree_.Write("Moved/Third.txt", "third");
  EXPECT_EQ(Resolved("C:\\MOVED\\FILE.TXT"), Host("Moved/FILE.TXT"));
  EXPECT_EQ(Resolved("C:\\MOVED\\THIRD.TXT"), Host("Moved/Third.txt"));
}

TEST_P(NameIndexTest, FileReplacedByFolderAndBack) {
  tree_.Write("Data/Item.dat", "file");
  EXPECT_TRUE(platform::FileExists("C:\\data\\ITEM.DAT"));
  fs::remove(Host("Data/Item.dat"));
  fs::create_directory(Host("Data/item.DAT"));
  EXPECT_EQ(Resolved("C:\\data\\ITEM.DAT"), Host("Data/item.DAT"));
  EXPECT_FALSE(platform::FileExists("C:\\data\\ITEM.DAT"));
  EXPECT_TRUE(platform::FolderExists("C:\\data\\ITEM.DAT"));
  fs::remove(Host("Data/item.DAT"));
  InOtherProcess([&] { Create(Host("Data/ITEM.dat")); });
  EXPECT_TRUE(platform::FileExists("C:\\data\\item.dat"));
  EXPECT_EQ(Resolved("C:\\data\\item.dat"), Host("Data/ITEM.dat"));
}

TEST_P(NameIndexTest, NamesMadeByAnotherProcessRightAfterALookupAreFound) {
  tree_.MakeFolder("Pictures");
  // Many rounds, so that some fall into the same clock tick as the reading of
  // the folder before them.
  for (int k = 0; k < 200; ++k) {
    const std::string name = "Picture_" + std::to_string(k) + ".bmp";
    const std::string win = "C:\\PICTURES\\PICTURE_" + std::to_string(k) + ".BMP";
    ASSERT_EQ(Resolved(win), Host("Pictures/PICTURE_" + std::to_string(k) + ".BMP")) << k;
    InOtherProcess([&] { Create(Host("Pictures/" + name)); });
    ASSERT_EQ(Resolved(win), Host("Pictures/" + name)) << k;
  }
}

TEST_P(NameIndexTest, RemovedAndRenamedNamesAreGone) {
  tree_.Write("Logs/Data.TXT", "x");
  EXPECT_EQ(Resolved("C:\\logs\\data.txt"), Host("Logs/Data.TXT"));
  InOtherProcess([&] {
    if (rename(Host("Logs/Data.TXT").c_str(), Host("Logs/Other.txt").c_str()) != 0) _exit(1);
  });
  EXPECT_EQ(Resolved("C:\\logs\\data.txt"), Host("Logs/data.txt"));
  EXPECT_EQ(Resolved("C:\\logs\\OTHER.TXT"), Host("Logs/Other.txt"));
  InOtherProcess([&] {
    if (unlink(Host("Logs/Other.txt").c_str()) != 0) _exit(1);
  });
  EXPECT_EQ(Resolved("C:\\logs\\OTHER.TXT"), Host("Logs/OTHER.TXT"));
  EXPECT_FALSE(platform::FileExists("C:\\logs\\OTHER.TXT"));
}

TEST_P(NameIndexTest, TheStepsOwnNewFilesAreFoundAtOnce) {
  tree_.Write("Source/Pic.bmp", "picture");
  tree_.Write("Source/Two.bmp", "two");
  tree_.MakeFolder("Standard");
  for (const bool named : {false, true}) {
    platform::SetNamedTemporariesForTesting(named);
    const std::string n = named ? "Named" : "Nameless";
    EXPECT_FALSE(platform::FileExists("C:\\standard\\" + n + ".bmp"));
    platform::CopyFile("C:\\source\\pic.bmp", "C:\\standard\\" + n + ".bmp", true);
    EXPECT_TRUE(platform::FileExists("C:\\STANDARD\\" + n + ".BMP"));
    // Another letter case overwrites the new file instead of making a twin.
    platform::CopyFile("C:\\source\\two.bmp", "C:\\STANDARD\\" + n + ".BMP", true);
    EXPECT_EQ(tree_.Read("Standard/" + n + ".bmp"), "two");

    EXPECT_TRUE(platform::ReplaceWholeFile("C:\\standard\\" + n + ".ini", "[A]\r\n"));
    EXPECT_TRUE(platform::EditWholeFile("C:\\STANDARD\\" + n + ".INI", [](std::string& bytes) {
      bytes += "k=v\r\n";
      return true;
    }));
    EXPECT_EQ(tree_.Read("Standard/" + n + ".ini"), "[A]\r\nk=v\r\n");
    platform::AppendLine("C:\\standard\\" + n + ".log", "one");
    platform::AppendLine("C:\\STANDARD\\" + n + ".LOG", "two");
    EXPECT_EQ(tree_.Read("Standard/" + n + ".log"), "one\r\ntwo\r\n");
  }
  platform::SetNamedTemporariesForTesting(false);
  EXPECT_EQ(tree_.Entries("Standard"),
            (std::vector<std::string>{"Named.bmp", "Named.ini", "Named.log", "Nameless.bmp",
                                      "Nameless.ini", "Nameless.log"}));
}

TEST_P(NameIndexTest, AmongCaseTwinsTheExactNameThenTheSmallestInByteOrder) {
  for (const char* name : {"aB", "Ab", "AB"}) tree_.Write(std::string("Twins/") + name, name);
  EXPECT_EQ(Resolved("C:\\twins\\ab"), Host("Twins/AB"));
  EXPECT_EQ(Resolved("C:\\twins\\aB"), Host("Twins/aB"));
  EXPECT_EQ(Resolved("C:\\twins\\Ab"), Host("Twins/Ab"));
  fs::remove(Host("Twins/AB"));
  EXPECT_EQ(Resolved("C:\\twins\\ab"), Host("Twins/Ab"));
  InOtherProcess([&] { Create(Host("Twins/AB")); });
  EXPECT_EQ(Resolved("C:\\twins\\ab"), Host("Twins/AB"));
  fs::remove(Host("Twins/AB"));
  fs::remove(Host("Twins/Ab"));
  EXPECT_EQ(Resolved("C:\\twins\\ab"), Host("Twins/aB"));

  // Letters beyond ASCII: Ä (C3 84) before ä (C3 A4), Œ (C5 92) before œ (C5 93).
  for (const char* name : {"äpfel", "Äpfel", "œuvre", "Œuvre"})
    tree_.Write(std::string("Twins/") + name, name);
  EXPECT_EQ(Resolved("C:\\twins\\ÄPFEL"), Host("Twins/Äpfel"));
  EXPECT_EQ(Resolved("C:\\twins\\ŒUVRE"), Host("Twins/Œuvre"));
  EXPECT_EQ(Resolved("C:\\twins\\œuvre"), Host("Twins/œuvre"));
}

TEST_P(NameIndexTest, MoreFoldersThanAreKept) {
  constexpr int kFolders = 20;
  const auto folder = [](int k) { return "F" + std::to_string(k); };
  for (int k = 0; k < kFolders; ++k) tree_.Write(folder(k) + "/Name.txt", "x");
  for (int k = 0; k < kFolders; ++k)
    ASSERT_EQ(Resolved("C:\\" + folder(k) + "\\NAME.TXT"), Host(folder(k) + "/Name.txt"));
  // Every folder changes after its lookup, whether its index is kept or not.
  for (int k = 0; k < kFolders; ++k)
    fs::rename(Host(folder(k) + "/Name.txt"), Host(folder(k) + "/nAME.txt"));
  for (int k = kFolders - 1; k >= 0; --k)
    ASSERT_EQ(Resolved("C:\\" + folder(k) + "\\NAME.TXT"), Host(folder(k) + "/nAME.txt"));
}

// The host path of a Windows path below drive C: (no "." or ".."), resolved
// name by name the plain way: the exact name when lstat finds it, else the
// smallest in byte order of the names of a whole reading of the folder that
// match ignoring case; from the first name that neither finds, as written.
fs::path NameByName(const fs::path& root, const std::string& win) {
  std::vector<std::string> names;
  for (size_t i = 3; i <= win.size();) {
    const size_t end = std::min(win.find('\\', i), win.size());
    if (end > i) names.push_back(win.substr(i, end - i));
    i = end + 1;
  }
  std::string host = root.string();
  bool resolving = true;
  for (const std::string& name : names) {
    std::string chosen = name;
    if (resolving) {
      struct stat st;
      if (lstat((host + "/" + name).c_str(), &st) != 0) {
        std::optional<std::string> best;
        if (errno == ENOENT) {
          std::error_code ec;
          for (const auto& e : fs::directory_iterator(host, ec)) {
            const std::string n = e.path().filename().string();
            if (platform::EqualIgnoringCase(n, name) && (!best || n < *best)) best = n;
          }
        }
        if (best)
          chosen = *best;
        else
          resolving = false;
      }
    }
    host += "/" + chosen;
  }
  return host;
}

// Paths that exist as written, in other letter cases, with names missing at
// every depth, through files, links to folders and dangling links: resolved as
// name by name.
TEST_P(NameIndexTest, ResolutionAgreesWithAWalkNameByName) {
  for (const char* file : {"Top/Mid/Low/File.txt", "Top/Mid/Low/file.TXT", "Top/MID/x",
                           "Top/mid/Low/Deep/Leaf", "Top/Mid/lOW/other", "Plain.txt", "ä/Ö/ü"})
    tree_.Write(file, "x");
  fs::create_directory_symlink("Top/Mid", Host("Link"));
  fs::create_symlink("Nowhere", Host("Top/Mid/Dangling"));
  uint32_t state = 7;
  auto next = [&state] {
    state = state * 1103515245u + 12345u;
    return state >> 8;
  };
  // Each name one of the folder's own in a random letter case, now and then a
  // missing one.
  auto someName = [&](const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) names.push_back(e.path().filename());
    if (names.empty() || next() % 8 == 0) return std::string(next() % 2 ? "Missing" : "LOW");
    std::sort(names.begin(), names.end());
    std::string name = names[next() % names.size()];
    for (char& c : name) {
      if (next() % 3 != 0) continue;
      if (c >= 'a' && c <= 'z')
        c = static_cast<char>(c - 32);
      else if (c >= 'A' && c <= 'Z')
        c = static_cast<char>(c + 32);
    }
    return name;
  };
  for (int k = 0; k < 600; ++k) {
    std::string win = "C:";
    for (uint32_t depth = 1 + next() % 5; depth > 0; --depth)
      win += "\\" + someName(NameByName(tree_.root(), win));
    ASSERT_EQ(Resolved(win), NameByName(tree_.root(), win)) << win;
    // Now and then a change between two lookups.
    if (k % 50 == 25) fs::rename(Host("Top/Mid/Low"), Host("Top/Mid/LoW"));
    if (k % 50 == 49) fs::rename(Host("Top/Mid/LoW"), Host("Top/Mid/Low"));
  }
}

// A folder whose modification time is set back after a change: its change time
// still tells.
TEST_P(NameIndexTest, ModificationTimeSetBackAfterAChange) {
  tree_.Write("Old/Present.txt", "x");
  // Past the window within which a folder's times count as unsettled.
  std::this_thread::sleep_for(std::chrono::milliseconds(120));
  EXPECT_EQ(Resolved("C:\\old\\NEW.TXT"), Host("Old/NEW.TXT"));
  struct stat before;
  ASSERT_EQ(stat(Host("Old").c_str(), &before), 0);
  InOtherProcess([&] {
    Create(Host("Old/New.txt"));
    const timespec times[2] = {before.st_atim, before.st_mtim};
    if (utimensat(AT_FDCWD, Host("Old").c_str(), times, 0) != 0) _exit(1);
  });
  EXPECT_EQ(Resolved("C:\\old\\NEW.TXT"), Host("Old/New.txt"));
}

INSTANTIATE_TEST_SUITE_P(EachWay, NameIndexTest,
                         testing::Values(NameIndexMode::kNotified, NameIndexMode::kUnindexed),
                         [](const testing::TestParamInfo<NameIndexMode>& info) {
                           return info.param == NameIndexMode::kNotified ? "Notified" : "Unindexed";
                         });

// With change notification only: what a queue of changes can lose.
class NotifiedIndexTest : public testing::Test {
 protected:
  NotifiedIndexTest() { platform::SetNameIndexModeForTesting(NameIndexMode::kNotified); }
  testsupport::TempTree tree_;
};

TEST_F(NotifiedIndexTest, MoreChangesThanTheQueueHoldsAreNotLost) {
  long limit = 0;
  if (FILE* f = std::fopen("/proc/sys/fs/inotify/max_queued_events", "r")) {
    if (std::fscanf(f, "%ld", &limit) != 1) limit = 0;
    std::fclose(f);
  }
  if (limit <= 0 || limit > 100000) GTEST_SKIP() << "queue limit " << limit;
  tree_.MakeFolder("Many");
  EXPECT_EQ(ToHost("C:\\MANY\\LAST.TXT"), tree_.Host("Many/LAST.TXT"));
  InOtherProcess([&] {
    for (long k = 0; k <= limit; ++k) Create(tree_.Host("Many/" + std::to_string(k)));
    Create(tree_.Host("Many/Last.txt"));
  });
  EXPECT_EQ(ToHost("C:\\MANY\\LAST.TXT"), tree_.Host("Many/Last.txt"));
}

TEST_F(NotifiedIndexTest, AForkedChildLeavesTheParentsChangesAlone) {
  tree_.MakeFolder("Shared");
  EXPECT_EQ(ToHost("C:\\SHARED\\ONE.TXT"), tree_.Host("Shared/ONE.TXT"));
  Create(tree_.Host("Shared/One.txt"));
  // The child looks up in the same folder; the change reported for the parent
  // must stay the parent's.
  InOtherProcess([&] {
    if (ToHost("C:\\SHARED\\ONE.TXT") != tree_.Host("Shared/One.txt")) _exit(1);
  });
  EXPECT_EQ(ToHost("C:\\SHARED\\ONE.TXT"), tree_.Host("Shared/One.txt"));
}

// Whether indexes are kept for the test's folders at all: on network and
// user-space file systems every lookup reads the folder.
bool IndexesKeptIn(const fs::path& folder) {
  struct statfs info;
  if (statfs(folder.c_str(), &info) != 0) return false;
  switch (static_cast<unsigned long>(info.f_type)) {
    case 0xEF53:      // ext4
    case 0x01021994:  // tmpfs
    case 0x58465342:  // xfs
    case 0x9123683E:  // btrfs
    case 0x794C7630:  // overlayfs
      return true;
    default:
      return false;
  }
}

// Copying into a folder that grows with every copy must not read the folder
// again for every new name: that made copying many pictures quadratic.
TEST_F(NotifiedIndexTest, CopiesIntoAGrowingFolderReadItOnce) {
  if (!IndexesKeptIn(tree_.root())) GTEST_SKIP() << "no indexes on this file system";
  tree_.Write("Source/Pic.bmp", "p");
  tree_.MakeFolder("Standard");
  platform::CopyFile("C:\\source\\pic.bmp", "C:\\standard\\First.bmp", true);
  const uint64_t before = platform::FolderReadsForTesting();
  for (int k = 0; k < 100; ++k) {
    const std::string name = "C:\\standard\\Pic_" + std::to_string(k) + ".bmp";
    ASSERT_FALSE(platform::FileExists(name));
    platform::CopyFile("C:\\source\\pic.bmp", name, true);
  }
  EXPECT_EQ(platform::FolderReadsForTesting(), before);
  EXPECT_EQ(tree_.Entries("Standard").size(), 101u);
}

// ---------------------------------------------------------------------------
// Order and equality ignoring case.

// The definitions by upper-case texts, which the listings have always used.
bool UpperLess(const std::string& a, const std::string& b) {
  const std::string ua = platform::UpperCase(a), ub = platform::UpperCase(b);
  if (ua != ub) return ua < ub;
  return a < b;
}

std::vector<std::string> SampleNames() {
  // ASCII around the letters ('@' before 'A', '[' '_' '`' between the cases, '{'
  // after 'z'), UTF-8 letters of Windows-1252 in both cases, characters without
  // case, and bytes that are no UTF-8 (a raw Windows-1252 "ä", a cut sequence).
  const std::vector<std::string> parts = {"",
                                          "a",
                                          "A",
                                          "b",
                                          "z",
                                          "Z",
                                          "@",
                                          "[",
                                          "_",
                                          "`",
                                          "{",
                                          "~",
                                          "0",
                                          "9",
                                          " ",
                                          ".",
                                          "ä",
                                          "Ä",
                                          "ö",
                                          "Ö",
                                          "ß",
                                          "é",
                                          "É",
                                          "ÿ",
                                          "Ÿ",
                                          "š",
                                          "Š",
                                          "œ",
                                          "Œ",
                                          "ž",
                                          "Ž",
                                          "÷",
                                          "×",
                                          "€",
                                          "中",
                                          "😀",
                                          "\xE4",
                                          "\xFF",
                                          "\xC3",
                                          "\x80",
                                          "\xC3(",
                                          "\xF0\x9F\x98",
                                          "\xED\xA0\x80",
                                          "\xC0\xAF"};
  std::vector<std::string> names(parts.begin(), parts.end());
  // Longer names from the parts, by a fixed pseudo-random sequence.
  uint32_t state = 12345;
  auto next = [&state] {
    state = state * 1103515245u + 12345u;
    return state >> 8;
  };
  for (int k = 0; k < 700; ++k) {
    std::string name;
    for (uint32_t n = next() % 6; n > 0; --n) name += parts[next() % parts.size()];
    names.push_back(name);
  }
  return names;
}

TEST(CaseInsensitiveOrder, AgreesWithTheUpperCaseDefinitions) {
  const std::vector<std::string> names = SampleNames();
  for (const std::string& a : names) {
    for (const std::string& b : names) {
      ASSERT_EQ(platform::LessIgnoringCase(a, b), UpperLess(a, b)) << a << " | " << b;
      const bool equal = platform::UpperCase(a) == platform::UpperCase(b);
      ASSERT_EQ(platform::EqualIgnoringCase(a, b), equal) << a << " | " << b;
      if (equal) {
        ASSERT_EQ(platform::HashIgnoringCase(a), platform::HashIgnoringCase(b)) << a << " | " << b;
      }
    }
  }
}

TEST(CaseInsensitiveOrder, FolderListingsKeepTheirOrder) {
  testsupport::TempTree tree;
  const std::vector<std::string> names = {"beta",  "Alpha",  "alpha", "ALPHA", "Äpfel", "apfel",
                                          "Zebra", "_under", "[x]",   "œuvre", "Œuvre"};
  for (const std::string& n : names) tree.MakeFolder("L/" + n);
  std::vector<std::string> expected = names;
  std::sort(expected.begin(), expected.end(), UpperLess);
  EXPECT_EQ(platform::SubFolderNames("C:\\L"), expected);
}

}  // namespace
