// The built executable as a desktop window on a real X server (Xvfb), driven
// with xdotool as a person with mouse and keyboard would: the files it leaves
// are the files the same actions leave as a script. A screenshot of the window
// is left in the build folder for a person to look at.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <map>
#include <thread>

#include "tests/e2e_support.h"

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
  explicit XServer(const fs::path& screenFolder) : folder_(screenFolder) {
    fs::create_directories(folder_);
    for (int n = 90 + getpid() % 50; n < 200 && pid_ < 0; ++n) {
      const std::string number = std::to_string(n);
      if (fs::exists("/tmp/.X11-unix/X" + number) || fs::exists("/tmp/.X" + number + "-lock"))
        continue;
      const pid_t pid = fork();
      if (pid == 0) {
        freopen("/dev/null", "w", stderr);
        execlp("Xvfb", "Xvfb", (":" + number).c_str(), "-screen", "0", "1024x768x24", "-fbdir",
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

TEST(RealDisplay, TakeoverSpeedFactorAndOkByMouseAndKeysLeaveWhatTheScriptLeaves) {
  if (!OnPath("Xvfb")) GTEST_SKIP() << "Xvfb is not installed (tools/deps.sh installs it)";
  ASSERT_TRUE(OnPath("xdotool")) << "xdotool is missing: tools/deps.sh installs it";
  DemoTree person;
  XServer x(person.tree.root() / ".screen");
  if (!x.Running()) GTEST_SKIP() << "the X server (Xvfb) cannot start here";

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

  // The window, once it shows.
  std::string window;
  for (int i = 0; i < 400 && window.empty(); ++i) {
    window =
        Output({"xdotool", "search", "--onlyvisible", "--pid", std::to_string(step)}, x.Display());
    window = window.substr(0, window.find('\n'));
    if (window.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_FALSE(window.empty()) << "no window appeared";
  auto xdotool = [&](std::vector<std::string> args) {
    args.insert(args.begin(), "xdotool");
    Output(args, x.Display());
  };
  xdotool({"windowfocus", "--sync", window});
  // Keys: back from the supplier list to the folder list, then open
  // C:\SaveRestore and the matching copy in it.
  xdotool({"key", "--delay", "40", "shift+Tab", "shift+Tab", "shift+Tab", "shift+Tab", "Down",
           "Down", "Return", "Down", "Down", "Return"});
  // Mouse: the second machine's speed factor, typed over, then OK. Places from
  // the layout's twips at 15 a pixel.
  xdotool({"mousemove", "--window", window, "158", "388", "click", "1"});
  xdotool({"key", "--delay", "40", "ctrl+a", "5"});
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  const QImage shot = x.Screenshot(QRect(0, 0, 11880 / 15, 8595 / 15));
  if (!shot.isNull()) shot.save(WINDOW_SHOT_DIR "/window-screenshot.png");
  xdotool({"mousemove", "--window", window, "616", "542", "click", "1"});

  int raw = 0;
  for (int i = 0; i < 600 && waitpid(step, &raw, WNOHANG) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  if (waitpid(step, &raw, WNOHANG) == 0) {
    kill(step, SIGKILL);
    FAIL() << "the step did not end after OK";
  }
  const auto run = korvex.Finish(step);
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_FALSE(shot.isNull());

  DemoTree script;
  testsupport::Installation scripted(script.tree);
  const auto expected = scripted.Run(kCommandLine,
                                     "focus ComboSupplier\n"
                                     "focus CommandQuest\nfocus CommandCancel\nfocus ListSAR\n"
                                     "focus DirSAR\nclick DirSAR\nclick DirSAR\n"
                                     "dir C:\\SaveRestore\nclick DirSAR\nclick DirSAR\n"
                                     "dir C:\\SaveRestore\\Copy_2025_Line1\n"
                                     "focus TextSpeedFactor(2)\nclick TextSpeedFactor(2)\n"
                                     "text TextSpeedFactor(2) 5\nclick CommandOK\n",
                                     {kFirstEnvironmentEntry});
  ASSERT_EQ(expected.status, 0) << expected.transcript << expected.errors;
  const auto left = Files(person.tree.root());
  ASSERT_NO_FATAL_FAILURE(testsupport::ExpectSameFiles(left, Files(script.tree.root())));
  EXPECT_NE(left.at("Korvex/parameter/Program.ini").find("SpeedFactor=5\r\n"), std::string::npos);
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
