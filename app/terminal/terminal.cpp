#include "app/terminal/terminal.h"

#include <curses.h>
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <term.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "base/termination.h"

namespace tui {
namespace {

SCREEN* screen = nullptr;
FILE* output = nullptr;
bool entered = false;
bool jobControl = false;
ColourDepth depth = ColourDepth::None;
// The terminal draws its line set in UTF-8 (terminfo's U8: the Linux console,
// screen, tmux, putty): curses would send the lines as Unicode anyway, so they
// go as text, without the line-drawing attribute switched on and off around
// every border.
bool linesInUtf8 = false;
// A terminal of xterm's kind decodes UTF-8 in a UTF-8 locale too, but its line
// set is cheaper for long runs of lines; a short run (a vertical edge) goes as
// text rather than with the set switched on and off around it.
bool shortRunsInUtf8 = false;
constexpr int kShortLineRun = 12;
int wakePipe[2] = {-1, -1};
struct sigaction cursesResize {};
std::vector<ExtendedKey> extendedKeys;

// ---------------------------------------------------------------------------
// Signals

void OnResize(int sig) {
  const int saved = errno;
  if (cursesResize.sa_handler != SIG_DFL && cursesResize.sa_handler != SIG_IGN &&
      cursesResize.sa_handler != nullptr)
    cursesResize.sa_handler(sig);  // curses notes the new size for its next read
  const char byte = 'r';
  if (wakePipe[1] >= 0) (void)!write(wakePipe[1], &byte, 1);
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
  struct sigaction action {};
  sigaction(SIGWINCH, nullptr, &cursesResize);
  action.sa_handler = OnResize;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGWINCH, &action, nullptr);
  // Job control only where a shell offers it: SIGTSTP not ignored, and the step
  // in a process group of its own (a job) rather than the session's, whose stop
  // nobody would ever continue. Curses stops and continues the window itself.
  struct sigaction stop {};
  sigaction(SIGTSTP, nullptr, &stop);
  jobControl = stop.sa_handler != SIG_IGN && getpgrp() != getsid(0);
  for (int sig : {SIGQUIT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) {
    action.sa_handler = OnFatalSignal;
    action.sa_flags = SA_RESETHAND;
    sigaction(sig, &action, nullptr);
  }
  signal(SIGPIPE, SIG_IGN);
  std::set_terminate(OnTerminate);
  std::atexit(RestoreTerminal);
}

// ---------------------------------------------------------------------------
// Keys

// The keys terminfo names beyond the standard set, as curses numbers them for
// this terminal: arrows and the like with Shift, Alt or Ctrl (kUP3 is Alt+Up),
// and the keypad's digits and signs.
std::vector<ExtendedKey> FindExtendedKeys() {
  std::vector<ExtendedKey> found;
  auto add = [&found](const std::string& name, Key key) {
    const char* sequence = tigetstr(name.c_str());
    if (sequence == nullptr || sequence == reinterpret_cast<char*>(-1)) return;
    const int code = key_defined(sequence);
    if (code > 0) found.push_back({code, key});
  };
  const std::pair<const char*, KeyCode> moves[] = {
      {"kUP", KeyCode::Up},      {"kDN", KeyCode::Down},      {"kLFT", KeyCode::Left},
      {"kRIT", KeyCode::Right},  {"kHOM", KeyCode::Home},     {"kEND", KeyCode::End},
      {"kPRV", KeyCode::PageUp}, {"kNXT", KeyCode::PageDown}, {"kDC", KeyCode::Delete}};
  for (const auto& [name, code] : moves)
    for (int modifiers = 2; modifiers <= 8; ++modifiers) {
      Key key;
      key.code = code;
      const int bits = modifiers - 1;
      key.shift = (bits & 1) != 0;
      key.alt = (bits & 2) != 0;
      key.ctrl = (bits & 4) != 0;
      add(name + std::to_string(modifiers), key);
    }
  const std::pair<const char*, const char*> keypad[] = {
      {"ka2", "8"},   {"kb1", "4"},   {"kb3", "6"},   {"kc2", "2"},
      {"kpZRO", "0"}, {"kpDOT", "."}, {"kpCMA", ","}, {"kpADD", "+"},
      {"kpSUB", "-"}, {"kpMUL", "*"}, {"kpDIV", "/"}, {"kp5", "5"}};
  for (const auto& [name, text] : keypad) {
    Key key;
    key.code = KeyCode::Char;
    key.text = text;
    add(name, key);
  }
  return found;
}

Key MouseKey(const MEVENT& event) {
  Key key;
  key.code = KeyCode::Mouse;
  key.x = event.x;
  key.y = event.y;
  const mmask_t b = event.bstate;
  key.shift = (b & BUTTON_SHIFT) != 0;
  key.ctrl = (b & BUTTON_CTRL) != 0;
  key.alt = (b & BUTTON_ALT) != 0;
  if ((b & (BUTTON1_PRESSED | BUTTON1_RELEASED)) != 0) {
    key.button = 0;
    key.press = (b & BUTTON1_PRESSED) != 0;
  } else if ((b & (BUTTON2_PRESSED | BUTTON2_RELEASED)) != 0) {
    key.button = 1;
    key.press = (b & BUTTON2_PRESSED) != 0;
  } else if ((b & (BUTTON3_PRESSED | BUTTON3_RELEASED)) != 0) {
    key.button = 2;
    key.press = (b & BUTTON3_PRESSED) != 0;
  } else if ((b & BUTTON4_PRESSED) != 0) {
    key.button = 64;
  } else if ((b & BUTTON5_PRESSED) != 0) {
    key.button = 65;
  } else {
    key.code = KeyCode::None;
  }
  return key;
}

// An SGR mouse report ("ESC [ < b ; x ; y M", m on release) on a terminal
// whose terminfo announces only the older reports, which curses then does not
// decode; the ESC and "[" have been read.
Key SgrMouse() {
  std::string report;
  wint_t ch = 0;
  while (report.size() < 24 && wget_wch(stdscr, &ch) == OK && ch != 'M' && ch != 'm')
    report += static_cast<char>(ch);
  int b = 0, x = 0, y = 0;
  Key key;
  if ((ch != 'M' && ch != 'm') || std::sscanf(report.c_str(), "<%d;%d;%d", &b, &x, &y) != 3)
    return key;
  MEVENT event{};
  event.x = x - 1;
  event.y = y - 1;
  const int button = b & 3, wheel = b & 64;
  const bool press = ch == 'M';
  if ((b & 32) != 0) return key;  // motion
  if (wheel != 0)
    event.bstate = button == 0 ? BUTTON4_PRESSED : BUTTON5_PRESSED;
  else if (button == 0)
    event.bstate = press ? BUTTON1_PRESSED : BUTTON1_RELEASED;
  else if (button == 1)
    event.bstate = press ? BUTTON2_PRESSED : BUTTON2_RELEASED;
  else if (button == 2)
    event.bstate = press ? BUTTON3_PRESSED : BUTTON3_RELEASED;
  if ((b & 4) != 0) event.bstate |= BUTTON_SHIFT;
  if ((b & 8) != 0) event.bstate |= BUTTON_ALT;
  if ((b & 16) != 0) event.bstate |= BUTTON_CTRL;
  return MouseKey(event);
}

// What curses read, as the window's key.
Key Translate(int kind, wint_t ch, bool& resized) {
  if (kind == KEY_CODE_YES) {
    if (ch == KEY_RESIZE) {
      resized = true;
      return {};
    }
    if (ch == KEY_MOUSE) {
      MEVENT event{};
      return getmouse(&event) == OK ? MouseKey(event) : Key{};
    }
    return KeyFromCurses(true, static_cast<int>(ch), false, extendedKeys);
  }
  if (ch != 0x1b) return KeyFromCurses(false, static_cast<int>(ch), false);
  // Esc alone (curses has waited ESCDELAY for more), or Alt with the key
  // that came with it.
  wint_t next = 0;
  const int nextKind = wget_wch(stdscr, &next);
  if (nextKind == ERR) return KeyFromCurses(false, 0x1b, false);
  if (nextKind == OK && (next == '[' || next == 'O')) {
    // A sequence this terminal's entry does not name (another terminal's
    // Shift-Tab, say) is dropped whole rather than typed; Alt-[ and Alt-O
    // come alone.
    wint_t after = 0;
    if (wget_wch(stdscr, &after) != OK) return KeyFromCurses(false, static_cast<int>(next), true);
    if (next == '[' && after == '<') {
      unget_wch('<');
      return SgrMouse();
    }
    while (next == '[' && after >= 0x20 && after <= 0x3f && wget_wch(stdscr, &after) == OK) {
    }
    return {};
  }
  return KeyFromCurses(nextKind == KEY_CODE_YES, static_cast<int>(next), true, extendedKeys);
}

// ---------------------------------------------------------------------------
// Output

// The terminal's colour number for an RGB colour (-1 its own). With eight
// colours bright foregrounds show as bold, except white, which stands only on
// dark backgrounds and reads as well in the terminal's own white: turning bold
// off resets every attribute, around each highlight and on every hint line.
// Bright backgrounds do not exist: the dimmer twin instead, and white (the
// text boxes) as cyan so that fields still stand out from the grey.
int ColourNumber(uint32_t c, bool background, attr_t& attrs) {
  if (c == kDefaultColour) return -1;
  if (depth == ColourDepth::Palette256) return Palette256(c);
  const int i = Basic16(c);
  if (depth == ColourDepth::Bright) return i;
  if (background) return i == 15 ? COLOR_CYAN : i % 8;
  if (i >= 8 && i != 15) attrs |= A_BOLD;
  return i % 8;
}

// How a character the locale's character set lacks is drawn, and the lines
// and corners of the terminal's line-drawing set (terminfo's acsc).
struct Substitute {
  char32_t ch;
  char ascii;
  char lineDrawing;  // 0: none
};
constexpr Substitute kSubstitutes[] = {
    {U'─', '-', 'q'},    {U'━', '-', 'q'},   {U'═', '-', 'q'}, {U'│', '|', 'x'}, {U'┃', '|', 'x'},
    {U'║', '|', 'x'},    {U'┌', '+', 'l'},   {U'┏', '+', 'l'}, {U'╔', '+', 'l'}, {U'┐', '+', 'k'},
    {U'┓', '+', 'k'},    {U'╗', '+', 'k'},   {U'└', '+', 'm'}, {U'┗', '+', 'm'}, {U'╚', '+', 'm'},
    {U'┘', '+', 'j'},    {U'┛', '+', 'j'},   {U'╝', '+', 'j'}, {U'├', '+', 't'}, {U'┤', '+', 'u'},
    {U'┬', '+', 'w'},    {U'┴', '+', 'v'},   {U'┼', '+', 'n'}, {U'▼', 'v', 0},   {U'▾', '-', 0},
    {U'↓', 'v', 0},      {U'▲', '^', 0},     {U'▴', '^', 0},   {U'↑', '^', 0},   {U'▸', '+', 0},
    {U'▶', '>', 0},      {U'→', '>', 0},     {U'◂', '<', 0},   {U'◀', '<', 0},   {U'←', '<', 0},
    {U'■', '#', 0},      {U'█', ' ', 0},     {U'▀', ' ', 0},   {U'▄', ' ', 0},   {U'…', '.', 0},
    {U'⌛', '*', 0},      {U'–', '-', 0},     {U'—', '-', 0},   {U'‘', '\'', 0},  {U'’', '\'', 0},
    {U'‚', '\'', 0},     {U'“', '"', 0},     {U'”', '"', 0},   {U'„', '"', 0},   {U'•', '*', 0},
    {U'\u00A0', ' ', 0}, {U'\uFFFD', '?', 0}};

bool InLocale(char32_t ch) {
  char bytes[MB_LEN_MAX];
  mbstate_t state{};
  return wcrtomb(bytes, static_cast<wchar_t>(ch), &state) != static_cast<size_t>(-1);
}

bool LightLine(char32_t ch) {
  return std::u32string_view(U"─│┌┐└┘├┤┬┴┼").find(ch) != std::u32string_view::npos;
}

cchar_t CellChar(const Cell& cell, bool shortRun = false) {
  attr_t attrs = A_NORMAL;
  Style s = cell.style;
  wchar_t text[3] = {static_cast<wchar_t>(cell.ch), static_cast<wchar_t>(cell.mark), 0};
  if (cell.ch >= 0x80) {
    const Substitute* sub = nullptr;
    for (const Substitute& k : kSubstitutes)
      if (k.ch == cell.ch) sub = &k;
    const bool light = LightLine(cell.ch);
    // Light lines and corners from the terminal's own set (curses falls back to
    // ASCII or Unicode where the terminal needs it); the heavier ones too where
    // the locale lacks them.
    if (sub != nullptr && sub->lineDrawing != 0 && (light || !UnicodeShown()) &&
        !(UnicodeShown() && (linesInUtf8 || (shortRun && shortRunsInUtf8)))) {
      // The terminal's own set, never Unicode that curses would send in a
      // UTF-8 locale (a vt100 has none); without UTF-8 as curses has it there.
      attr_t lineAttrs = A_ALTCHARSET;
      short unusedPair = 0;
      text[0] = sub->lineDrawing;
      if (!UnicodeShown())
        getcchar(NCURSES_WACS(sub->lineDrawing), text, &lineAttrs, &unusedPair, nullptr);
      text[1] = 0;
      attrs |= lineAttrs;
    } else if (!UnicodeShown() && !InLocale(cell.ch)) {
      // A picture's cell without Unicode: a blank in its upper colour.
      if ((cell.ch == U'▀' || cell.ch == U'█') && s.fg != kDefaultColour) s.bg = s.fg;
      text[0] = sub != nullptr ? sub->ascii : '?';
      text[1] = 0;
    }
  }
  if (text[1] != 0 && !UnicodeShown() && !InLocale(cell.mark)) text[1] = 0;
  if (s.bold) attrs |= A_BOLD;
  if (s.dim) attrs |= A_DIM;
  if (s.underline) attrs |= A_UNDERLINE;
  if (s.reverse) attrs |= A_REVERSE;
  int pair = 0;
  if (depth != ColourDepth::None) {
    const int fg = ColourNumber(s.fg, false, attrs), bg = ColourNumber(s.bg, true, attrs);
    if (fg != -1 || bg != -1) pair = std::max(0, alloc_pair(fg, bg));
  }
  cchar_t c{};
  setcchar(&c, text, attrs, 0, &pair);
  return c;
}

bool IsUtf8(const char* codeset) {
  return std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0;
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
  const std::string cannot = "the terminal (TERM=" + shown + ") cannot show the window: ";
  int error = 0;
  TERMINAL* before = cur_term;
  if (name.find('/') != std::string::npos || setupterm(name.c_str(), STDOUT_FILENO, &error) != OK) {
    set_curterm(before);
    return cannot + "no description of it is installed" + advice;
  }
  const char* cup = tigetstr("cup");
  const bool places = cup != nullptr && cup != reinterpret_cast<char*>(-1) &&
                      tigetflag("gn") <= 0 && tigetflag("hc") <= 0;
  del_curterm(set_curterm(before));
  return places ? "" : cannot + "it cannot place the cursor" + advice;
}

bool TerminalAvailable() {
  return isatty(STDIN_FILENO) == 1;
}

std::string EnterTerminal() {
  if (!TerminalAvailable()) return "standard input is not a terminal";
  const std::string problem = TerminalProblem(std::getenv("TERM"));
  if (!problem.empty()) return problem;
  // The character classes of the locale, for curses to read and write the
  // terminal's character set; the process's other categories stay as they are.
  // A session that names no locale at all is taken as UTF-8.
  bool named = false;
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"})
    named = named || (std::getenv(name) != nullptr && *std::getenv(name) != '\0');
  if (!named || setlocale(LC_CTYPE, "") == nullptr) setlocale(LC_CTYPE, "C.UTF-8");
  SetUnicodeShown(IsUtf8(nl_langinfo(CODESET)));
  termios found{};
  if (tcgetattr(STDIN_FILENO, &found) != 0)
    return std::string("cannot read the terminal's mode: ") + std::strerror(errno);
  if (wakePipe[0] < 0) {
    if (pipe(wakePipe) != 0) return std::string("cannot set up: ") + std::strerror(errno);
    for (int fd : wakePipe) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK | O_CLOEXEC);
  }
  // Draw on standard output when that is the terminal too, else on the input's terminal.
  output = fdopen(dup(isatty(STDOUT_FILENO) == 1 ? STDOUT_FILENO : STDIN_FILENO), "w");
  screen = output != nullptr ? newterm(nullptr, output, stdin) : nullptr;
  if (screen == nullptr) return "cannot set up the terminal";
  set_term(screen);
  entered = true;
  // No echo, no line editing, no signals from keys (Ctrl-C arrives as a key);
  // flow control (Ctrl-S, Ctrl-Q) stays the terminal's.
  raw();
  noecho();
  nonl();
  termios mode{};
  tcgetattr(STDIN_FILENO, &mode);
  mode.c_iflag = (mode.c_iflag & ~static_cast<tcflag_t>(IXON | IXOFF | IXANY)) |
                 (found.c_iflag & (IXON | IXOFF | IXANY));
  tcsetattr(STDIN_FILENO, TCSANOW, &mode);
  def_prog_mode();
  keypad(stdscr, TRUE);
  meta(stdscr, TRUE);
  intrflush(stdscr, FALSE);
  idlok(stdscr, TRUE);
  wtimeout(stdscr, 0);
  curs_set(0);
  const char* noColour = std::getenv("NO_COLOR");
  depth = ColourDepth::None;
  if ((noColour == nullptr || *noColour == '\0') && has_colors() && start_color() == OK) {
    use_default_colors();
    depth = COLORS >= 256  ? ColourDepth::Palette256
            : COLORS >= 16 ? ColourDepth::Bright
            : COLORS >= 8  ? ColourDepth::Basic
                           : ColourDepth::None;
  }
  mousemask(ALL_MOUSE_EVENTS, nullptr);
  mouseinterval(0);  // presses and releases as they come, never waited for as clicks
  extendedKeys = FindExtendedKeys();
  linesInUtf8 = tigetnum("U8") > 0;
  shortRunsInUtf8 = tigetflag("XT") > 0;
  InstallHandlers();
  return "";
}

void RestoreTerminal() {
  if (!entered) return;
  entered = false;
  // Without an alternate screen the window would stay behind the shell's prompt.
  if (exit_ca_mode == nullptr || *exit_ca_mode == '\0') {
    werase(stdscr);
    wrefresh(stdscr);
  }
  endwin();
  if (output != nullptr) fflush(output);
}

TerminalSize GetTerminalSize() {
  if (entered) return {COLS, LINES};
  winsize ws{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) != 0 || ws.ws_col == 0) {
    if (ioctl(STDIN_FILENO, TIOCGWINSZ, &ws) != 0 || ws.ws_col == 0) return {80, 24};
  }
  return {ws.ws_col, ws.ws_row};
}

ColourDepth TerminalColours() {
  return depth;
}

bool HasBackTab() {
  return entered && key_btab != nullptr && *key_btab != '\0';
}

bool Suspend() {
  if (!jobControl) return false;
  // The whole job stops, as with Ctrl-Z in line mode: a script that started
  // the step waits for it. The screen and modes go back to the shell first,
  // while the step still owns the terminal: once the job's shell has stopped,
  // the shell may take the terminal at any moment, and a write from the
  // background would stop the step unannounced. Curses takes them again when
  // the job goes on.
  endwin();
  kill(0, SIGTSTP);
  return true;
}

void ShowCanvas(const Canvas& canvas, bool whole) {
  if (!entered) return;
  if (whole) {
    // Whatever another program left set (a character set, an attribute) goes first.
    if (ena_acs != nullptr) putp(ena_acs);
    if (exit_alt_charset_mode != nullptr) putp(exit_alt_charset_mode);
    if (exit_attribute_mode != nullptr) putp(exit_attribute_mode);
    clearok(curscr, TRUE);
  }
  const int height = std::min(canvas.Height(), LINES), width = std::min(canvas.Width(), COLS);
  std::vector<Cell> row;
  for (int y = 0; y < height; ++y) {
    row.assign(&canvas.At(0, y), &canvas.At(0, y) + width);
    // A blank shows no ink. A run of blanks takes that of the text after it
    // on the same background, so that no colour is switched at the text; else
    // that of the cell before it on the same background; else the ink its
    // background usually carries. Never the ink of a cell on another
    // background, which would change the blanks whenever that cell changes (a
    // lit entry moving away). Bold and dim go on from the cell before on the
    // same background, so that a bold caption's blanks do not switch bold off.
    auto blank = [](const Cell& c) {
      return c.ch == U' ' && !c.style.underline && !c.style.reverse;
    };
    for (int x = 0; x < width;) {
      if (!blank(row[x])) {
        ++x;
        continue;
      }
      const uint32_t bg = row[x].style.bg;
      int end = x;
      while (end < width && blank(row[end]) && row[end].style.bg == bg) ++end;
      const bool leads = end < width && !blank(row[end]) && row[end].style.bg == bg;
      const bool along = x > 0 && row[x - 1].style.bg == bg;
      const Style& attrs = along ? row[x - 1].style : leads ? row[end].style : Style{};
      for (; x < end; ++x) {
        row[x].style.fg = leads ? row[end].style.fg : along ? attrs.fg : UsualInk(bg);
        row[x].style.bold = attrs.bold;
        row[x].style.dim = attrs.dim;
      }
    }
    // A short run of lines (a frame's edge, two edges side by side) costs less
    // as UTF-8 text than with the line set switched on and off around it.
    int runEnd = 0;
    bool shortRun = false;
    for (int x = 0; x < width; ++x) {
      if (row[x].ch == kWideRest) continue;
      if (x >= runEnd && LightLine(row[x].ch)) {
        runEnd = x;
        while (runEnd < width && LightLine(row[runEnd].ch)) ++runEnd;
        shortRun = runEnd - x < kShortLineRun;
      }
      const cchar_t c = CellChar(row[x], x < runEnd && shortRun);
      mvwadd_wch(stdscr, y, x, &c);
    }
  }
  // A hidden cursor stays wherever drawing left it, rather than being moved back.
  const bool cursor = canvas.CursorShown() && canvas.CursorX() < COLS && canvas.CursorY() < LINES;
  leaveok(stdscr, cursor ? FALSE : TRUE);
  if (cursor) wmove(stdscr, canvas.CursorY(), canvas.CursorX());
  curs_set(cursor ? 1 : 0);
  wrefresh(stdscr);
}

Key ReadKey(int timeoutMs, bool& resized, bool& closed) {
  resized = false;
  closed = false;
  for (;;) {
    wint_t ch = 0;
    const int kind = wget_wch(stdscr, &ch);
    if (kind != ERR) return Translate(kind, ch, resized);
    // Nothing read yet: wait for input, a resize or a request to end.
    pollfd fds[3] = {{STDIN_FILENO, POLLIN, 0},
                     {wakePipe[0], POLLIN, 0},
                     {platform::EndRequestDescriptor(), POLLIN, 0}};
    if (platform::PendingEndRequest() != 0) return {};
    const int n = poll(fds, 3, timeoutMs);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || fds[2].revents != 0) return {};
    if ((fds[1].revents & POLLIN) != 0) {
      char drain[64];
      while (read(wakePipe[0], drain, sizeof drain) > 0) {
      }
      if (cursesResize.sa_handler == SIG_DFL) {  // curses did not see it: it is told
        winsize ws{};
        if (ioctl(STDIN_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0)
          resize_term(ws.ws_row, ws.ws_col);
        resized = true;
        return {};
      }
      continue;
    }
    int waiting = 0;
    if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0 &&
        (ioctl(STDIN_FILENO, FIONREAD, &waiting) != 0 || waiting == 0)) {
      closed = true;
      return {};
    }
  }
}

}  // namespace tui
