#include "app/terminal/terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <iterator>
#include <vector>

#include "app/terminal/charset.h"
#include "platform/termination.h"

namespace tui {
namespace {

// Alternate screen with the cursor saved, cursor hidden, keypad in normal
// mode, mouse clicks reported in SGR form.
constexpr char kEnterSequence[] = "\x1b[?1049h\x1b[?25l\x1b[?1000h\x1b[?1006h";
// The reverse; the character sets (G0 ASCII, shifted in) and the attributes
// are reset after the main screen is back, so that whatever another program
// left set does not garble the shell. CAN first ends an escape sequence cut
// short by a signal.
constexpr char kLeaveSequence[] =
    "\x18\x1b[?1006l\x1b[?1000l\x1b[0m\x1b[?25h\x1b[?1049l\x0f\x1b(B\x1b[0m";

int inputFd = STDIN_FILENO;
int outputFd = STDOUT_FILENO;
termios savedMode;
termios rawMode;
std::atomic<bool> entered{false};
// Stopped by job control, or continued in the background: the terminal is the
// shell's until the step is in the foreground again.
std::atomic<bool> suspended{false};
std::atomic<bool> repaint{false};
bool jobControl = false;
int resizePipe[2] = {-1, -1};

void WriteAll(int fd, const char* bytes, size_t length) {
  while (length > 0) {
    const ssize_t n = write(fd, bytes, length);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) {
        pollfd p{fd, POLLOUT, 0};
        poll(&p, 1, 100);
        continue;
      }
      return;
    }
    bytes += n;
    length -= static_cast<size_t>(n);
  }
}

void OnResize(int) {
  const int saved = errno;
  const char byte = 'r';
  if (resizePipe[1] >= 0) (void)!write(resizePipe[1], &byte, 1);
  errno = saved;
}

void Wake() {
  const char byte = 'c';
  if (resizePipe[1] >= 0) (void)!write(resizePipe[1], &byte, 1);
}

// Takes the terminal back after a stop, unless the step was continued in the
// background: then the next SIGCONT (from fg) does it.
void Resume() {
  if (!entered.load() || tcgetpgrp(inputFd) != getpgrp()) return;
  suspended = false;
  tcsetattr(inputFd, TCSADRAIN, &rawMode);
  WriteAll(outputFd, kEnterSequence, sizeof kEnterSequence - 1);
  repaint = true;
  Wake();
}

void OnContinue(int) {
  const int saved = errno;
  // Also after a SIGSTOP, which nobody sees coming: the shell may have set
  // its own modes meanwhile.
  Resume();
  errno = saved;
}

void InstallStopHandler();

// As a full-screen program does on a stop: the shell gets its screen and modes
// back, then the process stops; going on, the window takes the terminal again.
void LeaveForStop() {
  // Once the shell has taken the terminal back it has set its own modes.
  if (!entered.load() || tcgetpgrp(inputFd) != getpgrp() || suspended.exchange(true)) return;
  WriteAll(outputFd, kLeaveSequence, sizeof kLeaveSequence - 1);
  tcsetattr(inputFd, TCSADRAIN, &savedMode);
}

void OnStop(int) {
  const int saved = errno;
  LeaveForStop();
  signal(SIGTSTP, SIG_DFL);
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTSTP);
  sigprocmask(SIG_UNBLOCK, &stop, nullptr);
  raise(SIGTSTP);
  // Continued (or never stopped: an orphaned process group is not stopped).
  InstallStopHandler();
  if (suspended.load()) Resume();
  errno = saved;
}

void Handle(int sig, void (*handler)(int), int flags) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = flags;
  sigaction(sig, &action, nullptr);
}

void InstallStopHandler() {
  Handle(SIGTSTP, OnStop, SA_RESTART);
}

// A signal that ends the process: the terminal is put back first, then the
// signal does what it would have done.
void OnFatalSignal(int sig) {
  RestoreTerminal();
  signal(sig, SIG_DFL);
  raise(sig);
}

void OnTerminate() {
  RestoreTerminal();
  std::abort();
}

void InstallHandlers() {
  Handle(SIGWINCH, OnResize, SA_RESTART);

  // Job control only where a shell offers it: SIGTSTP not ignored, and the step
  // in a process group of its own (a job) rather than the session's, whose stop
  // nobody would ever continue.
  struct sigaction before {};
  sigaction(SIGTSTP, nullptr, &before);
  jobControl = before.sa_handler != SIG_IGN && getpgrp() != getsid(0);
  if (before.sa_handler != SIG_IGN) InstallStopHandler();
  Handle(SIGCONT, OnContinue, SA_RESTART);
  // SIGINT, SIGTERM and SIGHUP are requests to end (platform/termination.h):
  // the window leaves the step with its cancel mark and restores the terminal.
  for (int sig : {SIGQUIT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
    Handle(sig, OnFatalSignal, SA_RESETHAND);
  signal(SIGPIPE, SIG_IGN);
  std::set_terminate(OnTerminate);
  std::atexit(RestoreTerminal);
}

// Terminal families that place the cursor with the ANSI sequences the window uses.
bool KnownFamily(const std::string& term) {
  if (XtermLikeFamily(term) || term == "cygwin" || term == "ansi") return true;
  return term.rfind("vt", 0) == 0 && term.size() >= 5 &&
         (term[2] == '1' || term[2] == '2');  // vt100..vt2xx
}

// Whether a compiled terminfo entry places the cursor the way the window does
// (its string capability cup, the eleventh, is an ANSI sequence).
bool EntryAddressesCursor(const std::string& entry) {
  auto u16 = [&](size_t at) {
    return static_cast<size_t>(static_cast<unsigned char>(entry[at])) |
           static_cast<size_t>(static_cast<unsigned char>(entry[at + 1])) << 8;
  };
  if (entry.size() < 12) return false;
  const size_t magic = u16(0);
  if (magic != 0432 && magic != 01036) return false;
  const size_t numberSize = magic == 01036 ? 4 : 2;
  const size_t names = u16(2), flags = u16(4), numbers = u16(6), strings = u16(8);
  constexpr size_t kCup = 10;
  size_t offsets = 12 + names + flags;
  offsets += offsets % 2;  // the numbers start at an even offset
  offsets += numbers * numberSize;
  if (strings <= kCup || offsets + 2 * strings > entry.size()) return false;
  const size_t cup = u16(offsets + 2 * kCup);  // 0xFFFF absent, 0xFFFE cancelled
  const size_t at = offsets + 2 * strings + cup;
  if (cup >= 0xFFFE || at + 2 > entry.size()) return false;
  return entry.compare(at, 2, "\x1b[") == 0 || static_cast<unsigned char>(entry[at]) == 0x9b;
}

// The terminfo entry of the name, from the folders ncurses searches; empty when none.
std::string TerminfoEntry(const std::string& term) {
  std::vector<std::string> folders;
  auto variable = [](const char* name) {
    const char* value = std::getenv(name);
    return std::string(value != nullptr ? value : "");
  };
  if (!variable("TERMINFO").empty()) folders.push_back(variable("TERMINFO"));
  if (!variable("HOME").empty()) folders.push_back(variable("HOME") + "/.terminfo");
  const std::string dirs = variable("TERMINFO_DIRS");
  for (size_t from = 0; !dirs.empty() && from <= dirs.size();) {
    const size_t colon = std::min(dirs.find(':', from), dirs.size());
    const std::string folder = dirs.substr(from, colon - from);
    folders.push_back(folder.empty() ? "/usr/share/terminfo" : folder);
    from = colon + 1;
  }
  for (const char* folder : {"/etc/terminfo", "/lib/terminfo", "/usr/share/terminfo"})
    folders.push_back(folder);
  static const char kHex[] = "0123456789abcdef";
  const unsigned char first = static_cast<unsigned char>(term[0]);
  for (const std::string& folder : folders) {
    for (const std::string& sub :
         {std::string(1, term[0]), std::string{kHex[first >> 4], kHex[first & 15]}}) {
      std::ifstream file(folder + "/" + sub + "/" + term, std::ios::binary);
      if (file) return std::string(std::istreambuf_iterator<char>(file), {});
    }
  }
  return "";
}

}  // namespace

std::string TerminalProblem(const char* term) {
  const std::string name = term != nullptr ? term : "";
  std::string shown;
  for (char c : name) shown += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? '?' : c;
  const std::string advice =
      "; set KORVEX_SCRIPT to a script of actions (or - for standard input) to operate the step "
      "without it, or use a terminal such as xterm";
  if (name.empty()) return "the terminal (TERM is not set) cannot show the window" + advice;
  if (name == "dumb" || name.rfind("dumb-", 0) == 0)
    return "the terminal (TERM=" + shown + ") cannot show the window: it cannot place the cursor" +
           advice;
  if (KnownFamily(name)) return "";
  const std::string entry =
      name.find('/') == std::string::npos && name[0] != '.' ? TerminfoEntry(name) : std::string();
  if (entry.empty())
    return "the terminal (TERM=" + shown +
           ") cannot show the window: no description of it is installed" + advice;
  if (!EntryAddressesCursor(entry))
    return "the terminal (TERM=" + shown +
           ") cannot show the window: it does not place the cursor with ANSI sequences" + advice;
  return "";
}

bool TerminalAvailable() {
  return isatty(STDIN_FILENO) == 1;
}

std::string EnterTerminal() {
  if (!TerminalAvailable()) return "standard input is not a terminal";
  const std::string problem = TerminalProblem(std::getenv("TERM"));
  if (!problem.empty()) return problem;
  SetTerminalCharset(DetectCharset());
  inputFd = STDIN_FILENO;
  // Draw on standard output when that is the terminal too, else on the input's terminal.
  outputFd = isatty(STDOUT_FILENO) == 1 ? STDOUT_FILENO : STDIN_FILENO;
  if (tcgetattr(inputFd, &savedMode) != 0)
    return std::string("cannot read the terminal's mode: ") + std::strerror(errno);
  if (resizePipe[0] < 0) {
    if (pipe(resizePipe) != 0) return std::string("cannot set up: ") + std::strerror(errno);
    for (int fd : resizePipe) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  }
  termios& raw = rawMode;
  raw = savedMode;
  // No echo, no line editing, no signals from keys (Ctrl-C arrives as a key),
  // no translation of CR, 8-bit clean.
  raw.c_iflag &= ~static_cast<tcflag_t>(BRKINT | ICRNL | INPCK | ISTRIP | IXON);
  raw.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  raw.c_cflag |= CS8;
  raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON | IEXTEN | ISIG);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  InstallHandlers();
  entered = true;
  if (tcsetattr(inputFd, TCSAFLUSH, &raw) != 0) {
    entered = false;
    return std::string("cannot switch the terminal to raw input: ") + std::strerror(errno);
  }
  WriteAll(outputFd, kEnterSequence, sizeof kEnterSequence - 1);
  return "";
}

void RestoreTerminal() {
  if (!entered.exchange(false) || suspended.load()) return;
  WriteAll(outputFd, kLeaveSequence, sizeof kLeaveSequence - 1);
  tcsetattr(inputFd, TCSAFLUSH, &savedMode);
}

TerminalSize GetTerminalSize() {
  winsize ws{};
  if (ioctl(outputFd, TIOCGWINSZ, &ws) != 0 || ws.ws_col == 0) {
    if (ioctl(inputFd, TIOCGWINSZ, &ws) != 0 || ws.ws_col == 0) return {80, 24};
  }
  return {ws.ws_col, ws.ws_row};
}

bool Suspend() {
  if (!jobControl) return false;
  // The terminal is given back before anything stops: the shell takes it as
  // soon as it sees its job stopped.
  LeaveForStop();
  // The whole job stops, as with Ctrl-Z in line mode: a script that started
  // the step waits for it.
  kill(0, SIGTSTP);
  return true;
}

bool RepaintNeeded() {
  return repaint.exchange(false);
}

void WriteTerminal(std::string_view bytes) {
  // Nothing is drawn over the shell while the step is stopped or in the background.
  if (suspended.load()) {
    repaint = true;
    return;
  }
  WriteAll(outputFd, bytes.data(), bytes.size());
}

std::string ReadTerminal(int timeoutMs, bool& resized, bool& closed) {
  resized = false;
  closed = false;
  // A request to end the process wakes the wait; the caller acts on it.
  pollfd fds[3] = {{inputFd, POLLIN, 0},
                   {resizePipe[0], POLLIN, 0},
                   {platform::EndRequestDescriptor(), POLLIN, 0}};
  int n;
  do {
    if (platform::PendingEndRequest() != 0) return {};
    n = poll(fds, 3, timeoutMs);
  } while (n < 0 && errno == EINTR);
  if (fds[2].revents != 0) return {};
  std::string bytes;
  if (n <= 0) return bytes;
  if ((fds[1].revents & POLLIN) != 0) {
    char drain[64];
    while (read(resizePipe[0], drain, sizeof drain) > 0) {
    }
    resized = true;
  }
  if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
    char buffer[4096];
    const ssize_t got = read(inputFd, buffer, sizeof buffer);
    if (got > 0)
      bytes.assign(buffer, static_cast<size_t>(got));
    else if (got == 0 || (errno != EINTR && errno != EAGAIN))
      closed = true;
  }
  return bytes;
}

}  // namespace tui
