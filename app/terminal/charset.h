// The character set the terminal shows and sends: UTF-8, or the single-byte
// character set of the locale (ISO-8859-1, ISO-8859-15, ASCII in the C
// locale, ...). Inside the program all text is UTF-8; only the bytes sent to
// and read from the terminal are in its character set.
#pragma once

#include <array>
#include <string>

namespace tui {

struct Charset {
  bool utf8 = true;
  // Lines and corners drawn with the terminal's DEC special graphics rather
  // than from ASCII; only without UTF-8.
  bool lineDrawing = false;
  // The character each byte 0x80..0xFF stands for; 0 where it stands for none.
  std::array<char32_t, 128> high{};
};

// A single-byte character set by its name as iconv knows it ("ISO-8859-1");
// a name iconv does not know leaves only ASCII.
Charset SingleByteCharset(const std::string& codeset, bool lineDrawing);

// The codeset of the locale's character classes (LC_ALL, LC_CTYPE, LANG, as
// setlocale(LC_CTYPE, "") would take them, without changing the process's
// locale). "UTF-8" when none of the variables is set.
std::string LocaleCodeset();

// The terminal families known by name (xterm and its kind, screen, tmux, the
// Linux console, ...): they place the cursor with ANSI sequences and draw
// lines from DEC special graphics.
bool XtermLikeFamily(const std::string& term);

// The character set of the locale, with the line-drawing set where TERM has one.
Charset DetectCharset();

// The character set of the terminal the window is drawn on: UTF-8 until
// EnterTerminal sets the detected one.
const Charset& TerminalCharset();
void SetTerminalCharset(const Charset& charset);

// How one character is sent in a single-byte character set: its byte, taken
// from the line-drawing set or not. Characters the set lacks are drawn with a
// similar ASCII character where the program uses them as marks ("+" for a
// corner, "v" for a drop-down arrow), else as "?".
struct Glyph {
  char byte = '?';
  bool lineDrawing = false;
};
Glyph SingleByteGlyph(char32_t ch, const Charset& charset);

}  // namespace tui
