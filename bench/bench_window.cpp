// Speed of the desktop window, on a copy of the demo installation in a
// temporary folder mapped as drive C:, on a real X server (an Xvfb of the
// benchmark's own) and on Qt's offscreen platform:
// 1. Start to first painted window: fork of the executable to the end of the
//    first paint of its window (the window reports every painted frame on the
//    descriptor KORVEX_FRAME_FD names), over several starts, after an untimed
//    start that seeds the language file.
// 2. Click or key to repaint, in-process: from handing the event to the window
//    to the end of the repaint it causes (every pending event processed, the
//    painted frame handed to the platform), for series of keys and clicks. As
//    for the terminal window, the target is judged on the 99th percentile.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/desktop/view.h"
#include "bench/bench_support.h"
#include "platform/process.h"

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kStarts = 15;
constexpr int kEventsPerSeries = 200;
constexpr double kFirstPaintTargetMs = 150;
constexpr double kRepaintTargetMs = 16;

struct Stats {
  double median = 0, p99 = 0, min = 0, max = 0;
};

Stats Summary(std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  Stats s;
  s.median = ms[ms.size() / 2];
  s.p99 = Percentile(ms, 0.99);
  s.min = ms.front();
  s.max = ms.back();
  return s;
}

void LayDemo(const fs::path& folder) {
  fs::copy(KORVEX_SOURCE_DIR "/demo/installation", folder, fs::copy_options::recursive);
  fs::copy_file(START_CONFIG_EXE, folder / "Korvex/Start/Start_Config",
                fs::copy_options::overwrite_existing);
  // The desktop window is the module beside the executable, loaded as it starts.
  fs::copy_file(fs::path(START_CONFIG_EXE).parent_path() / "Start_Config_desktop.so",
                folder / "Korvex/Start/Start_Config_desktop.so",
                fs::copy_options::overwrite_existing);
}

const char* const kArguments[] = {"/EXTERNAL=KVXCFG", "/LOGFILE=C:\\Korvex\\KVXcfglog.txt",
                                  "/SOURCEPATH=C:\\Setup\\"};

// The environment of the measured process: the platform's variables on top of
// the benchmark's own.
std::vector<std::string> Environment(const fs::path& folder,
                                     const std::vector<std::string>& platform) {
  std::vector<std::string> env = platform;
  env.push_back("KORVEX_DRIVES=C=" + folder.string());
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    if (!entry.starts_with("KORVEX_") && !entry.starts_with("DISPLAY=") &&
        !entry.starts_with("QT_QPA_PLATFORM=") && !entry.starts_with("WAYLAND_DISPLAY="))
      env.push_back(entry);
  }
  return env;
}

pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env,
            const fs::path& dir, int frameFd) {
  std::vector<char*> argv, envp;
  std::vector<std::string> a = args, e = env;
  for (auto& s : a) argv.push_back(s.data());
  for (auto& s : e) envp.push_back(s.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    if (frameFd >= 0) dup2(frameFd, 3);
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0), dup2(null, 1), dup2(null, 2);
    if (chdir(dir.c_str()) != 0) _exit(126);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  return pid;
}

void Stop(pid_t pid) {
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

// Milliseconds from fork to the first painted frame of one start.
double FirstPaint(const fs::path& folder, const std::vector<std::string>& platform) {
  int frames[2];
  if (pipe(frames) != 0) throw std::runtime_error("pipe failed");
  std::vector<std::string> env = Environment(folder, platform);
  env.push_back("KORVEX_FRAME_FD=3");
  std::vector<std::string> args = {(folder / "Korvex/Start/Start_Config").string()};
  args.insert(args.end(), std::begin(kArguments), std::end(kArguments));
  const auto before = Clock::now();
  const pid_t pid = Spawn(args, env, folder, frames[1]);
  close(frames[1]);
  pollfd p{frames[0], POLLIN, 0};
  // A step that ends without a window closes the pipe: that is no frame.
  char frame = 0;
  const bool painted = poll(&p, 1, 10000) == 1 && read(frames[0], &frame, 1) == 1;
  const auto after = Clock::now();
  close(frames[0]);
  Stop(pid);
  if (!painted) throw std::runtime_error("the window painted nothing within 10 s");
  return Milliseconds(before, after);
}

void MeasureStarts(const std::string& name, const std::vector<std::string>& platform) {
  RunInTemporaryFolder([&](const fs::path& folder) {
    LayDemo(folder);
    FirstPaint(folder, platform);  // seeds the language file
    std::vector<double> ms;
    for (int i = 0; i < kStarts; ++i) ms.push_back(FirstPaint(folder, platform));
    const Stats s = Summary(ms);
    std::printf(
        "%-9s start to first painted window  %6.1f ms [%.1f..%.1f, n=%d]  goal <= %.0f ms  %s\n",
        name.c_str(), s.median, s.min, s.max, kStarts, kFirstPaintTargetMs,
        Verdict(s.median, kFirstPaintTargetMs).c_str());
    return 0;
  });
}

QWidget* Focused(QWidget* otherwise) {
  QWidget* w = QApplication::focusWidget();
  return w != nullptr ? w : otherwise;
}

// In-process: the window on the demo, and series of events handed to it.
int MeasureRepaints(const std::string& name) {
  return RunInTemporaryFolder([&](const fs::path& folder) -> int {
    LayDemo(folder);
    setenv("KORVEX_DRIVES", ("C=" + folder.string()).c_str(), 1);
    if (chdir(folder.c_str()) != 0) throw std::runtime_error("chdir failed");
    platform::SetProcessForTesting(
        "/EXTERNAL=KVXCFG /LOGFILE=C:\\Korvex\\KVXcfglog.txt /SOURCEPATH=C:\\Setup\\",
        "C:\\Korvex\\Start", "Start_Config");
    int argc = 1;
    char arg0[] = "bench_window";
    char* argv[] = {arg0, nullptr};
    QApplication application(argc, argv);
    win::UseClassicLook(application);
    frm_Start_Config_Exe form;
    form.Form_Load();
    win::WindowView view(form);
    view.show();
    if (!QTest::qWaitForWindowExposed(&view)) throw std::runtime_error("the window never showed");
    // Keys go to the active window; an X server without a window manager
    // activates none by itself.
    view.activateWindow();
    QApplication::setActiveWindow(&view);
    (void)QTest::qWaitForWindowActive(&view, 2000);
    view.Act(app::Verb::Dir, form.DirSAR, "C:\\SaveRestore\\Copy_2025_Line1");
    auto settle = [] {
      for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    };
    settle();
    auto series = [&](const std::vector<std::function<void()>>& events) {
      std::vector<double> ms;
      for (int i = 0; i < kEventsPerSeries; ++i) {
        const auto before = Clock::now();
        events[i % events.size()]();
        settle();
        ms.push_back(Milliseconds(before, Clock::now()));
      }
      return Summary(ms);
    };
    auto* date = static_cast<QComboBox*>(view.WidgetOf(*form.ComboDateFormat));
    auto* speed = static_cast<QLineEdit*>(view.WidgetOf(*form.TextSpeedFactor[2]));
    auto* check = static_cast<QCheckBox*>(view.WidgetOf(*form.CheckTimeChanging));
    struct Named {
      const char* name;
      Stats stats;
    };
    std::vector<Named> results;
    date->setFocus();
    settle();
    results.push_back(
        {"Down/Up in the date format box", series({[&] { QTest::keyClick(date, Qt::Key_Down); },
                                                   [&] { QTest::keyClick(date, Qt::Key_Up); }})});
    results.push_back(
        {"Tab / Shift-Tab", series({[&] { QTest::keyClick(Focused(date), Qt::Key_Tab); },
                                    [&] { QTest::keyClick(Focused(date), Qt::Key_Backtab); }})});
    speed->setFocus();
    settle();
    results.push_back({"digits in a speed-factor box",
                       series({[&] { QTest::keyClick(speed, Qt::Key_1); },
                               [&] { QTest::keyClick(speed, Qt::Key_Backspace); }})});
    results.push_back(
        {"clicks on the check box", series({[&] { QTest::mouseClick(check, Qt::LeftButton); }})});
    double worst = 0;
    for (const Named& r : results) {
      std::printf("%-9s %-32s %d events: median %.2f ms, p99 %.2f ms, max %.2f ms\n", name.c_str(),
                  r.name, kEventsPerSeries, r.stats.median, r.stats.p99, r.stats.max);
      worst = std::max(worst, r.stats.p99);
    }
    std::printf("%-9s click or key to repaint (worst series p99) %.2f ms  goal <= %.0f ms  %s\n",
                name.c_str(), worst, kRepaintTargetMs, Verdict(worst, kRepaintTargetMs).c_str());
    std::fflush(stdout);
    platform::EndProcess(0);  // the window's model is not to be torn down mid-run
  });
}

// An Xvfb of the benchmark's own; empty when none can start.
std::string StartXvfb(pid_t& pid) {
  for (int n = 150 + getpid() % 40; n < 250; ++n) {
    const std::string number = std::to_string(n);
    if (fs::exists("/tmp/.X11-unix/X" + number) || fs::exists("/tmp/.X" + number + "-lock"))
      continue;
    pid = Spawn({"/usr/bin/Xvfb", ":" + number, "-screen", "0", "1280x1024x24", "-noreset",
                 "-nolisten", "tcp"},
                {"PATH=/usr/bin:/bin"}, "/", -1);
    for (int i = 0; i < 250; ++i) {
      if (waitpid(pid, nullptr, WNOHANG) == pid) break;
      if (fs::exists("/tmp/.X11-unix/X" + number)) return ":" + number;
      usleep(20000);
    }
    Stop(pid);
  }
  pid = -1;
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  if (argc == 3 && std::strcmp(argv[1], "--repaint") == 0) return MeasureRepaints(argv[2]);

  pid_t xvfb = -1;
  const std::string display = StartXvfb(xvfb);
  struct Platform {
    std::string name;
    std::vector<std::string> env;
  };
  std::vector<Platform> platforms;
  if (display.empty())
    std::printf("Xvfb could not start: only the offscreen figures follow\n");
  else
    platforms.push_back({"xvfb", {"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb"}});
  platforms.push_back({"offscreen", {"QT_QPA_PLATFORM=offscreen", "KORVEX_FRONTEND=window"}});

  int status = 0;
  for (const Platform& p : platforms) {
    MeasureStarts(p.name, p.env);
    std::fflush(stdout);
    // The repaints run in a child with the platform's environment, whose
    // output goes straight to ours.
    const pid_t pid = fork();
    if (pid == 0) {
      for (const std::string& entry : p.env) putenv(strdup(entry.c_str()));
      const std::string self = fs::canonical("/proc/self/exe").string();
      execl(self.c_str(), self.c_str(), "--repaint", p.name.c_str(), nullptr);
      _exit(127);
    }
    int raw = 0;
    waitpid(pid, &raw, 0);
    if (!WIFEXITED(raw) || WEXITSTATUS(raw) != 0) status = 1;
  }
  if (xvfb > 0) Stop(xvfb);
  return status;
}
