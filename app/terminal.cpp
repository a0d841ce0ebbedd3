#include "app/terminal.h"

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

#include "platform/termination.h"

namespace tui {
namespace {

// Alternate screen with the cursor saved, cursor hidden, keypad in normal
// mode, mouse clicks reported in SGR form.
constexpr char kEnterSequence[] = "\x1b[?1049h\x1b[?25l\x1b[?1000h\x1b[?1006h";
// The reverse, with the attributes reset.
constexpr char kLeaveSequence[] = "\x1b[?1006l\x1b[?1000l\x1b[0m\x1b[?25h\x1b[?1049l";

int inputFd = STDIN_FILENO;
int outputFd = STDOUT_FILENO;
termios savedMode;
std::atomic<bool> entered{false};
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
  struct sigaction resize {};
  resize.sa_handler = OnResize;
  sigemptyset(&resize.sa_mask);
  resize.sa_flags = SA_RESTART;
  sigaction(SIGWINCH, &resize, nullptr);

  struct sigaction fatal {};
  fatal.sa_handler = OnFatalSignal;
  sigemptyset(&fatal.sa_mask);
  fatal.sa_flags = SA_RESETHAND;
  // SIGINT, SIGTERM and SIGHUP are requests to end (platform/termination.h):
  // the window leaves the step with its cancel mark and restores the terminal.
  for (int sig : {SIGQUIT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
    sigaction(sig, &fatal, nullptr);
  signal(SIGPIPE, SIG_IGN);
  std::set_terminate(OnTerminate);
  std::atexit(RestoreTerminal);
}

}  // namespace

bool TerminalAvailable() {
  return isatty(STDIN_FILENO) == 1;
}

std::string EnterTerminal() {
  if (!TerminalAvailable()) return "standard input is not a terminal";
  inputFd = STDIN_FILENO;
  // Draw on standard output when that is the terminal too, else on the input's terminal.
  outputFd = isatty(STDOUT_FILENO) == 1 ? STDOUT_FILENO : STDIN_FILENO;
  if (tcgetattr(inputFd, &savedMode) != 0)
    return std::string("cannot read the terminal's mode: ") + std::strerror(errno);
  if (resizePipe[0] < 0) {
    if (pipe(resizePipe) != 0) return std::string("cannot set up: ") + std::strerror(errno);
    for (int fd : resizePipe) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  }
  termios raw = savedMode;
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
  if (!entered.exchange(false)) return;
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

void WriteTerminal(std::string_view bytes) {
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
