#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QScreen>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/common/lifecycle.h"
#include "app/common/presentation.h"
#include "app/desktop/desktop.h"
#include "app/desktop/dialogs.h"
#include "app/desktop/view.h"
#include "base/termination.h"
#include "files/copy.h"
#include "files/file_cache.h"
#include "platform/msgbox.h"
#include "platform/process.h"

namespace win {
namespace {

bool ConnectsAbstract(const std::string& path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const size_t offset = 1;
  if (path.size() + offset >= sizeof address.sun_path) {
    close(fd);
    return false;
  }
  std::memcpy(address.sun_path + offset, path.data(), path.size());
  const auto length =
      static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size());
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0;
  close(fd);
  return ok;
}

// True when something accepts a connection at the host's port within a second.
bool TcpAnswers(const std::string& host, int port) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return false;
  bool answers = false;
  for (addrinfo* a = found; a != nullptr && !answers; a = a->ai_next) {
    const int fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) continue;
    if (connect(fd, a->ai_addr, a->ai_addrlen) == 0) {
      answers = true;
    } else if (errno == EINPROGRESS) {
      pollfd p{fd, POLLOUT, 0};
      int error = 0;
      socklen_t length = sizeof error;
      answers = poll(&p, 1, 1000) == 1 &&
                getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    }
    close(fd);
  }
  freeaddrinfo(found);
  return answers;
}

// An X display on this machine (":0", "unix:1.0") answers on its socket; one
// on another host (a forwarded "localhost:10.0" of a remote session, say) on
// its TCP port.
bool XDisplayReachable(const std::string& display) {
  const size_t colon = display.rfind(':');
  if (colon == std::string::npos) return false;
  const std::string host = display.substr(0, colon);
  const std::string number = display.substr(colon + 1, display.find('.', colon) - colon - 1);
  if (number.empty() || number.size() > 4 ||
      number.find_first_not_of("0123456789") != std::string::npos)
    return false;
  if (!host.empty() && host != "unix") return TcpAnswers(host, 6000 + std::stoi(number));
  // The socket file is enough: connecting to look would make an X server
  // without clients reset itself, and refuse the window's own connection
  // meanwhile. Servers that listen only in the abstract namespace are asked.
  const std::string socket = "/tmp/.X11-unix/X" + number;
  struct stat st {};
  if (stat(socket.c_str(), &st) == 0) return S_ISSOCK(st.st_mode);
  return ConnectsAbstract(socket);
}

bool WaylandUsable(const std::string& name) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string path =
      name[0] == '/' ? name : std::string(runtime != nullptr ? runtime : "") + "/" + name;
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return false;
  const QString plugins = QLibraryInfo::path(QLibraryInfo::PluginsPath);
  return access((plugins + "/platforms/libqwayland-generic.so").toLocal8Bit().constData(), R_OK) ==
         0;
}

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// Set while the window is up: a process that ends on another way (the toolkit
// ends it when the display goes away) still leaves the step without OK.
frm_Start_Config_Exe* openForm = nullptr;

void DisplayGone() {
  frm_Start_Config_Exe* form = openForm;
  if (form == nullptr) return;
  openForm = nullptr;
  app::EndWithWindowOpen(*form, "the display has gone");
}

// While the platform opens, Qt's words are held back: a platform that cannot
// open ends the start with one line that carries them, instead of Qt's abort;
// nothing has been read or written yet. Once it is open they go out as usual.
std::vector<std::string> startWords;

std::string PlatformName() {
  const QString name = QGuiApplication::platformName();
  return name.isEmpty() ? Env("QT_QPA_PLATFORM") : name.toStdString();
}

// This process's own command line again, with KORVEX_FRONTEND=terminal;
// returns only where that cannot be done.
void StartAgainOnTheTerminal() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::vector<std::string> words;
  for (std::string word; std::getline(in, word, '\0');) words.push_back(word);
  if (words.empty()) return;
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  setenv("KORVEX_FRONTEND", "terminal", 1);
  execv("/proc/self/exe", argv.data());
}

[[noreturn]] void CannotOpen(const std::string& why) {
  std::string words;
  for (const std::string& w : startWords) words += (words.empty() ? "" : "; ") + w;
  const bool forced = Env("KORVEX_FRONTEND") == "window";
  std::cerr << "Start_Config: the window cannot be shown on the platform \"" << PlatformName()
            << "\" (" << (words.empty() ? why : words) << "); "
            << (forced ? "KORVEX_FRONTEND=terminal opens the window on the terminal instead\n"
                       : "the window opens on the terminal instead\n");
  std::cerr.flush();
  // Chosen for the display at hand, the step starts again as the terminal
  // window: nothing has been read or written, and the platform's half-open state
  // cannot be left behind in this process.
  if (!forced) StartAgainOnTheTerminal();
  _exit(kExitOther);
}

void WatchTheStart(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtDebugMsg) return;
  startWords.push_back(message.simplified().toStdString());
  if (type == QtFatalMsg) CannotOpen("");
}

// The platform is open when it has a screen to show the window on; Qt's VNC
// server that cannot listen only warns, yet nobody could see the window.
std::string OpenProblem() {
  if (QGuiApplication::primaryScreen() == nullptr) return "it has no screen";
  for (const std::string& w : startWords)
    if (w.find("QVncServer could not connect") != std::string::npos) return w;
  return "";
}

void WatchForLostDisplay(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type != QtDebugMsg) std::cerr << message.toLocal8Bit().constData() << "\n";
  if (openForm != nullptr && message.contains("connection broke")) DisplayGone();
}

}  // namespace

std::string DisplayProblem(bool forced) {
  const std::string platform = Env("QT_QPA_PLATFORM");
  const std::string kind = platform.substr(0, platform.find(':'));
  const bool wantsWayland = kind.rfind("wayland", 0) == 0;
  if (forced && !kind.empty() && kind != "xcb" && !wantsWayland) return "";
  const std::string x = Env("DISPLAY"), wayland = Env("WAYLAND_DISPLAY");
  if (x.empty() && wayland.empty()) return "no display is set (DISPLAY or WAYLAND_DISPLAY)";
  if (!wantsWayland && !x.empty() && XDisplayReachable(x)) {
    // An inherited platform of another kind would show the window elsewhere.
    if (kind != "xcb") setenv("QT_QPA_PLATFORM", "xcb", 1);
    return "";
  }
  if (kind != "xcb" && !wayland.empty() && WaylandUsable(wayland)) {
    if (!wantsWayland) setenv("QT_QPA_PLATFORM", "wayland", 1);
    return "";
  }
  return x.empty() || wantsWayland ? "the Wayland display " + wayland + " cannot be used"
                                   : "the display " + x + " cannot be reached";
}

int RunWindow() {
  static int argc = 1;
  static char name[] = "Start_Config";
  static char* argv[] = {name, nullptr};
  qInstallMessageHandler(WatchTheStart);
  QApplication application(argc, argv);
  // What the platform put off to its first events (Qt's VNC server listens
  // only then) happens now, so that a port in use ends the start here.
  QCoreApplication::sendPostedEvents();
  if (const std::string problem = OpenProblem(); !problem.empty()) CannotOpen(problem);
  qInstallMessageHandler(WatchForLostDisplay);
  for (const std::string& w : startWords) std::cerr << w << "\n";
  UseClassicLook(application);
  SpeakTheHostLanguage(QLocale::system());

  auto form = std::make_unique<frm_Start_Config_Exe>();
  WindowView view(*form);
  bool starting = true;
  platform::SetMessageBoxHandler([&view](const platform::MessageBox& box) {
    // A box ends the copy it may report on: its panel goes.
    view.ShowCopyProgress("", 0, 0);
    return RunMessageBox(view.isVisible() ? &view : nullptr, box);
  });
  form->window.onFileDialog = [&view](const ui::FileDialogRequest& request) {
    return RunFileDialog(&view, request);
  };
  // The hourglass and each pass of pending events show at once; the user's
  // input waits until the handler is done.
  form->window.onFrontEndNote = [&view](const std::string&) {
    view.Refresh();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  };
  platform::SetCopyProgress([&view](std::string_view destination, uint64_t copied, uint64_t size) {
    view.ShowCopyProgress(std::string(destination), copied, size);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  });

  // A request to end the process: acted on at once while the window waits;
  // while a handler runs, its box is closed and the step raises the request at
  // its next safe point.
  QSocketNotifier endRequests(platform::EndRequestDescriptor(), QSocketNotifier::Read);
  QObject::connect(&endRequests, &QSocketNotifier::activated, [&] {
    endRequests.setEnabled(false);
    if (starting || view.Busy()) {
      CloseOpenBoxes();
      return;
    }
    const int signal = platform::PendingEndRequest();
    if (signal == 0) return;
    openForm = nullptr;
    app::EndOnRequest(*form, signal);
  });

  app::ClaimOrEnd();
  // Boxes of the start-up show on their own, before the window.
  app::UntilEndRequest(*form, nullptr, [&] { form->Form_Load(); });
  starting = false;
  openForm = form.get();
  std::atexit(DisplayGone);
  platform::SetProcessEndNote([](int) { openForm = nullptr; });
  view.Refresh();
  // Centred on the screen, and active: without a window manager nothing else
  // gives the window the keyboard.
  if (const QScreen* screen = view.screen()) {
    const QRect room = screen->availableGeometry();
    view.move(room.left() + std::max(0, (room.width() - view.width()) / 2),
              room.top() + std::max(0, (room.height() - view.height()) / 2));
  }
  view.show();
  view.raise();
  view.activateWindow();
  // As the window appears, the first control in the Tab order gets the focus.
  if (ui::Control* first = app::NextInTabOrder(form->window, nullptr, 1))
    view.Act(app::Verb::Focus, first);
  platform::SyncWrittenFiles();
  application.exec();
  openForm = nullptr;
  app::EndWithWindowOpen(*form, "");
}

}  // namespace win
