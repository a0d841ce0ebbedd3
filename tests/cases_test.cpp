// End-to-end cases as data: every folder below tests/cases/ is one run of the
// real executable over an installation tree, with the status, transcript and
// files it must leave (tests/cases/README says what a folder holds).
//
// KORVEX_RECORD_CASES=1 writes what a run left into its folder instead of
// comparing (status, stdout, stderr where the case has one, expected/ and gone),
// to be read through and committed once every byte is right.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e_support.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::WriteFile;

const fs::path kCases = fs::path(KORVEX_SOURCE_DIR) / "tests" / "cases";
const fs::path kTrees = fs::path(KORVEX_SOURCE_DIR) / "tests" / "trees";

std::vector<std::string> CaseNames() {
  std::vector<std::string> names;
  if (!fs::is_directory(kCases)) return names;
  for (const auto& e : fs::directory_iterator(kCases))
    if (e.is_directory()) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// Every file and link below the drive, by its path there: a file's bytes, a
// link as "-> target". The step's own executable is left out. Hidden files are
// files like any other (a temporary left behind is one). A folder or file that
// its mode keeps from the runner's user is opened for the look and its mode put
// back, so that a case run without root sees the whole tree too.
void SnapshotInto(const fs::path& drive, const fs::path& folder,
                  std::map<std::string, std::string>& files) {
  const auto readable = [](const fs::path& p, fs::perms need) {
    const fs::perms mode = fs::symlink_status(p).permissions();
    if (access(p.c_str(), R_OK) == 0 && (need == fs::perms::none || access(p.c_str(), X_OK) == 0))
      return mode;
    fs::permissions(p, fs::perms::owner_read | need, fs::perm_options::add);
    return mode;
  };
  const fs::perms mode = readable(folder, fs::perms::owner_exec);
  std::vector<fs::path> entries;
  for (const auto& e : fs::directory_iterator(folder)) entries.push_back(e.path());
  for (const fs::path& path : entries) {
    const std::string relative = path.lexically_relative(drive).string();
    const fs::file_status status = fs::symlink_status(path);
    if (relative == "Korvex/Start/Start_Config") continue;
    if (fs::is_symlink(status)) {
      files[relative] = "-> " + fs::read_symlink(path).string();
    } else if (fs::is_directory(status)) {
      SnapshotInto(drive, path, files);
    } else if (fs::is_regular_file(status)) {
      const fs::perms fileMode = readable(path, fs::perms::none);
      files[relative] = ReadFile(path);
      fs::permissions(path, fileMode);
    }
  }
  fs::permissions(folder, mode);
}
std::map<std::string, std::string> Snapshot(const fs::path& drive) {
  std::map<std::string, std::string> files;
  SnapshotInto(drive, drive, files);
  return files;
}

// The expected/ folder's files by their path below it.
std::map<std::string, std::string> ExpectedFiles(const fs::path& folder) {
  std::map<std::string, std::string> files;
  if (!fs::is_directory(folder)) return files;
  for (const auto& e : fs::recursive_directory_iterator(folder))
    if (e.is_regular_file()) files[fs::relative(e.path(), folder).string()] = ReadFile(e.path());
  return files;
}

int SignalNamed(const std::string& name) {
  if (name == "TERM") return SIGTERM;
  if (name == "INT") return SIGINT;
  if (name == "HUP") return SIGHUP;
  return 0;
}

// True once the step has read everything in its input pipe and sleeps: it
// waits for more.
bool WaitsForInput(pid_t pid, int pipeEnd) {
  int unread = 0;
  if (ioctl(pipeEnd, FIONREAD, &unread) != 0 || unread != 0) return false;
  const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  const size_t close = stat.rfind(')');
  return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'S';
}

using Result = testsupport::RunResult;

class Case : public testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    dir_ = kCases / GetParam();
    drive_ = work_.root() / "C";
    // A tree of its own, a shared one named by a tree file, or the demo.
    const fs::path tree = fs::is_directory(dir_ / "tree") ? dir_ / "tree"
                          : Has("tree")                   ? kTrees / Lines(Part("tree"))[0]
                                        : fs::path(KORVEX_SOURCE_DIR) / "demo" / "installation";
    fs::copy(tree, drive_, fs::copy_options::recursive);
    fs::create_directories(drive_ / "Korvex/Start");
    // "desktop" holds absent (the module is not laid) or present (the case
    // needs it: skipped in a build without the desktop window). KORVEX_CASES_EXE
    // runs the cases against another build (an older one, say).
    const std::string desktop = Has("desktop") ? Lines(Part("desktop"))[0] : "";
    const char* exe = std::getenv("KORVEX_CASES_EXE");
    if (!testsupport::LayStep(drive_ / "Korvex/Start/Start_Config", desktop != "absent",
                              exe ? exe : START_CONFIG_EXE) &&
        desktop == "present")
      GTEST_SKIP() << "this build has no desktop window";
  }

  std::string Part(const char* name) const {
    return fs::exists(dir_ / name) ? ReadFile(dir_ / name) : "";
  }
  bool Has(const char* name) const { return fs::exists(dir_ / name); }

  // The user the step runs as, from the case's user file; skips the case where
  // it cannot be had.
  void TakeUser() {
    if (!Has("user")) return;
    const std::vector<std::string> names = Lines(Part("user"));
    if (geteuid() != 0) GTEST_SKIP() << "runs the step as " << names[0] << ", which needs root";
    for (const std::string& name : names)
      if (!name.empty() && getpwnam(name.c_str()) == nullptr)
        GTEST_SKIP() << "no user " << name << " here (.ci/case-users makes it)";
    user_ = *getpwnam(names[0].c_str());
    fs::permissions(work_.root(), fs::perms(0755));  // the user's way to drive C:
  }

  // A shell script of the case's, run in drive C: with $C set; false when it fails.
  bool Shell(const char* name) {
    if (!Has(name)) return true;
    const std::string command = "cd '" + drive_.string() + "' && C='" + drive_.string() +
                                "' CASE='" + dir_.string() + "' /bin/sh '" +
                                (dir_ / name).string() + "'";
    return std::system(command.c_str()) == 0;
  }

  Result Run() {
    std::vector<std::string> args{(drive_ / "Korvex/Start/Start_Config").string()};
    if (Has("args")) {
      for (const std::string& a : Lines(Part("args"))) args.push_back(a);
    } else {
      args.insert(args.end(), {"/EXTERNAL=KVXCFG", "/LOGFILE=C:\\Korvex\\KVXcfglog.txt",
                               "/SOURCEPATH=C:\\Setup\\"});
    }
    const bool piped = Has("stdin");
    const fs::path script = work_.root() / "script";
    if (!piped) WriteFile(script, Part("script"));
    // The first entry is fixed: the step stamps a code of it into its CFG file.
    std::vector<std::string> env{"USERNAME=Installer"};
    bool drives = false, named = false;
    for (const std::string& line : Lines(Part("env"))) {
      if (line.empty()) continue;
      env.push_back(Replaced(line, "$C", drive_.string()));
      drives = drives || line.rfind("KORVEX_DRIVES=", 0) == 0;
      named = named || line.rfind("KORVEX_SCRIPT=", 0) == 0;
    }
    if (!named) env.push_back("KORVEX_SCRIPT=" + (piped ? std::string("-") : script.string()));
    if (!drives) env.push_back("KORVEX_DRIVES=C=" + drive_.string());
    env.push_back("PATH=/usr/bin:/bin");

    testsupport::StepStart start;
    start.args = args, start.env = env, start.folder = drive_;
    start.out = work_.root() / "stdout", start.err = work_.root() / "stderr";
    if (Has("file_size_limit")) start.fileSizeLimit = std::stoul(Part("file_size_limit"));
    int input[2] = {-1, -1};
    if (Has("nofile")) start.fileLimit = std::stoul(Part("nofile"));
    if (Has("user")) start.user = user_;
    if (piped && pipe2(input, O_CLOEXEC) != 0) return {};
    start.input = input[0];
    const pid_t pid = testsupport::StartStep(start);
    if (piped) {
      close(input[0]);
      const std::string text = Part("stdin");
      if (write(input[1], text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        ADD_FAILURE() << "the script did not fit into the pipe";
      if (const int sig = SignalNamed(Lines(Part("signal") + "\n")[0]);
          sig != 0 || Has("meanwhile")) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        int calm = 0;  // the step must be seen waiting twice in a row
        while (calm < 2 && std::chrono::steady_clock::now() < until) {
          calm = WaitsForInput(pid, input[1]) ? calm + 1 : 0;
          std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (sig != 0) kill(pid, sig);
      }
      if (Has("meanwhile") && !Shell("meanwhile")) ADD_FAILURE() << "meanwhile failed";
      close(input[1]);
    }
    Result r = testsupport::Reap(pid);
    r.transcript = Replaced(ReadFile(start.out), drive_.string(), "$C");
    r.errors = Replaced(ReadFile(start.err), drive_.string(), "$C");
    return r;
  }

  void Record(const Result& r, const std::map<std::string, std::string>& before,
              const std::map<std::string, std::string>& after) {
    WriteFile(dir_ / "status", std::to_string(r.status) + "\n");
    WriteFile(dir_ / "stdout", r.transcript);
    if (Has("stderr") || !r.errors.empty()) WriteFile(dir_ / "stderr", r.errors);
    fs::remove_all(dir_ / "expected");
    std::string gone;
    for (const auto& [path, bytes] : after)
      if (!before.count(path) || before.at(path) != bytes)
        WriteFile(dir_ / "expected" / path, bytes);
    for (const auto& [path, bytes] : before)
      if (!after.count(path)) gone += path + "\n";
    if (gone.empty())
      fs::remove(dir_ / "gone");
    else
      WriteFile(dir_ / "gone", gone);
  }

  fs::path dir_, drive_;
  testsupport::TempTree work_;
  passwd user_{};
};

TEST_P(Case, LeavesWhatItsFolderSays) {
  ASSERT_TRUE(Has("status")) << "a case needs a status file";
  if (Has("root") && geteuid() != 0) GTEST_SKIP() << "needs root: " << Part("root");
  TakeUser();
  if (IsSkipped()) return;
  ASSERT_TRUE(Shell("setup")) << "setup failed";
  const std::map<std::string, std::string> before = Snapshot(drive_);
  const Result r = Run();
  const std::map<std::string, std::string> after = Snapshot(drive_);
  if (const char* record = std::getenv("KORVEX_RECORD_CASES"); record && *record == '1')
    return Record(r, before, after);

  EXPECT_EQ(r.signal, 0) << "ended by signal " << r.signal << "\n" << r.transcript << r.errors;
  EXPECT_TRUE(Shell("check")) << "check failed";
  EXPECT_EQ(std::to_string(r.status), Lines(Part("status"))[0]) << r.transcript << r.errors;
  if (Has("stdout")) {
    EXPECT_EQ(r.transcript, Part("stdout"));
  }
  if (Has("stderr")) {
    EXPECT_EQ(r.errors, Part("stderr"));
  }
  if (Has("peak_mib")) {
    EXPECT_LT(r.peakKiB, std::stol(Part("peak_mib")) * 1024) << "peak resident size in KiB";
  }

  std::map<std::string, std::string> wanted = before;
  for (const auto& [path, bytes] : ExpectedFiles(dir_ / "expected")) wanted[path] = bytes;
  for (const std::string& path : Lines(Part("gone")))
    if (!path.empty()) wanted.erase(path);
  for (const auto& [path, bytes] : wanted) {
    if (!after.count(path)) {
      ADD_FAILURE() << path << " is missing";
    } else {
      EXPECT_EQ(after.at(path), bytes) << path;
    }
  }
  for (const auto& [path, bytes] : after)
    if (!wanted.count(path))
      ADD_FAILURE() << path << " was left, but the case expects no such file";
}

// The runner itself: what a snapshot must see, or a case would pass over a file
// the step left or lost.
TEST(CaseRunner, SnapshotSeesHiddenFilesLinksAndClosedFolders) {
  testsupport::TempTree work;
  const fs::path drive = work.root() / "C";
  WriteFile(drive / ".hidden", "h");
  WriteFile(drive / "Korvex/.TarvelPresets.ini.kvxtmp-1-0", "t");
  WriteFile(drive / "Korvex/closed/inside.txt", "i");
  WriteFile(drive / "Korvex/Start/Start_Config", "the step itself");
  fs::create_symlink("../.hidden", drive / "Korvex/link");
  fs::permissions(drive / "Korvex/closed/inside.txt", fs::perms::none);
  fs::permissions(drive / "Korvex/closed", fs::perms::owner_write);
  const std::map<std::string, std::string> wanted{{".hidden", "h"},
                                                  {"Korvex/.TarvelPresets.ini.kvxtmp-1-0", "t"},
                                                  {"Korvex/closed/inside.txt", "i"},
                                                  {"Korvex/link", "-> ../.hidden"}};
  EXPECT_EQ(Snapshot(drive), wanted);
  // The look leaves the modes as they were.
  EXPECT_EQ(fs::status(drive / "Korvex/closed").permissions(), fs::perms::owner_write);
  fs::permissions(drive / "Korvex/closed", fs::perms::owner_all);
  EXPECT_EQ(fs::status(drive / "Korvex/closed/inside.txt").permissions(), fs::perms::none);
}

std::string TestName(const testing::TestParamInfo<std::string>& info) {
  std::string name = info.param;
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Cases, Case, testing::ValuesIn(CaseNames()), TestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Case);

}  // namespace
