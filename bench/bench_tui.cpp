// Speed and output of the full-screen terminal front end, on a copy of the demo
// installation in a temporary folder mapped as drive C:, run under a
// pseudo-terminal of 99 x 38 (the whole window) and of 80 x 24 (the window
// through its scrolling viewport).
// 1. Time from fork to the first complete frame, over several starts, after an
//    untimed start that seeds the language file (only the very first start of an
//    installation writes it, which is no start-up to judge the others by).
// 2. In one running instance, the time from writing a key to the end of the redraw
//    it causes, for series of Tab, Shift-Tab, Down/Up in the supplier box and typing
//    in a speed-factor box; and how many bytes such a redraw sends compared with the
//    first full frame. The target is judged on the 99th percentile of every
//    series, so that the occasional slow redraw counts, not the typical one.
// 3. The bytes written at 80 x 24 on TERM=xterm and TERM=linux: the first frame,
//    a Tab that scrolls the view (the largest of 16 from the start), a Tab (their
//    median), a digit, and the newcomer's whole task (connect Copy_2025_Line1,
//    set Capper to 3, OK), which a slow serial line pays for.
// A key may cause more than one frame (a box that opens, the hourglass), so a
// redraw counts as finished with the last byte before the terminal stays quiet
// for kSettleMs; the quiet time itself is not counted.
// With the path of another build's executable as argument, every figure is
// also measured for it, in the same run ("before").
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/bench_support.h"

#define NCURSES_NOMACROS
#include <curses.h>
#include <term.h>
#undef columns  // terminfo's capability macros, not wanted here
#undef lines
#undef tab

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kStarts = 15;
constexpr int kKeysPerSeries = 200;
constexpr int kFrameTimeoutMs = 5000;
constexpr int kSettleMs = 15;
constexpr double kFirstFrameTargetMs = 100;
constexpr double kKeyTargetMs = 10;
constexpr char kTitle[] = "Start - Standardkonfiguration";

constexpr double kScrollingTabGoalBytes = 800;
constexpr double kFirstFrameGoalBytes = 5000;
constexpr double kNewcomerGoalBytes = 8000;

// What the terminal type sends for a key, by its terminfo name ("kcbt").
std::string KeyString(const char* term, const char* capability) {
  int error = 0;
  if (setupterm(term, STDOUT_FILENO, &error) != OK)
    throw std::runtime_error(std::string("no terminfo entry for ") + term);
  const char* sequence = tigetstr(capability);
  if (sequence == nullptr || sequence == reinterpret_cast<char*>(-1))
    throw std::runtime_error(std::string(term) + " has no " + capability);
  std::string key = sequence;
  del_curterm(cur_term);
  return key;
}

bool Any(const std::string& s) {
  return !s.empty();
}

struct Child {
  pid_t pid = -1;
  int master = -1;
  ~Child() { Stop(); }
  // SIGTERM, then SIGKILL if it has not gone within two seconds; the rest of its
  // output is read away before the master is closed.
  void Stop() {
    if (pid > 0) {
      kill(pid, SIGTERM);
      int status = 0;
      const auto deadline = Clock::now() + std::chrono::seconds(2);
      while (waitpid(pid, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
          kill(pid, SIGKILL);
          waitpid(pid, &status, 0);
          break;
        }
        char buffer[4096];
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 10) > 0 && read(master, buffer, sizeof buffer) <= 0) usleep(1000);
      }
      pid = -1;
    }
    if (master >= 0) close(master);
    master = -1;
  }
};

// Reads what is there within `timeoutMs`; false on timeout or a closed terminal.
bool ReadSome(int fd, std::string& into, int timeoutMs) {
  pollfd p{fd, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) <= 0) return false;
  char buffer[65536];
  const ssize_t n = read(fd, buffer, sizeof buffer);
  if (n <= 0) return false;
  into.append(buffer, static_cast<size_t>(n));
  return true;
}

// The terminal the step runs on.
struct Size {
  int columns, rows;
};

// The step as the configuration tool starts it, on a terminal of the given size.
void Start(Child& child, const fs::path& folder, Size size, const char* term = "xterm-256color") {
  child.master = posix_openpt(O_RDWR | O_NOCTTY);
  if (child.master < 0 || grantpt(child.master) != 0 || unlockpt(child.master) != 0)
    throw std::runtime_error("no pseudo-terminal: " + std::string(std::strerror(errno)));
  fcntl(child.master, F_SETFD, FD_CLOEXEC);
  const std::string slave = ptsname(child.master);
  winsize ws{};
  ws.ws_col = static_cast<unsigned short>(size.columns);
  ws.ws_row = static_cast<unsigned short>(size.rows);
  ioctl(child.master, TIOCSWINSZ, &ws);

  // Everything the child needs is made before fork: it only makes system calls.
  const std::string exe = (folder / "Korvex/Start/Start_Config").string();
  std::vector<std::string> args = {exe, "/EXTERNAL=KVXCFG", "/LOGFILE=C:\\Korvex\\KVXcfglog.txt",
                                   "/SOURCEPATH=C:\\Setup\\"};
  std::vector<std::string> env = {"KORVEX_DRIVES=C=" + folder.string(),
                                  std::string("TERM=") + term};
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    if (!entry.starts_with("KORVEX_SCRIPT=") && !entry.starts_with("KORVEX_DRIVES=") &&
        !entry.starts_with("TERM="))
      env.push_back(entry);
  }
  std::vector<char*> argv, envp;
  for (std::string& a : args) argv.push_back(a.data());
  for (std::string& e : env) envp.push_back(e.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  const std::string dir = folder.string();

  child.pid = fork();
  if (child.pid < 0) throw std::runtime_error("fork failed");
  if (child.pid == 0) {
    setsid();
    const int fd = open(slave.c_str(), O_RDWR);
    if (fd < 0 || ioctl(fd, TIOCSCTTY, 0) != 0) _exit(126);
    dup2(fd, 0), dup2(fd, 1), dup2(fd, 2);
    if (fd > 2) close(fd);
    if (chdir(dir.c_str()) != 0) _exit(126);
    execve(exe.c_str(), argv.data(), envp.data());
    _exit(127);
  }
}

// Reads until `done` holds for the output; the time of the read that made it so.
template <typename Done>
Clock::time_point ReadUntil(int fd, std::string& out, Done done, const char* what) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(kFrameTimeoutMs);
  for (;;) {
    const int left = static_cast<int>(Milliseconds(Clock::now(), deadline));
    if (left <= 0 || !ReadSome(fd, out, left))
      throw std::runtime_error(std::string("no ") + what + " within 5 s (or the step ended)");
    if (done(out)) return Clock::now();
  }
}

// One key: the time to the last frame end of its redraw, and the bytes sent.
double Keystroke(int fd, const std::string& key, size_t& bytes, std::string* frames = nullptr) {
  std::string out;
  const auto sent = Clock::now();
  if (write(fd, key.data(), key.size()) != static_cast<ssize_t>(key.size()))
    throw std::runtime_error("could not write a key");
  auto end = ReadUntil(fd, out, Any, "redraw after a key");
  while (ReadSome(fd, out, kSettleMs)) end = Clock::now();
  bytes = out.size();
  if (frames != nullptr) *frames = std::move(out);
  return Milliseconds(sent, end);
}

struct Stats {
  double median, p99, max, meanBytes;
};

Stats Summary(std::vector<double> ms, size_t bytes) {
  std::sort(ms.begin(), ms.end());
  const size_t n = ms.size();
  return {ms[n / 2], Percentile(ms, 0.99), ms[n - 1],
          static_cast<double>(bytes) / static_cast<double>(n)};
}

Stats Series(int fd, const std::vector<std::string>& keys) {
  std::vector<double> ms;
  size_t total = 0, bytes = 0;
  for (int i = 0; i < kKeysPerSeries; ++i) {
    ms.push_back(Keystroke(fd, keys[static_cast<size_t>(i) % keys.size()], bytes));
    total += bytes;
  }
  return Summary(ms, total);
}

// "met", or by how much the figure misses the target.
bool FirstFrame(const std::string& s) {
  return s.find(kTitle) != std::string::npos;
}

// The first frame in full: from the start until the terminal stays quiet.
Clock::time_point ReadFirstFrame(int fd, std::string& out) {
  auto end = ReadUntil(fd, out, FirstFrame, "first frame");
  while (ReadSome(fd, out, kSettleMs)) end = Clock::now();
  return end;
}

// The figures at one terminal size, each with its verdict.
void Measure(const fs::path& folder, Size size) {
  std::printf("\n--- terminal of %d x %d%s\n", size.columns, size.rows,
              size.columns < 99 || size.rows < 38 ? " (the window scrolls)" : "");
  std::vector<double> starts;
  for (int i = 0; i < kStarts; ++i) {
    Child child;
    std::string out;
    const auto before = Clock::now();
    Start(child, folder, size);
    starts.push_back(Milliseconds(before, ReadFirstFrame(child.master, out)));
    child.Stop();
  }
  std::sort(starts.begin(), starts.end());
  const double startMedian = starts[starts.size() / 2];
  std::printf("first frame, %d seeded starts: median %.1f ms, min %.1f ms, max %.1f ms\n", kStarts,
              startMedian, starts.front(), starts.back());

  Child child;
  std::string first;
  Start(child, folder, size);
  ReadFirstFrame(child.master, first);
  const size_t firstBytes = first.size();
  const int fd = child.master;

  struct Named {
    const char* name;
    Stats stats;
  };
  std::vector<Named> results;
  // The supplier box has the focus as the window appears; Down and Up swap its logo.
  const char* term = "xterm-256color";
  const std::string back = KeyString(term, "kcbt");
  results.push_back({"Down/Up in the supplier box",
                     Series(fd, {KeyString(term, "kcud1"), KeyString(term, "kcuu1")})});
  results.push_back({"Tab", Series(fd, {"\t"})});
  results.push_back({"Shift-Tab", Series(fd, {back})});
  // Backwards from the first control, the first text box met (the cursor shows)
  // is the last speed factor; a digit and Backspace in turn keep it small.
  size_t bytes = 0;
  std::string frames;
  int hops = 0;
  do {
    ++hops;
    Keystroke(fd, back, bytes, &frames);
  } while (hops < 6);  // Help, Cancel, the copy's list, the folders, the drive, Labeler
  results.push_back({"digits in a speed-factor box", Series(fd, {"1", "\x7f", "7", "\x7f"})});
  child.Stop();

  std::printf("first full frame: %zu bytes\n", firstBytes);
  double worstMedian = 0, worstP99 = 0;
  for (const Named& r : results) {
    std::printf(
        "%-30s %d keys: median %.2f ms, p99 %.2f ms, max %.2f ms, %.0f bytes/key (%.1f%%)\n",
        r.name, kKeysPerSeries, r.stats.median, r.stats.p99, r.stats.max, r.stats.meanBytes,
        100.0 * r.stats.meanBytes / static_cast<double>(firstBytes));
    worstMedian = std::max(worstMedian, r.stats.median);
    worstP99 = std::max(worstP99, r.stats.p99);
  }
  std::printf("target first frame <= %.0f ms (median of the seeded starts %.1f ms): %s\n",
              kFirstFrameTargetMs, startMedian, Verdict(startMedian, kFirstFrameTargetMs).c_str());
  std::printf(
      "target keystroke redraw <= %.0f ms at the 99th percentile (worst series p99 %.2f ms, "
      "slowest series median %.2f ms): %s\n",
      kKeyTargetMs, worstP99, worstMedian, Verdict(worstP99, kKeyTargetMs).c_str());
}

// The bytes one step writes at 80 x 24 on a terminal type.
struct Output {
  size_t firstFrame = 0, scrollingTab = 0, tab = 0, digit = 0, newcomer = 0;
  bool newcomerDone = false;  // the task ended the step with status 0 and its files
};

// The bytes written for keys typed one after another; a key that changes
// nothing on the screen writes nothing.
size_t Keys(int fd, const std::vector<std::string>& keys) {
  size_t total = 0;
  for (const std::string& key : keys) {
    std::string out;
    if (write(fd, key.data(), key.size()) != static_cast<ssize_t>(key.size()))
      throw std::runtime_error("could not write a key");
    if (ReadSome(fd, out, 1000))
      while (ReadSome(fd, out, kSettleMs)) {
      }
    total += out.size();
  }
  return total;
}

// The newcomer's task on a fresh copy of the seeded installation: back to the
// folders, open C:\SaveRestore, connect Copy_2025_Line1, back to Capper, 3
// instead of its factor, forward to OK and press it. The bytes count only if
// the step then ended with status 0 and wrote Capper's factor into Program.ini.
size_t Newcomer(const fs::path& seeded, const char* term, bool& done) {
  const fs::path folder = seeded.string() + "-newcomer-" + term;
  fs::remove_all(folder);
  fs::copy(seeded, folder, fs::copy_options::recursive);
  const std::string tab = "\t", back = KeyString(term, "kcbt"), down = KeyString(term, "kcud1");
  Child child;
  std::string out;
  Start(child, folder, {80, 24}, term);
  ReadFirstFrame(child.master, out);
  size_t bytes = out.size();
  // Help, Cancel, the copy's list: the folders; C:\ lit, SaveRestore two below.
  bytes += Keys(child.master, {back, back, back, back, down, down, "\r"});
  // Copy_2019_OtherLine, then Copy_2025_Line1, opened.
  bytes += Keys(child.master, {down, down, "\r"});
  // The drive, Labeler, Capper; all of its factor replaced by 3.
  bytes += Keys(child.master, {back, back, back, "\x01", "3"});
  // Labeler, the drive, the folders, the copy's list, OK.
  bytes += Keys(child.master, {tab, tab, tab, tab, tab});
  std::string rest;
  if (write(child.master, "\r", 1) == 1)
    while (ReadSome(child.master, rest, 2000)) {
    }
  bytes += rest.size();
  int status = -1;
  for (int i = 0; i < 500 && waitpid(child.pid, &status, WNOHANG) == 0; ++i) usleep(10000);
  if (WIFEXITED(status)) child.pid = -1;
  std::string program;
  if (FILE* f = std::fopen((folder / "Korvex/parameter/Program.ini").c_str(), "rb")) {
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) program.append(buffer, n);
    std::fclose(f);
  }
  done = WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
         program.find("MachineName=Capper\r\nSpeedFactor=3\r\n") != std::string::npos &&
         fs::exists(folder / "Korvex/Start/Start.cfg");
  return bytes;
}

Output MeasureOutput(const fs::path& folder, const char* term) {
  Output o;
  const std::string tab = "\t", back = KeyString(term, "kcbt");
  {
    Child child;
    std::string first;
    Start(child, folder, {80, 24}, term);
    ReadFirstFrame(child.master, first);
    o.firstFrame = first.size();
    std::vector<double> tabs;
    size_t bytes = 0;
    for (int i = 0; i < 16; ++i) {
      Keystroke(child.master, tab, bytes);
      tabs.push_back(static_cast<double>(bytes));
    }
    std::sort(tabs.begin(), tabs.end());
    o.scrollingTab = static_cast<size_t>(tabs.back());
    o.tab = static_cast<size_t>(tabs[tabs.size() / 2]);
  }
  {
    Child child;
    std::string first;
    Start(child, folder, {80, 24}, term);
    ReadFirstFrame(child.master, first);
    Keys(child.master, {back, back, back, back, back, back});  // back to Labeler
    o.digit = Keys(child.master, {"1", "\x7f", "7", "\x7f"}) / 4;
  }
  o.newcomer = Newcomer(folder, term, o.newcomerDone);
  return o;
}

void ReportOutput(const fs::path& folder, const char* build) {
  for (const char* term : {"xterm", "linux"}) {
    const Output o = MeasureOutput(folder, term);
    std::printf(
        "%-6s TERM=%-6s 80 x 24: first frame %zu bytes (goal <= %.0f: %s), scrolling Tab %zu "
        "(goal <= %.0f: %s), Tab %zu, digit %zu, newcomer's task %zu (goal <= %.0f: %s)%s\n",
        build, term, o.firstFrame, kFirstFrameGoalBytes,
        Verdict(static_cast<double>(o.firstFrame), kFirstFrameGoalBytes).c_str(), o.scrollingTab,
        kScrollingTabGoalBytes,
        Verdict(static_cast<double>(o.scrollingTab), kScrollingTabGoalBytes).c_str(), o.tab,
        o.digit, o.newcomer, kNewcomerGoalBytes,
        Verdict(static_cast<double>(o.newcomer), kNewcomerGoalBytes).c_str(),
        o.newcomerDone ? "" : " (NOT DONE: the step did not end with status 0 and its files)");
  }
}

// A copy of the demo installation with the executable in it, seeded by one
// untimed start.
void Prepare(const fs::path& folder, const fs::path& executable) {
  fs::copy(fs::path(KORVEX_SOURCE_DIR) / "demo/installation", folder, fs::copy_options::recursive);
  const fs::path exe = folder / "Korvex/Start/Start_Config";
  fs::copy_file(executable, exe, fs::copy_options::overwrite_existing);
  fs::permissions(exe, fs::perms::owner_all, fs::perm_options::add);
  // The first start seeds the language file; it is not timed. Later starts
  // write only the cancel mark as they are ended, which no start reads, so
  // every start may use the same copy.
  Child seeding;
  std::string out;
  Start(seeding, folder, {99, 38});
  ReadFirstFrame(seeding.master, out);
  seeding.Stop();
}

int Run(const fs::path& folder, const char* before) {
  std::vector<std::pair<const char*, fs::path>> builds = {{"after", START_CONFIG_EXE}};
  if (before != nullptr) builds.push_back({"before", before});
  for (const auto& [name, exe] : builds) Prepare(folder / name, exe);
  const bool bytesOnly = std::getenv("KORVEX_BENCH_BYTES_ONLY") != nullptr;
  for (const auto& [name, exe] : builds) {
    if (bytesOnly) break;
    std::printf("\n=== %s (%s)\n", name, exe.c_str());
    Measure(folder / name, {99, 38});
    Measure(folder / name, {80, 24});
  }
  std::printf("\n--- bytes written\n");
  for (const auto& [name, exe] : builds) ReportOutput(folder / name, name);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  const char* before = argc > 1 ? argv[1] : nullptr;
  return RunInTemporaryFolder([before](const fs::path& folder) { return Run(folder, before); });
}
