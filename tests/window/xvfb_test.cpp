// The built executable as a desktop window on a real X server (Xvfb), driven
// with xdotool as a person with mouse and keyboard would: the files it leaves
// are the files the same actions leave as a script. A screenshot of the window
// is left in the build folder for a person to look at.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <thread>

#include "tests/e2e_support.h"
#include "tests/tmux_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::TempTree;

const char* const kCommandLine =
    "/EXTERNAL=KVXCFG /LOGFILE=C:\\Korvex\\KVXcfglog.txt /SOURCEPATH=C:\\Setup\\";
const char* const kFirstEnvironmentEntry = "USERNAME=installer";

bool OnPath(const std::string& program) {
  for (const char* dir : {"/usr/bin", "/bin", "/usr/local/bin"})
    if (access((std::string(dir) + "/" + program).c_str(), X_OK) == 0) return true;
  return false;
}

// Runs a program on the display and returns its standard output.
std::string Output(std::vector<std::string> args, const std::string& display) {
  args.insert(args.begin(), {"env", "DISPLAY=" + display});
  return testsupport::Output(args);
}

// An X server of the test's own, with its screen kept as a file to read back.
class XServer {
 public:
  explicit XServer(const fs::path& screenFolder, const std::string& screen = "1024x768x24")
      : folder_(screenFolder) {
    fs::create_directories(folder_);
    for (int n = 90 + getpid() % 50; n < 200 && pid_ < 0; ++n) {
      const std::string number = std::to_string(n);
      if (fs::exists("/tmp/.X11-unix/X" + number) || fs::exists("/tmp/.X" + number + "-lock"))
        continue;
      const pid_t pid = fork();
      if (pid == 0) {
        freopen("/dev/null", "w", stderr);
        execlp("Xvfb", "Xvfb", (":" + number).c_str(), "-screen", "0", screen.c_str(), "-fbdir",
               folder_.c_str(), "-noreset", "-nolisten", "tcp", nullptr);
        _exit(127);
      }
      const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      while (std::chrono::steady_clock::now() < until) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) break;  // it gave up: the next number
        if (fs::exists("/tmp/.X11-unix/X" + number) && fs::exists(folder_ / "Xvfb_screen0")) {
          pid_ = pid;
          display_ = ":" + number;
          break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      if (pid_ < 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
      }
    }
  }
  ~XServer() {
    if (pid_ < 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  bool Running() const { return pid_ >= 0; }
  const std::string& Display() const { return display_; }

  // The screen as the server holds it (an XWD image of 32-bit pixels), cut
  // to the rectangle.
  QImage Screenshot(const QRect& area) const {
    const std::string xwd = ReadFile(folder_ / "Xvfb_screen0");
    auto field = [&](size_t i) {
      const auto* p = reinterpret_cast<const unsigned char*>(xwd.data()) + 4 * i;
      return static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
    };
    if (xwd.size() < 100 || field(11) != 32) return {};
    const uint32_t headerSize = field(0), width = field(4), height = field(5),
                   bytesPerLine = field(12), colours = field(19);
    const size_t pixels = headerSize + 12 * static_cast<size_t>(colours);
    if (xwd.size() < pixels + static_cast<size_t>(bytesPerLine) * height) return {};
    QImage screen(reinterpret_cast<const uchar*>(xwd.data() + pixels), static_cast<int>(width),
                  static_cast<int>(height), static_cast<qsizetype>(bytesPerLine),
                  QImage::Format_RGB32);
    return screen.copy(area);
  }

 private:
  fs::path folder_;
  pid_t pid_ = -1;
  std::string display_;
};

using testsupport::DemoTree;
using testsupport::Files;

// A program on the display, started in the background; ended with the test.
class Beside {
 public:
  Beside(const std::string& program, const std::string& display) {
    pid_ = fork();
    if (pid_ == 0) {
      freopen("/dev/null", "w", stderr);
      execlp(program.c_str(), program.c_str(), "-display", display.c_str(), nullptr);
      _exit(127);
    }
  }
  ~Beside() {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }

 private:
  pid_t pid_ = -1;
};

// Polls `done` every 50 ms for up to 20 s.
bool WaitFor(const std::function<bool()>& done) {
  for (int i = 0; i < 400; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return done();
}

// The step as a person at a kiosk panel works it, with and without a window
// manager, and nothing handing the window the keyboard: keys open the copy,
// Shift+Tab reaches the Capper's speed factor (the copy's "1.5" is "1"), "2"
// is typed over it, and a click on OK commits. The files are the script's, with
// SpeedFactor=2.
struct Desk {
  const char* name;
  const char* windowManager;  // nullptr: none
  const char* screenshot;
};
const Desk kDesks[] = {{"no window manager", nullptr, "window-screenshot.png"},
                       {"matchbox", "matchbox-window-manager", "window-screenshot-matchbox.png"}};

TEST(RealDisplay, KeysAndAClickLeaveWhatTheScriptLeavesWithAndWithoutAWindowManager) {
  if (!OnPath("Xvfb")) GTEST_SKIP() << "Xvfb is not installed (tools/deps.sh installs it)";
  ASSERT_TRUE(OnPath("xdotool")) << "xdotool is missing: tools/deps.sh installs it";
  DemoTree script;
  testsupport::Installation scripted(script.tree);
  const auto expected =
      scripted.Run(kCommandLine,
                   "focus ComboSupplier\nfocus CommandQuest\nfocus CommandCancel\nfocus ListSAR\n"
                   "focus DirSAR\nclick DirSAR\nclick DirSAR\ndir C:\\SaveRestore\nclick DirSAR\n"
                   "click DirSAR\ndir C:\\SaveRestore\\Copy_2025_Line1\nfocus DriveSAR\n"
                   "focus TextSpeedFactor(3)\nfocus TextSpeedFactor(2)\ntype TextSpeedFactor(2) 2\n"
                   "click CommandOK\n",
                   {kFirstEnvironmentEntry});
  ASSERT_EQ(expected.status, 0) << expected.transcript << expected.errors;
  const auto wanted = Files(script.tree.root());
  ASSERT_NE(wanted.at("Korvex/parameter/Program.ini").find("SpeedFactor=2\r\n"), std::string::npos);

  for (const Desk& desk : kDesks) {
    SCOPED_TRACE(desk.name);
    if (desk.windowManager != nullptr && !OnPath(desk.windowManager)) {
      ADD_FAILURE() << desk.windowManager << " is missing: tools/deps.sh installs it";
      continue;
    }
    DemoTree person;
    XServer x(person.tree.root() / ".screen");
    if (!x.Running()) GTEST_SKIP() << "the X server (Xvfb) cannot start here";
    auto xdotool = [&](std::vector<std::string> args) {
      args.insert(args.begin(), "xdotool");
      return Output(args, x.Display());
    };
    std::optional<Beside> manager;
    if (desk.windowManager != nullptr) {
      manager.emplace(desk.windowManager, x.Display());
      ASSERT_TRUE(WaitFor([&] { return !xdotool({"search", "--name", "matchbox"}).empty(); }));
    }

    testsupport::Installation korvex(person.tree);
    const fs::path runtime = person.tree.root() / ".runtime";
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    testsupport::StartOptions options;
    options.withoutScript = true;
    options.environment = {kFirstEnvironmentEntry, "DISPLAY=" + x.Display(),
                           "XDG_RUNTIME_DIR=" + runtime.string(),
                           "HOME=" + person.tree.root().string()};
    const pid_t step = korvex.Start(kCommandLine, "", options);

    // The window shows and takes the keyboard by itself.
    std::string window;
    ASSERT_TRUE(WaitFor([&] {
      window = xdotool({"search", "--onlyvisible", "--pid", std::to_string(step)});
      window = window.substr(0, window.find('\n'));
      return !window.empty() && xdotool({"getwindowfocus"}).substr(0, window.size()) == window;
    })) << "the window did not show with the keyboard's focus";
    xdotool({"key", "--delay", "40", "shift+Tab", "shift+Tab", "shift+Tab", "shift+Tab", "Down",
             "Down", "Return", "Down", "Down", "Return", "shift+Tab", "shift+Tab", "shift+Tab",
             "2"});
    // The screen once it has settled (two looks alike), for a person to look at.
    QImage shot;
    WaitFor([&] {
      const QImage now = x.Screenshot(QRect(0, 0, 1024, 768));
      const bool settled = !now.isNull() && now == shot;
      shot = now;
      return settled;
    });
    if (!shot.isNull()) shot.save(QString(WINDOW_SHOT_DIR "/") + desk.screenshot);
    // OK at its place in the layout, which a window manager's larger window centres.
    const std::string size = xdotool({"getwindowgeometry", "--shell", window});
    const int dx = (std::atoi(size.c_str() + size.find("WIDTH=") + 6) - 792) / 2;
    const int dy = (std::atoi(size.c_str() + size.find("HEIGHT=") + 7) - 573) / 2;
    xdotool({"mousemove", "--window", window, std::to_string(616 + dx), std::to_string(542 + dy),
             "click", "1"});

    int raw = 0;
    if (!WaitFor([&] { return waitpid(step, &raw, WNOHANG) == step; })) {
      kill(step, SIGKILL);
      waitpid(step, &raw, 0);
      ADD_FAILURE() << "the step did not end after OK";
      continue;
    }
    const auto left = Files(person.tree.root());
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 0);
    EXPECT_NO_FATAL_FAILURE(testsupport::ExpectSameFiles(left, wanted));
  }
}

// Small screens: the seven-inch panel, 800 x 480, at 96, 120 and 144 dpi
// without a window manager and at 96 under matchbox, and 1024 x 768 at 144 dpi,
// where the window, half as large again by the dpi, takes the largest scale
// that fits: the window, its frame and the open dialog (Alt+A, at 144 dpi) lie
// within the screen.
TEST(RealDisplay, TheWindowAndTheOpenDialogLieWithinSmallScreens) {
  if (!OnPath("Xvfb") || !OnPath("xdotool")) GTEST_SKIP() << "needs Xvfb and xdotool";
  const struct {
    const char* screen;
    const char* dpi;
    const char* windowManager;
    int widerThan;  // the window's width in the screen's pixels is more
  } kPanels[] = {{"800x480", "96", nullptr, 0},
                 {"800x480", "120", nullptr, 0},
                 {"800x480", "144", nullptr, 0},
                 {"800x480", "96", "matchbox-window-manager", 0},
                 {"1024x768", "144", nullptr, 11880 / 15 * 5 / 4}};
  for (const auto& panel : kPanels) {
    SCOPED_TRACE(std::string(panel.screen) + " " + panel.dpi +
                 (panel.windowManager ? " under a window manager" : ""));
    if (panel.windowManager != nullptr && !OnPath(panel.windowManager)) {
      ADD_FAILURE() << panel.windowManager << " is missing: tools/deps.sh installs it";
      continue;
    }
    DemoTree person;
    XServer x(person.tree.root() / ".screen", std::string(panel.screen) + "x24");
    if (!x.Running()) GTEST_SKIP() << "the X server (Xvfb) cannot start here";
    const auto xdotool = [&](std::vector<std::string> args) {
      args.insert(args.begin(), "xdotool");
      return Output(args, x.Display());
    };
    std::optional<Beside> manager;
    if (panel.windowManager != nullptr) {
      manager.emplace(panel.windowManager, x.Display());
      ASSERT_TRUE(WaitFor([&] { return !xdotool({"search", "--name", "matchbox"}).empty(); }));
    }
    testsupport::Installation korvex(person.tree);
    testsupport::StartOptions options;
    options.withoutScript = true;
    options.environment = {kFirstEnvironmentEntry, "DISPLAY=" + x.Display(),
                           std::string("QT_FONT_DPI=") + panel.dpi};
    const pid_t step = korvex.Start(kCommandLine, "", options);
    const auto value = [](const std::string& shell, const std::string& key) {
      const size_t at = ("\n" + shell).find("\n" + key + "=");
      return at == std::string::npos ? -1 : std::atoi(shell.c_str() + at + key.size() + 1);
    };
    // The window (or the dialog of that name): where the pointer lands on its
    // top left corner and whether it reaches its bottom right one (the pointer
    // stays on the screen), and its frame's top left. (xdotool's own place of a
    // framed window has the frame's offset in it twice.)
    auto geometry = [&](const std::string& name, std::map<std::string, int>& g) {
      return WaitFor([&] {
        std::string w = xdotool({"search", "--onlyvisible", name.empty() ? "--pid" : "--name",
                                 name.empty() ? std::to_string(step) : name});
        if (w.empty()) return false;
        w = w.substr(0, w.find('\n'));
        const std::string shell = xdotool({"getwindowgeometry", "--shell", w});
        const int width = value(shell, "WIDTH"), height = value(shell, "HEIGHT");
        if (width <= 0) return false;
        const std::string corner =
            xdotool({"mousemove", "--window", w, "0", "0", "getmouselocation", "--shell"});
        const std::string far =
            xdotool({"mousemove", "--window", w, std::to_string(width - 1),
                     std::to_string(height - 1), "getmouselocation", "--shell"});
        g["width"] = width;
        g["height"] = height;
        g["X"] = value(corner, "X");
        g["Y"] = value(corner, "Y");
        g["reached"] =
            value(far, "X") == g["X"] + width - 1 && value(far, "Y") == g["Y"] + height - 1;
        g["frameX"] = 2 * g["X"] - value(shell, "X");
        g["frameY"] = 2 * g["Y"] - value(shell, "Y");
        return true;
      });
    };
    std::map<std::string, int> window, dialog;
    EXPECT_TRUE(geometry("", window)) << "no window appeared";
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // framed and fitted
    geometry("", window);
    xdotool({"mousemove", "0", "0"});  // the pointer off the window, out of the screenshot
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    // The layout in the window's middle, the window's own colour beside it
    // (never unpainted screen): as far from its left edge as from its right.
    const QImage shot =
        x.Screenshot(QRect(window["X"], window["Y"], window["width"], window["height"]));
    ASSERT_FALSE(shot.isNull());
    const QRgb beside = shot.pixel(1, 1);
    int left = shot.width(), right = shot.width();
    for (int py = 0; py < shot.height(); ++py)
      for (int px = 0; px < shot.width(); ++px)
        if (shot.pixel(px, py) != beside) {
          left = std::min(left, px);
          right = std::min(right, shot.width() - 1 - px);
        }
    EXPECT_TRUE(qGray(beside) != 0 && shot.pixel(shot.width() - 2, 1) == beside)
        << "unpainted beside the layout";
    EXPECT_NEAR(left, right, 6) << "the layout is off the window's middle";
    EXPECT_GT(window["width"], panel.widerThan);
    for (auto* g : {&window, &dialog}) {
      if (g == &dialog) {
        if (std::string(panel.dpi) != "144") break;
        xdotool({"key", "alt+a"});
        EXPECT_TRUE(geometry("Alarmdefinition", dialog)) << "no open dialog appeared";
      }
      EXPECT_GE((*g)["frameX"], 0);
      EXPECT_GE((*g)["frameY"], 0);
      EXPECT_TRUE((*g)["reached"]) << "the bottom right corner is off the screen";
    }
    kill(step, SIGKILL);
    waitpid(step, nullptr, 0);
  }
}

// Qt's VNC server on a port that is taken (here on the loopback interface):
// one line, status 1, every file as it was.
TEST(FrontEndChoice, AVncPortInUseEndsTheStartWithStatus1AndNothingWritten) {
  const int taken = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(taken, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(taken, 1), 0);
  getsockname(taken, reinterpret_cast<sockaddr*>(&address), &length);
  DemoTree demo;
  testsupport::Installation korvex(demo.tree);
  const fs::path runtime = demo.tree.root() / ".runtime";
  fs::create_directories(runtime);
  fs::permissions(runtime, fs::perms::owner_all);
  const auto before = Files(demo.tree.root());
  testsupport::StartOptions options;
  options.withoutScript = true;
  options.environment = {
      "KORVEX_FRONTEND=window", "XDG_RUNTIME_DIR=" + runtime.string(),
      "QT_QPA_PLATFORM=vnc:size=800x480:port=" + std::to_string(ntohs(address.sin_port))};
  const auto run = korvex.Finish(korvex.Start(kCommandLine, "", options));
  close(taken);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;
  EXPECT_NE(run.errors.find("\"vnc\""), std::string::npos) << run.errors;
  EXPECT_EQ(Files(demo.tree.root()), before);
}

// A display that answers but is no X server (a forwarded port whose server
// hangs up): the window chosen for it cannot open, says so, and the step starts
// again as the terminal window, which with no terminal says so too; nothing
// written.
TEST(FrontEndChoice, AnAutomaticWindowThatCannotOpenHandsOverToTheTerminal) {
  const int server = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int display = 40;
  for (; display < 100; ++display) {
    address.sin_port = htons(6000 + display);
    if (bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) break;
  }
  ASSERT_EQ(listen(server, 4), 0);
  std::thread hangUp([server] {
    for (int c; (c = accept(server, nullptr, nullptr)) >= 0;) close(c);
  });
  DemoTree demo;
  testsupport::Installation korvex(demo.tree);
  const auto before = Files(demo.tree.root());
  testsupport::StartOptions options;
  options.withoutScript = true;
  options.environment = {"DISPLAY=127.0.0.1:" + std::to_string(display)};
  const auto run = korvex.Finish(korvex.Start(kCommandLine, "", options));
  shutdown(server, SHUT_RDWR);
  close(server);
  hangUp.join();
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.errors.find("the window opens on the terminal instead\n"), std::string::npos)
      << run.errors;
  EXPECT_NE(run.errors.find("terminal"), run.errors.rfind("terminal")) << run.errors;
  EXPECT_EQ(Files(demo.tree.root()), before);
}
}  // namespace

namespace {

// Without a display that can be reached a forced desktop window is refused, as is a front end that
// does not exist; nothing is written either way.
TEST(FrontEndChoice, AForcedWindowWithoutAReachableDisplayAndAnUnknownFrontEndEndWithStatus1) {
  DemoTree demo;
  testsupport::Installation korvex(demo.tree);
  const auto before = Files(demo.tree.root());
  testsupport::StartOptions options;
  options.withoutScript = true;
  // The second: a forwarded display whose session has gone (nothing listens there).
  for (const char* chosen : {"window", "window DISPLAY=127.0.0.1:59.0", "desktop"}) {
    const std::string choice = chosen;
    options.environment = {"KORVEX_FRONTEND=" + choice.substr(0, choice.find(' '))};
    if (choice.find(' ') != std::string::npos)
      options.environment.push_back(choice.substr(choice.find(' ') + 1));
    const auto run = korvex.Finish(korvex.Start(kCommandLine, "", options));
    EXPECT_EQ(run.status, 1) << chosen;
    EXPECT_NE(run.errors.find("KORVEX_FRONTEND"), std::string::npos) << run.errors;
    EXPECT_EQ(run.transcript, "");
  }
  EXPECT_EQ(Files(demo.tree.root()), before);
}

}  // namespace

namespace {

// Qt's offscreen or minimal platform, inherited at a terminal, would show the
// window to nobody: the window opens on the terminal instead.
TEST(FrontEndChoice, AnInheritedOffscreenOrMinimalPlatformAtATerminalOpensTheTerminalWindow) {
  for (const char* platform : {"offscreen", "minimal"}) {
    SCOPED_TRACE(platform);
    DemoTree demo;
    tmuxsupport::Setup setup;
    setup.environment = {"TERM", std::string("QT_QPA_PLATFORM=") + platform};
    tmuxsupport::Terminal t(demo.tree, 100, 38, setup);
    EXPECT_TRUE(t.WaitFor("Pfad Save and Restore")) << t.Screen();
  }
}

}  // namespace
