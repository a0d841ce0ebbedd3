#include "app/terminal/charset.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cstdlib>

#include "platform/text.h"

namespace tui {
namespace {

std::string Normalised(const std::string& name) {
  std::string out;
  for (char c : name)
    if (c != '-' && c != '_') out += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  return out;
}

bool IsUtf8(const std::string& codeset) {
  return Normalised(codeset) == "UTF8";
}

const char* LocaleVariable() {
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return value;
  }
  return nullptr;
}

// Terminals whose line-drawing set is DEC special graphics, switched with ESC ( 0.
bool HasDecGraphics(const std::string& term) {
  return XtermLikeFamily(term) || (term.rfind("vt", 0) == 0 && term.size() >= 5 && term[2] >= '1' &&
                                   term[2] <= '5');  // vt100..vt520
}

// The ASCII character and the DEC special graphics character of a mark. Each
// mark keeps a meaning of its own: an open folder "-", a closed one "+", so
// that "v" and ">" say only "more this way".
struct Substitute {
  char32_t ch;
  char ascii;
  char dec;  // 0: none
};
constexpr Substitute kSubstitutes[] = {
    {U'─', '-', 'q'}, {U'━', '-', 'q'}, {U'═', '-', 'q'}, {U'│', '|', 'x'}, {U'┃', '|', 'x'},
    {U'║', '|', 'x'}, {U'┌', '+', 'l'}, {U'┏', '+', 'l'}, {U'╔', '+', 'l'}, {U'┐', '+', 'k'},
    {U'┓', '+', 'k'}, {U'╗', '+', 'k'}, {U'└', '+', 'm'}, {U'┗', '+', 'm'}, {U'╚', '+', 'm'},
    {U'┘', '+', 'j'}, {U'┛', '+', 'j'}, {U'╝', '+', 'j'}, {U'├', '+', 't'}, {U'┤', '+', 'u'},
    {U'┬', '+', 'w'}, {U'┴', '+', 'v'}, {U'┼', '+', 'n'}, {U'▼', 'v', 0},   {U'▾', '-', 0},
    {U'↓', 'v', 0},   {U'▲', '^', 0},   {U'▴', '^', 0},   {U'↑', '^', 0},   {U'▸', '+', 0},
    {U'▶', '>', 0},   {U'→', '>', 0},   {U'◂', '<', 0},   {U'◀', '<', 0},   {U'←', '<', 0},
    {U'■', '#', 0},   {U'█', '#', 0},   {U'▀', ' ', 0},   {U'…', '.', 0},   {U'⌛', '*', 0},
    {U'–', '-', 0},   {U'—', '-', 0},   {U'‘', '\'', 0},  {U'’', '\'', 0},  {U'‚', '\'', 0},
    {U'“', '"', 0},   {U'”', '"', 0},   {U'„', '"', 0},   {U'•', '*', 0},   {U'\u00A0', ' ', 0},
};

Charset current;

}  // namespace

Charset SingleByteCharset(const std::string& codeset, bool lineDrawing) {
  Charset charset;
  charset.utf8 = false;
  charset.lineDrawing = lineDrawing;
  iconv_t cd = iconv_open("UTF-8", codeset.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return charset;
  for (int b = 0x80; b <= 0xFF; ++b) {
    char in = static_cast<char>(b), out[8];
    char* inPtr = &in;
    char* outPtr = out;
    size_t inLeft = 1, outLeft = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) || inLeft != 0)
      continue;
    const std::u32string decoded = platform::DecodeUtf8(std::string_view(out, outPtr - out));
    // C1 control characters are no text.
    if (decoded.size() == 1 && decoded[0] >= 0xA0) charset.high[b - 0x80] = decoded[0];
  }
  iconv_close(cd);
  return charset;
}

std::string LocaleCodeset() {
  const char* variable = LocaleVariable();
  if (variable == nullptr) return "UTF-8";
  // The locale of the character classes alone, so that the process's own
  // locale (number formats among it) stays as it is.
  const locale_t locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
  if (locale != static_cast<locale_t>(0)) {
    std::string codeset = nl_langinfo_l(CODESET, locale);
    freelocale(locale);
    return codeset;
  }
  // A locale that is not installed: its name still tells the character set
  // ("de_DE.ISO-8859-1@euro").
  const std::string name = variable;
  const size_t dot = name.find('.');
  if (dot == std::string::npos) return "ANSI_X3.4-1968";
  return name.substr(dot + 1, name.find('@', dot) - dot - 1);
}

Charset DetectCharset() {
  const std::string codeset = LocaleCodeset();
  if (IsUtf8(codeset)) return Charset{};
  const char* term = std::getenv("TERM");
  return SingleByteCharset(codeset, term != nullptr && HasDecGraphics(term));
}

const Charset& TerminalCharset() {
  return current;
}

void SetTerminalCharset(const Charset& charset) {
  current = charset;
}

Glyph SingleByteGlyph(char32_t ch, const Charset& charset) {
  if (ch < 0x80) return {static_cast<char>(ch), false};
  for (int i = 0; i < 128; ++i)
    if (charset.high[i] == ch) return {static_cast<char>(0x80 + i), false};
  for (const Substitute& s : kSubstitutes) {
    if (s.ch != ch) continue;
    if (charset.lineDrawing && s.dec != 0) return {s.dec, true};
    return {s.ascii, false};
  }
  return {'?', false};
}

bool XtermLikeFamily(const std::string& term) {
  auto starts = [&](const char* prefix) { return term.rfind(prefix, 0) == 0; };
  for (const char* family : {"xterm", "screen", "tmux", "rxvt", "linux", "konsole", "gnome",
                             "putty", "alacritty", "kitty", "foot", "vte", "st-", "mlterm"})
    if (starts(family)) return true;
  return term == "st";
}

}  // namespace tui
