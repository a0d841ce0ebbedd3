// How the step scales: the real executable, started as the configuration tool
// starts it (/EXTERNAL=KVXCFG /LOGFILE=... /SOURCEPATH=C:\Source\), run with a
// script over temporary installations, each its own drive C: below one
// temporary folder. Every figure is printed beside its goal.
//   1. OK copying N machine pictures of 1 KiB (one machine's picture folder)
//      against one `cp -r src/. dst/` of the same folder into an empty folder,
//      and a least-squares fit t = a + bN + cN^2 of both.
//   2. The demo's first start, which seeds the language file, against a start
//      with the file seeded: fork to "window shown" in the transcript.
//   3. OK on the demo with its three database boxes emptied.
//   4. OK on the demo with a Program.ini of many filler lines before its keys.
//   5. Start-up with a language file of many filler lines, seeded and unseeded.
//   6. OK copying one large database against cp of the same file.
// and the peak resident size of the step (ru_maxrss of wait4) in each case.
// The transcript goes to a pseudo-terminal, so that the step writes it line by
// line and the time a line appears can be taken. Short cases run a warm-up and
// then several times, alternating with their reference; a run longer than
// kLongRun is not repeated. --quick takes smaller sizes.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/bench_support.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Sizes {
  std::vector<int> pictures;  // N of case 1
  int lines = 0;              // of the large Program.ini and language file
  uint64_t database = 0;      // bytes of case 6
  int repetitions = 0;        // runs of a short case, after its warm-up
};

const Sizes kFull{{100, 1000, 10000, 100000}, 200000, 512ull << 20, 5};
const Sizes kQuick{{100, 1000, 3000}, 20000, 64ull << 20, 3};

constexpr double kPictureTimeout = 120;  // seconds, one OK run of case 1
constexpr double kCaseTimeout = 60;      // seconds, one run of the other cases
constexpr double kLongRun = 10;          // a run this long is not repeated
constexpr double kRssGoalMiB = 64;
// The source folder is C:\Source\ in the installations made here, C:\Setup\ in the demo.
constexpr char kCommandLine[][40] = {"/EXTERNAL=KVXCFG", "/LOGFILE=C:\\Korvex\\KVXcfglog.txt"};
const std::string kMachineFolder = "Source/Verschiedenes/Maschinenabhängig/Filler/Standard";
const fs::path kDemo = fs::path(KORVEX_SOURCE_DIR) / "demo/installation";

double Since(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

void WriteFile(const fs::path& file, const std::string& bytes) {
  fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary);
  out << bytes;
  if (!out.flush()) throw std::runtime_error("cannot write " + file.string());
}

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) text += l + "\r\n";
  return text;
}

// ---------------------------------------------------------------------------
// Running the step and cp.

struct Outcome {
  double total = 0;   // fork to exit, seconds
  double ready = -1;  // fork to "window shown" in the transcript
  double ok = -1;     // "> click CommandOK" to exit
  double rssMiB = 0;  // ru_maxrss
  int status = -1;    // exit status; -1 when a signal ended it
  bool timedOut = false;
  std::string transcript;  // its last 64 KiB
};

void Check(bool good, const std::string& what, const Outcome& o) {
  if (good) return;
  throw std::runtime_error(
      what + " (status " + std::to_string(o.status) + ")\n" +
      o.transcript.substr(o.transcript.size() > 4000 ? o.transcript.size() - 4000 : 0));
}

// Waits for pid, gives it SIGTERM at the deadline and SIGKILL two seconds later,
// reading `output` (when not -1) meanwhile. Fills total, rss and status.
void Reap(pid_t pid, int output, Clock::time_point start, double timeout, Outcome& o,
          const std::function<void(const char*, size_t)>& onData) {
  bool terminated = false;
  Clock::time_point killAt{};
  for (bool open = output >= 0; open;) {
    double left = timeout - Since(start);
    if (left <= 0 && !terminated) {
      kill(pid, SIGTERM);
      terminated = true;
      o.timedOut = true;
      killAt = Clock::now() + std::chrono::seconds(2);
    }
    if (terminated) {
      if (Clock::now() > killAt) kill(pid, SIGKILL);
      left = 0.1;
    }
    pollfd p{output, POLLIN, 0};
    const int ready = poll(&p, 1, static_cast<int>(std::ceil(std::min(left, 1.0) * 1000)));
    if (ready <= 0) continue;
    char buffer[65536];
    const ssize_t n = read(output, buffer, sizeof buffer);
    if (n <= 0) break;  // every writer has gone: the step has ended
    onData(buffer, static_cast<size_t>(n));
  }
  rusage usage{};
  int raw = 0;
  if (output < 0) {
    // No output to wait on: poll the process itself.
    while (wait4(pid, &raw, WNOHANG, &usage) == 0) {
      if (!terminated && Since(start) > timeout) {
        kill(pid, SIGTERM);
        terminated = true;
        o.timedOut = true;
        killAt = Clock::now() + std::chrono::seconds(2);
      }
      if (terminated && Clock::now() > killAt) kill(pid, SIGKILL);
      usleep(200);
    }
  } else {
    wait4(pid, &raw, 0, &usage);
  }
  o.total = Since(start);
  o.rssMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
  o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// The benchmark's largest resident size at a fork of the step: the child counts
// these pages until its exec.
double residentAtFork = 0;

double ResidentMiB() {
  std::ifstream statm("/proc/self/statm");
  double size = 0, resident = 0;
  statm >> size >> resident;
  return resident * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1 << 20);
}

// The step of the installation C:\Korvex below root (drive C:), with the script.
Outcome RunStep(const fs::path& root, const std::string& script, double timeout,
                const char* sourcePath = "C:\\Source\\") {
  const fs::path scriptFile = root / "bench.script";
  WriteFile(scriptFile, script);
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
    throw std::runtime_error("no pseudo-terminal");
  const int slave = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
  const int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (slave < 0 || null < 0) throw std::runtime_error("cannot open the terminal");
  termios raw{};
  tcgetattr(slave, &raw);
  cfmakeraw(&raw);
  tcsetattr(slave, TCSANOW, &raw);

  // Everything the child needs is made before fork.
  const std::string exe = (root / "Korvex/Start/Start_Config").string();
  std::vector<std::string> args = {exe, kCommandLine[0], kCommandLine[1],
                                   std::string("/SOURCEPATH=") + sourcePath};
  std::vector<std::string> env = {"EDITOR=bench", "KORVEX_DRIVES=C=" + root.string(),
                                  "KORVEX_SCRIPT=" + scriptFile.string(), "PATH=/usr/bin:/bin"};
  std::vector<char*> argv, envp;
  for (std::string& a : args) argv.push_back(a.data());
  for (std::string& e : env) envp.push_back(e.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  const std::string dir = root.string();

  Outcome o;
  residentAtFork = std::max(residentAtFork, ResidentMiB());
  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(null, 0), dup2(slave, 1), dup2(slave, 2);
    if (chdir(dir.c_str()) != 0) _exit(126);
    execve(exe.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  close(slave);
  close(null);
  Clock::time_point clicked{};
  Reap(pid, master, start, timeout, o, [&](const char* data, size_t n) {
    const size_t from = o.transcript.size() > 40 ? o.transcript.size() - 40 : 0;
    o.transcript.append(data, n);
    if (o.ready < 0 && o.transcript.find("window shown", from) != std::string::npos)
      o.ready = Since(start);
    if (o.ok < 0 && o.transcript.find("> click CommandOK", from) != std::string::npos) {
      clicked = Clock::now();
      o.ok = 0;
    }
    if (o.transcript.size() > (128u << 10))
      o.transcript.erase(0, o.transcript.size() - (64u << 10));
  });
  close(master);
  if (o.ok == 0) o.ok = std::chrono::duration<double>(Clock::now() - clicked).count();
  return o;
}

Outcome RunCp(std::vector<std::string> args, double timeout = kPictureTimeout) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  Outcome o;
  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    execvp(argv[0], argv.data());
    _exit(127);
  }
  Reap(pid, -1, start, timeout, o, nullptr);
  if (o.status != 0) throw std::runtime_error("cp failed");
  return o;
}

// ---------------------------------------------------------------------------
// Figures.

struct Spread {
  double median = 0, min = 0, max = 0;
  size_t n = 0;
};

Spread SpreadOf(std::vector<double> v) {
  Spread s;
  if (v.empty()) return s;
  std::sort(v.begin(), v.end());
  s.n = v.size();
  s.median = v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
  s.min = v.front();
  s.max = v.back();
  return s;
}

std::string Ms(const Spread& s) {
  char text[96];
  std::snprintf(text, sizeof text, "%.1f ms [%.1f..%.1f, n=%zu]", s.median * 1e3, s.min * 1e3,
                s.max * 1e3, s.n);
  return text;
}

std::string Sec(const Spread& s) {
  char text[96];
  std::snprintf(text, sizeof text, "%.3f s [%.3f..%.3f, n=%zu]", s.median, s.min, s.max, s.n);
  return text;
}

void Goal(const std::string& what, const std::string& figure, double value, double goal,
          const std::string& goalText) {
  std::printf("  %-46s %-28s goal %-12s %s\n", what.c_str(), figure.c_str(), goalText.c_str(),
              Verdict(value, goal).c_str());
}

// A time goal; a case none of whose runs finished misses it.
void GoalMs(const std::string& what, const Spread& s, double goal, const std::string& goalText) {
  if (s.n == 0) {
    char figure[48];
    std::snprintf(figure, sizeof figure, "did not finish in %.0f s", kCaseTimeout);
    std::printf("  %-46s %-28s goal %-12s missed\n", what.c_str(), figure, goalText.c_str());
    return;
  }
  Goal(what, Ms(s), s.median, goal, goalText);
}

struct RssEntry {
  std::string name;
  double mib;
};
std::vector<RssEntry> peakRss;

void NoteRss(const std::string& name, const std::vector<Outcome>& runs) {
  double m = 0;
  for (const Outcome& o : runs) m = std::max(m, o.rssMiB);
  peakRss.push_back({name, m});
}

// ---------------------------------------------------------------------------
// Installations.

// The executable lies once beside the installations; each gets a hard link.
fs::path masterExe;

void PlaceExecutable(const fs::path& root) {
  const fs::path exe = root / "Korvex/Start/Start_Config";
  fs::remove(exe);
  std::error_code ec;
  fs::create_hard_link(masterExe, exe, ec);
  if (ec) fs::copy_file(masterExe, exe);
  // The desktop window's module lies beside the step where its build has one.
  const fs::path module = masterExe.parent_path() / "Start_Config_desktop.so";
  fs::remove(exe.parent_path() / module.filename());
  if (fs::exists(module)) fs::create_hard_link(module, exe.parent_path() / module.filename());
}

// The demo's C:\Korvex afresh, with a copy of the language file when one is
// given and without one (a first start) otherwise: the demo ships its own.
void LayDemoInstallation(const fs::path& root, const fs::path* language) {
  fs::remove_all(root / "Korvex");
  fs::copy(kDemo / "Korvex", root / "Korvex", fs::copy_options::recursive);
  PlaceExecutable(root);
  fs::remove(root / "Korvex/Start/Start_Config.ini");
  if (language != nullptr) fs::copy_file(*language, root / "Korvex/Start/Start_Config.ini");
}

// One machine, Filler, whose picture folder the test fills; the Save & Restore
// copy C:\SR\Copy1 with small databases (Korvex.mdb as large as asked).
void LayPictureInstallation(const fs::path& root, uint64_t databaseBytes) {
  fs::create_directories(root / "Korvex");
  fs::copy(kDemo / "Korvex/Start", root / "Korvex/Start", fs::copy_options::recursive);
  PlaceExecutable(root);
  fs::create_directories(root / "Korvex/program");
  fs::create_directories(root / "Korvex/standard");
  WriteFile(root / "SR/Copy1/parameter/program.ini",
            Lines({"[Project]", "Supplier=Acme", "Control=1", "DateFormat=2", "TimeChanging=false",
                   "[Machine1]", "MachineName=Filler", "SpeedFactor=3"}));
  WriteFile(root / "SR/Copy1/Program/Alarmdefinition.mdb", "alarms");
  WriteFile(root / "SR/Copy1/Program/Helptext.mdb", "help");
  if (databaseBytes == 0) {
    WriteFile(root / "SR/Copy1/Program/Korvex.mdb", "database");
  } else {
    std::ofstream out(root / "SR/Copy1/Program/Korvex.mdb", std::ios::binary);
    std::vector<char> chunk(1 << 20);
    uint64_t state = 0x9E3779B97F4A7C15ull;
    for (uint64_t written = 0; written < databaseBytes && out; written += chunk.size()) {
      for (char& c : chunk) {
        state ^= state << 13, state ^= state >> 7, state ^= state << 17;
        c = static_cast<char>(state);
      }
      out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    }
    if (!out.flush()) throw std::runtime_error("cannot write the large database");
  }
  WriteFile(root / "Source/Verschiedenes/parameter/Brand.mdb", "brand");
  const fs::path pictures = root / kMachineFolder;
  WriteFile(pictures / "Warn_xx_xxx_1024.bmp", std::string(1024, 'w'));
  WriteFile(pictures / "MachineSymbol_Filler_1024.gif", std::string(1024, 's'));
}

// The settings files as before a commit, and an empty "\standard\".
void ResetPictureInstallation(const fs::path& root) {
  WriteFile(root / "Korvex/parameter/kvxconfiguration.ini",
            Lines({"[Common]", "NameM1=Filler", "MonitorRes=1024", "VWStudio=False"}));
  WriteFile(root / "Korvex/parameter/Program.ini", "[Project]\r\n");
  WriteFile(root / "Korvex/Start/Start.cfg", "[Project]\r\nValidMachines=ALL\r\n");
  fs::remove(root / "Korvex/KVXcfglog.txt");
  fs::remove_all(root / "Korvex/standard");
  fs::create_directory(root / "Korvex/standard");
  fs::remove(root / "Korvex/program/Korvex.mdb");
}

// Pictures Picture_000000.bmp .. up to count, 1 KiB each.
void AddPictures(const fs::path& folder, int from, int count) {
  const std::string body(1024, 'p');
  for (int k = from; k < count; ++k) {
    char name[32];
    std::snprintf(name, sizeof name, "Picture_%06d.bmp", k);
    const int fd = open((folder / name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || write(fd, body.data(), body.size()) != static_cast<ssize_t>(body.size()))
      throw std::runtime_error("cannot write a picture");
    close(fd);
  }
}

size_t Entries(const fs::path& folder) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(folder), {}));
}

// A file of filler sections of ten lines each, `lines` lines in all, followed
// by the content of `tail` when given. Written as a stream: the benchmark holds
// no large buffer, whose pages a forked step would count as its own.
fs::path WriteFiller(const fs::path& file, int lines, const fs::path* tail) {
  std::ofstream out(file, std::ios::binary);
  for (int s = 0; s * 10 < lines; ++s) {
    out << "[Filler" << s << "]\r\n";
    for (int k = 1; k < 10 && s * 10 + k < lines; ++k)
      out << "Key" << k << "=Value " << s << "\r\n";
  }
  if (tail != nullptr) out << std::ifstream(*tail, std::ios::binary).rdbuf();
  if (!out.flush()) throw std::runtime_error("cannot write " + file.string());
  return file;
}

const char kDemoSource[] = "C:\\Setup\\";
const char kDemoOk[] = "dir C:\\SaveRestore\\Copy_2025_Line1\nclick CommandOK\n";

// ---------------------------------------------------------------------------
// The cases.

struct Point {
  double n, ok, cp;
};

// Least squares of t = a + bN + cN^2 in relative residuals (each point weighed
// by 1/t^2, as the sizes span decades); N scaled for the solve.
std::array<double, 3> QuadraticFit(const std::vector<Point>& points, bool ofOk) {
  const double scale = points.back().n;
  double m[3][4] = {};
  for (const Point& p : points) {
    const double x = p.n / scale, basis[3] = {1, x, x * x}, t = ofOk ? p.ok : p.cp;
    const double w = 1 / (t * t);
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 3; ++c) m[r][c] += w * basis[r] * basis[c];
      m[r][3] += w * basis[r] * t;
    }
  }
  for (int col = 0; col < 3; ++col) {
    int pivot = col;
    for (int r = col + 1; r < 3; ++r)
      if (std::fabs(m[r][col]) > std::fabs(m[pivot][col])) pivot = r;
    std::swap(m[col], m[pivot]);
    for (int r = 0; r < 3; ++r) {
      if (r == col || m[col][col] == 0) continue;
      const double f = m[r][col] / m[col][col];
      for (int c = col; c < 4; ++c) m[r][c] -= f * m[col][c];
    }
  }
  std::array<double, 3> k{};
  for (int r = 0; r < 3; ++r) k[r] = m[r][r] == 0 ? 0 : m[r][3] / m[r][r];
  return {k[0], k[1] / scale, k[2] / (scale * scale)};
}

void PictureCase(const fs::path& folder, const Sizes& sizes) {
  const fs::path root = folder / "pictures";
  LayPictureInstallation(root, 0);
  const fs::path source = root / kMachineFolder;
  const fs::path cpTarget = root / "cp-target";
  const std::string okScript = "dir C:\\SR\\Copy1\nclick CommandOK\n";
  std::printf(
      "\n1. OK copying N machine pictures of 1 KiB (one machine's picture folder, plus its\n"
      "   16 warning pictures and symbol), against one process `cp -r src/. dst/` of the\n"
      "   same folder into an empty folder. Whole runs, fork to exit, each after a sync;\n"
      "   median [min..max].\n");
  std::printf("  %8s  %-32s %-32s %7s %9s\n", "N", "OK", "cp", "OK/cp", "peak RSS");
  std::vector<Point> points;
  std::vector<Outcome> all;
  int present = 0;
  for (const int n : sizes.pictures) {
    AddPictures(source, present, n);
    present = n;
    // The previous run's files are removed and written back first (sync,
    // untimed), so that no run pays for the one before.
    const auto runOk = [&] {
      ResetPictureInstallation(root);
      sync();
      return RunStep(root, okScript, kPictureTimeout);
    };
    const auto runCp = [&] {
      fs::remove_all(cpTarget);
      fs::create_directory(cpTarget);
      sync();
      return RunCp({"cp", "-r", source.string() + "/.", cpTarget.string() + "/"});
    };
    // Warm-up, unless the previous size took long (the files were just made).
    if (points.empty() || points.back().ok < 2) runOk(), runCp();
    const int repetitions = n <= 1000 ? sizes.repetitions : n <= 10000 ? 3 : 2;
    std::vector<double> ok, cp;
    std::vector<Outcome> runs;
    bool finished = true;
    for (int r = 0; r < repetitions; ++r) {
      // Alternate the order, so that neither side always follows the other.
      for (int side = 0; side < 2; ++side) {
        if ((side == 0) == (r % 2 == 0)) {
          const Outcome o = runOk();
          if (o.timedOut) {
            runs.push_back(o);  // for its peak size
            finished = false;
            break;
          }
          Check(o.status == 0, "OK over the pictures failed", o);
          if (r == 0)
            Check(Entries(root / "Korvex/standard") == static_cast<size_t>(n) + 18,
                  "OK did not copy every picture", o);
          ok.push_back(o.total);
          runs.push_back(o);
        } else {
          cp.push_back(runCp().total);
        }
      }
      if (!finished || ok.back() > kLongRun) break;
    }
    if (!finished) {
      std::printf("  %8d  did not finish in %.0f s; larger N not run\n", n, kPictureTimeout);
      NoteRss("OK, " + std::to_string(n) + " pictures (cut off)", runs);
      break;
    }
    const Spread a = SpreadOf(ok), b = SpreadOf(cp);
    double rss = 0;
    for (const Outcome& o : runs) rss = std::max(rss, o.rssMiB);
    std::printf("  %8d  %-32s %-32s %7.2f %6.1f MiB\n", n, Sec(a).c_str(), Sec(b).c_str(),
                a.median / b.median, rss);
    std::fflush(stdout);
    points.push_back({static_cast<double>(n), a.median, b.median});
    NoteRss("OK, " + std::to_string(n) + " pictures", runs);
  }
  fs::remove_all(cpTarget);
  ResetPictureInstallation(root);

  for (const Point& p : points)
    if (p.n >= 10000)
      Goal(
          "OK / cp at N = " + std::to_string(static_cast<int>(p.n)),
          [&] {
            char t[32];
            std::snprintf(t, sizeof t, "%.2f", p.ok / p.cp);
            return std::string(t);
          }(),
          p.ok / p.cp, 3, "<= 3.00");
  if (points.size() >= 3) {
    for (const bool ofOk : {true, false}) {
      const auto [a, b, c] = QuadraticFit(points, ofOk);
      const Point& last = points.back();
      std::printf(
          "  fit %-3s t = a + bN + cN^2: a = %.4f s, b = %.3f us/file, c = %.3g s/file^2; "
          "cN^2 at N = %.0f: %.3f s (%.0f%% of the fit%s)\n",
          ofOk ? "OK" : "cp", a, b * 1e6, c, last.n, c * last.n * last.n,
          100.0 * c * last.n * last.n / (a + b * last.n + c * last.n * last.n),
          c <= 0 ? "; c is not positive: no quadratic growth" : "");
    }
  }
  std::printf("  log-log slope of t against N (1 = linear, 2 = quadratic):");
  for (size_t k = 1; k < points.size(); ++k)
    std::printf(
        "  %.0f->%.0f OK %.2f cp %.2f", points[k - 1].n, points[k].n,
        std::log(points[k].ok / points[k - 1].ok) / std::log(points[k].n / points[k - 1].n),
        std::log(points[k].cp / points[k - 1].cp) / std::log(points[k].n / points[k - 1].n));
  std::printf("\n");
}

// The demo's language file as the step seeds it, kept as `file`.
fs::path SeededLanguage(const fs::path& root, const fs::path& file) {
  LayDemoInstallation(root, nullptr);
  const Outcome o = RunStep(root, "dump\n", kCaseTimeout, kDemoSource);
  Check(o.status == 3 && o.ready > 0, "the demo did not start", o);
  fs::copy_file(root / "Korvex/Start/Start_Config.ini", file);
  return file;
}

// Starts (script "dump") with two language files in turn: fork to "window shown".
struct StartPair {
  std::vector<Outcome> first, second;
};

StartPair Starts(const fs::path& root, const fs::path* first, const fs::path* second,
                 int repetitions) {
  StartPair pair;
  for (int r = -1; r < repetitions; ++r) {  // r = -1: the warm-up
    for (int side = 0; side < 2; ++side) {
      const bool isFirst = (side == 0) == (r % 2 == 0);
      LayDemoInstallation(root, isFirst ? first : second);
      const Outcome o = RunStep(root, "dump\n", kCaseTimeout, kDemoSource);
      if (o.timedOut) {
        // Both sides keep the runs so far; a side without any did not finish.
        NoteRss(std::string("a start cut off after ") + std::to_string(int(kCaseTimeout)) + " s",
                {o});
        return pair;
      }
      Check(o.status == 3 && o.ready > 0, "the demo did not start", o);
      if (r >= 0) (isFirst ? pair.first : pair.second).push_back(o);
    }
    if (r >= 0 && std::max(pair.first.back().total, pair.second.back().total) > kLongRun) break;
  }
  return pair;
}

Spread ReadyOf(const std::vector<Outcome>& runs) {
  std::vector<double> v;
  for (const Outcome& o : runs) v.push_back(o.ready);
  return SpreadOf(v);
}

Spread OkOf(const std::vector<Outcome>& runs) {
  std::vector<double> v;
  for (const Outcome& o : runs) v.push_back(o.ok);
  return SpreadOf(v);
}

Spread TotalOf(const std::vector<Outcome>& runs) {
  std::vector<double> v;
  for (const Outcome& o : runs) v.push_back(o.total);
  return SpreadOf(v);
}

void DemoStartCase(const fs::path& root, const fs::path& seeded, const Sizes& sizes) {
  std::printf(
      "\n2. The demo's start, script \"dump\": fork to \"window shown\", the first start\n"
      "   (Start\\Start_Config.ini absent, seeded by it) against the seeded start.\n");
  const StartPair p = Starts(root, nullptr, &seeded, sizes.repetitions);
  const Spread first = ReadyOf(p.first), second = ReadyOf(p.second);
  std::printf("  first start %s, whole run %s\n", Ms(first).c_str(), Ms(TotalOf(p.first)).c_str());
  std::printf("  seeded start %s, whole run %s\n", Ms(second).c_str(),
              Ms(TotalOf(p.second)).c_str());
  GoalMs("first start, to window ready", first, 0.1, "<= 100 ms");
  if (first.n > 0 && second.n > 0) {
    char ratio[32];
    std::snprintf(ratio, sizeof ratio, "%.2f", first.median / second.median);
    Goal("first / seeded start", ratio, first.median / second.median, 1.5, "<= 1.50");
  }
  NoteRss("first start of the demo", p.first);
  NoteRss("seeded start of the demo", p.second);
}

// OK runs on the demo, the installation laid afresh before each.
// The first and the seeded start of this build against the same starts of the
// build without the desktop window (KORVEX_BENCH_WITHOUT_DESKTOP names its
// Start_Config), alternating in one run.
void WithoutDesktopCase(const fs::path& root, const fs::path& seeded, const Sizes& sizes) {
  std::printf(
      "\n2b. The demo's start, script \"dump\", of this build (the desktop window's module\n"
      "   beside it) against the build without the desktop window.\n");
  const char* other = std::getenv("KORVEX_BENCH_WITHOUT_DESKTOP");
  if (other == nullptr || !fs::exists(other)) {
    std::printf("  not measured: KORVEX_BENCH_WITHOUT_DESKTOP names no Start_Config\n");
    return;
  }
  const fs::path own = masterExe, without = root.parent_path() / "without/Start_Config";
  fs::create_directories(without.parent_path());
  fs::copy_file(other, without, fs::copy_options::overwrite_existing);
  for (const fs::path* language : {static_cast<const fs::path*>(nullptr), &seeded}) {
    std::vector<Outcome> runs[2];
    for (int r = -1; r < sizes.repetitions; ++r) {
      for (int side = 0; side < 2; ++side) {
        const int which = (side == 0) == (r % 2 == 0) ? 0 : 1;
        masterExe = which == 0 ? own : without;
        LayDemoInstallation(root, language);
        const Outcome o = RunStep(root, "dump\n", kCaseTimeout, kDemoSource);
        Check(o.status == 3 && o.ready > 0, "the demo did not start", o);
        if (r >= 0) runs[which].push_back(o);
      }
    }
    masterExe = own;
    const Spread a = ReadyOf(runs[0]), b = ReadyOf(runs[1]);
    const char* name = language == nullptr ? "first start" : "seeded start";
    std::printf("  %s: this build %s, without the desktop window %s\n", name, Ms(a).c_str(),
                Ms(b).c_str());
    char ratio[32];
    std::snprintf(ratio, sizeof ratio, "%.2f", a.median / b.median);
    Goal(std::string(name) + ", this build / without the desktop window", ratio,
         a.median / b.median, 1.1, "<= 1.10");
  }
}

std::vector<Outcome> DemoOks(const fs::path& root, const fs::path& seeded,
                             const std::string& script, int repetitions,
                             const std::function<void()>& prepare = nullptr) {
  std::vector<Outcome> runs;
  for (int r = -1; r < repetitions; ++r) {
    LayDemoInstallation(root, &seeded);
    if (prepare) prepare();
    const Outcome o = RunStep(root, script, kCaseTimeout, kDemoSource);
    if (o.timedOut) {
      std::printf("  did not finish in %.0f s\n", kCaseTimeout);
      break;
    }
    Check(o.status == 0 && o.ok >= 0, "OK on the demo failed", o);
    if (r >= 0) runs.push_back(o);
    if (o.total > kLongRun) break;
  }
  return runs;
}

void DemoOkCase(const fs::path& root, const fs::path& seeded, const Sizes& sizes) {
  std::printf(
      "\n3. OK on the demo (copy Copy_2025_Line1 connected, language file seeded) with the\n"
      "   three database boxes emptied by the script: \"> click CommandOK\" to exit.\n");
  const std::string script =
      "dir C:\\SaveRestore\\Copy_2025_Line1\ntext TextPath(0) \ntext TextPath(1) \n"
      "text TextPath(2) \nclick CommandOK\n";
  const std::vector<Outcome> runs = DemoOks(root, seeded, script, sizes.repetitions);
  if (runs.empty()) {
    GoalMs("OK without database copies", {}, 0.1, "<= 100 ms");
    return;
  }
  if (fs::exists(root / "Korvex/program/Korvex.mdb"))
    throw std::runtime_error("the emptied boxes still copied a database");
  const Spread ok = OkOf(runs);
  std::printf("  OK %s, whole run %s\n", Ms(ok).c_str(), Ms(TotalOf(runs)).c_str());
  Goal("OK without database copies", Ms(ok), ok.median, 0.1, "<= 100 ms");
  NoteRss("OK on the demo without databases", runs);
}

void LargeProgramIniCase(const fs::path& root, const fs::path& seeded, const Sizes& sizes) {
  std::printf(
      "\n4. OK on the demo whose Program.ini holds %d filler lines before its own\n"
      "   sections: \"> click CommandOK\" to exit.\n",
      sizes.lines);
  const fs::path demoProgram = kDemo / "Korvex/parameter/Program.ini";
  const fs::path program =
      WriteFiller(root.parent_path() / "program.ini", sizes.lines, &demoProgram);
  const std::vector<Outcome> runs =
      DemoOks(root, seeded, kDemoOk, std::min(sizes.repetitions, 3), [&] {
        fs::copy_file(program, root / "Korvex/parameter/Program.ini",
                      fs::copy_options::overwrite_existing);
      });
  if (runs.empty()) {
    GoalMs("OK with a Program.ini of " + std::to_string(sizes.lines) + " lines", {}, 2.0,
           "<= 2000 ms");
    return;
  }
  const Spread ok = OkOf(runs);
  std::printf("  OK %s, whole run %s\n", Ms(ok).c_str(), Ms(TotalOf(runs)).c_str());
  Goal("OK with a Program.ini of " + std::to_string(sizes.lines) + " lines", Ms(ok), ok.median, 2.0,
       "<= 2000 ms");
  NoteRss("OK, large Program.ini", runs);
}

void LargeLanguageCase(const fs::path& root, const fs::path& seeded, const Sizes& sizes) {
  std::printf(
      "\n5. Start-up of the demo with a language file of %d filler lines before its\n"
      "   texts (seeded) or without them (unseeded, so the start writes every text):\n"
      "   fork to \"window shown\".\n",
      sizes.lines);
  const fs::path filler = WriteFiller(root.parent_path() / "filler.ini", sizes.lines, nullptr);
  const fs::path withTexts = WriteFiller(root.parent_path() / "language.ini", sizes.lines, &seeded);
  const StartPair p = Starts(root, &withTexts, &filler, std::min(sizes.repetitions, 3));
  const Spread a = ReadyOf(p.first), b = ReadyOf(p.second);
  std::printf("  seeded %s, whole run %s\n", Ms(a).c_str(), Ms(TotalOf(p.first)).c_str());
  std::printf("  unseeded %s, whole run %s\n", Ms(b).c_str(), Ms(TotalOf(p.second)).c_str());
  GoalMs("start, large language file, seeded", a, 0.5, "<= 500 ms");
  GoalMs("start, large language file, unseeded", b, 0.5, "<= 500 ms");
  NoteRss("start, large language file, seeded", p.first);
  NoteRss("start, large language file, unseeded", p.second);
}

void LargeDatabaseCase(const fs::path& folder, const Sizes& sizes) {
  const unsigned long long mib = sizes.database >> 20;
  std::printf(
      "\n6. OK copying one database of %llu MiB (Korvex.mdb of the connected copy) against\n"
      "   `cp src dst` of the same file to a new name. Whole runs, fork to exit; caches\n"
      "   written back (sync) before each run.\n",
      mib);
  struct statvfs space;
  if (statvfs(folder.c_str(), &space) != 0 ||
      static_cast<uint64_t>(space.f_bavail) * space.f_frsize <
          2 * sizes.database + (256ull << 20)) {
    std::printf("  skipped: not enough free space in %s\n", folder.c_str());
    return;
  }
  const fs::path root = folder / "database";
  LayPictureInstallation(root, sizes.database);
  const fs::path source = root / "SR/Copy1/Program/Korvex.mdb";
  const fs::path cpTarget = root / "cp-target.mdb";
  std::vector<double> ok, cp;
  std::vector<Outcome> runs;
  const int repetitions = std::min(sizes.repetitions, 3);
  for (int r = -1; r < repetitions; ++r) {
    for (int side = 0; side < 2; ++side) {
      ResetPictureInstallation(root);
      fs::remove(cpTarget);
      sync();
      if ((side == 0) == (r % 2 == 0)) {
        const Outcome o = RunStep(root, "dir C:\\SR\\Copy1\nclick CommandOK\n", kPictureTimeout);
        Check(!o.timedOut && o.status == 0, "OK with the large database failed", o);
        if (fs::file_size(root / "Korvex/program/Korvex.mdb") != sizes.database)
          throw std::runtime_error("OK did not copy the large database");
        if (r >= 0) ok.push_back(o.total), runs.push_back(o);
      } else {
        const Outcome o = RunCp({"cp", source.string(), cpTarget.string()});
        if (r >= 0) cp.push_back(o.total);
      }
    }
  }
  ResetPictureInstallation(root);
  fs::remove(cpTarget);
  fs::remove(source);
  const Spread a = SpreadOf(ok), b = SpreadOf(cp);
  std::printf("  OK %s (of which \"> click CommandOK\" to exit %s)\n  cp %s\n", Sec(a).c_str(),
              Sec(OkOf(runs)).c_str(), Sec(b).c_str());
  char ratio[32];
  std::snprintf(ratio, sizeof ratio, "%.2f", a.median / b.median);
  Goal("OK / cp, one " + std::to_string(mib) + " MiB database", ratio, a.median / b.median, 1.1,
       "<= 1.10");
  NoteRss("OK, one large database", runs);
}

// The load of the machine, which the figures depend on.
std::string LoadAverage() {
  std::string text = ReadFile("/proc/loadavg");
  return text.substr(0, text.find(' ', text.find(' ', text.find(' ') + 1) + 1));
}

int Run(const fs::path& folder, const Sizes& sizes) {
  struct statfs fsInfo {};
  statfs(folder.c_str(), &fsInfo);
  std::printf("temporary folder %s (file system magic 0x%lx), %ld cores online, load %s\n",
              folder.c_str(), static_cast<unsigned long>(fsInfo.f_type),
              sysconf(_SC_NPROCESSORS_ONLN), LoadAverage().c_str());
  masterExe = folder / "Start_Config";
  fs::copy_file(START_CONFIG_EXE, masterExe);
  const auto start = Clock::now();
  PictureCase(folder, sizes);
  const fs::path demo = folder / "demo";
  fs::create_directories(demo);
  fs::copy(kDemo, demo, fs::copy_options::recursive);
  const fs::path seeded = SeededLanguage(demo, folder / "seeded.ini");
  DemoStartCase(demo, seeded, sizes);
  WithoutDesktopCase(demo, seeded, sizes);
  DemoOkCase(demo, seeded, sizes);
  LargeProgramIniCase(demo, seeded, sizes);
  LargeLanguageCase(demo, seeded, sizes);
  LargeDatabaseCase(folder, sizes);

  std::printf(
      "\n7. Peak resident size of the step (ru_maxrss of wait4; it counts the pages the\n"
      "   child shares with the benchmark between fork and exec, at most %.1f MiB here).\n",
      residentAtFork);
  for (const RssEntry& e : peakRss) {
    char figure[32];
    std::snprintf(figure, sizeof figure, "%.1f MiB", e.mib);
    Goal(e.name, figure, e.mib, kRssGoalMiB, "< 64 MiB");
  }
  std::printf("\nall cases: %.0f s, load at the end %s\n", Since(start), LoadAverage().c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  setvbuf(stdout, nullptr, _IOLBF, 0);  // progress shows in a log file too
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  if (argc > 1 && !quick) {
    std::fprintf(stderr, "usage: %s [--quick]\n", argv[0]);
    return 2;
  }
  const Sizes& sizes = quick ? kQuick : kFull;
  std::printf("bench_scale%s: the step %s\n", quick ? " --quick" : "", START_CONFIG_EXE);
  return RunInTemporaryFolder([&](const fs::path& folder) { return Run(folder, sizes); });
}
