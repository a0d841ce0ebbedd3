#include "platform/profile.h"

#include <array>
#include <filesystem>
#include <system_error>

#include "platform/filesys.h"
#include "platform/text.h"
#include "platform/winpath.h"

// All parsing works on the Windows-1252 bytes of the file, one byte per
// character; texts are converted only when they enter or leave these services.
//
// Line rules: CR LF, LF and a lone CR each end a line. Leading blanks and tabs
// of a line are ignored. A line starting with ";" is a comment. A line "[" name
// "]" (anything after the first "]" ignored) starts a section; a "[" without a
// "]" is no header. Any other line holding "=" is an entry; a line without "="
// is kept but is no entry, so a lookup of its text finds nothing. Lines before
// the first header belong to no section. NUL and other control bytes are
// ordinary characters when read; a write refuses CR, LF and NUL so that it can
// never add lines of its own.

namespace platform {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

// Upper case of a Windows-1252 byte: ASCII, the Latin-1 letters and the three
// letter pairs of 0x80..0x9F, plus y with diaeresis.
constexpr std::array<unsigned char, 256> MakeUpperTable() {
  std::array<unsigned char, 256> t{};
  for (int i = 0; i < 256; ++i) t[i] = static_cast<unsigned char>(i);
  for (int i = 'a'; i <= 'z'; ++i) t[i] = static_cast<unsigned char>(i - 32);
  for (int i = 0xE0; i <= 0xFE; ++i)
    if (i != 0xF7) t[i] = static_cast<unsigned char>(i - 32);
  t[0x9A] = 0x8A;  // s caron
  t[0x9C] = 0x8C;  // oe
  t[0x9E] = 0x8E;  // z caron
  t[0xFF] = 0x9F;  // y diaeresis
  return t;
}
constexpr std::array<unsigned char, 256> kUpper = MakeUpperTable();

unsigned char Upper(char c) {
  return kUpper[static_cast<unsigned char>(c)];
}

std::string UpperAnsi(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(Upper(c));
  return out;
}

// fileName as it stands in the file; wantedUpper already upper-cased.
bool SameName(std::string_view fileName, std::string_view wantedUpper) {
  if (fileName.size() != wantedUpper.size()) return false;
  for (size_t i = 0; i < fileName.size(); ++i)
    if (Upper(fileName[i]) != static_cast<unsigned char>(wantedUpper[i])) return false;
  return true;
}

bool HasLineBreakOrNul(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) != s.npos;
}

// Offsets into the file: [begin, contentEnd) is the text, [contentEnd, end) its
// line break (empty only for a last line without one).
struct Line {
  size_t begin = 0, contentEnd = 0, end = 0;
};

Line NextLine(std::string_view s, size_t pos) {
  size_t i = s.find_first_of("\r\n", pos);
  if (i == s.npos) return {pos, s.size(), s.size()};
  size_t end = (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') ? i + 2 : i + 1;
  return {pos, i, end};
}

enum class Kind { kOther, kSection, kEntry };

// Offsets relative to the line's begin.
struct Parsed {
  Kind kind = Kind::kOther;
  size_t nameBegin = 0, nameEnd = 0;    // section name or key, trimmed
  size_t valueBegin = 0, valueEnd = 0;  // value, trimmed
};

Parsed ParseLine(std::string_view text) {
  Parsed p;
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  if (i == text.size() || text[i] == ';') return p;
  if (text[i] == '[') {
    size_t close = text.find(']', i + 1);
    if (close != text.npos) {
      std::string_view name = Trim(text.substr(i + 1, close - i - 1));
      p.kind = Kind::kSection;
      p.nameBegin = name.data() - text.data();
      p.nameEnd = p.nameBegin + name.size();
      return p;
    }
  }
  size_t eq = text.find('=', i);
  if (eq == text.npos) return p;
  std::string_view key = Trim(text.substr(i, eq - i));
  std::string_view value = Trim(text.substr(eq + 1));
  p.kind = Kind::kEntry;
  p.nameBegin = key.data() - text.data();
  p.nameEnd = p.nameBegin + key.size();
  p.valueBegin = value.data() - text.data();
  p.valueEnd = p.valueBegin + value.size();
  return p;
}

// What a lookup of one key in one section found.
struct Found {
  bool section = false;
  // Where a missing key goes: the end of the header or of the section's last
  // entry; breakMissing when that line is the file's last and has no break.
  size_t insertAt = 0;
  bool breakMissing = false;
  bool key = false;
  Line keyLine;
  Parsed keyParsed;
};

Found Find(std::string_view s, std::string_view sectionUpper, std::string_view keyUpper) {
  Found f;
  bool inSection = false;
  for (size_t pos = 0; pos < s.size();) {
    Line l = NextLine(s, pos);
    pos = l.end;
    std::string_view text = s.substr(l.begin, l.contentEnd - l.begin);
    Parsed p = ParseLine(text);
    if (p.kind == Kind::kSection) {
      if (inSection) break;  // only the first section of a name counts
      if (SameName(text.substr(p.nameBegin, p.nameEnd - p.nameBegin), sectionUpper)) {
        inSection = f.section = true;
        f.insertAt = l.end;
        f.breakMissing = l.end == l.contentEnd;
      }
      continue;
    }
    if (!inSection || p.kind != Kind::kEntry) continue;
    if (SameName(text.substr(p.nameBegin, p.nameEnd - p.nameBegin), keyUpper)) {
      f.key = true;
      f.keyLine = l;
      f.keyParsed = p;
      return f;
    }
    f.insertAt = l.end;
    f.breakMissing = l.end == l.contentEnd;
  }
  return f;
}

std::string_view Unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    return v.substr(1, v.size() - 2);
  return v;
}

// The ANSI value of an entry, or nothing when the file, section or entry is
// missing (or a name is empty and so can never match).
bool LookUp(std::string_view section, std::string_view key, std::string_view file,
            std::string& bytes, std::string_view& value) {
  std::string sec = UpperAnsi(Trim(ToAnsi(section)));
  std::string k = UpperAnsi(Trim(ToAnsi(key)));
  if (sec.empty() || k.empty() || !ReadWholeFile(file, bytes)) return false;
  Found f = Find(bytes, sec, k);
  if (!f.key) return false;
  std::string_view text = std::string_view(bytes).substr(f.keyLine.begin);
  value =
      Unquote(text.substr(f.keyParsed.valueBegin, f.keyParsed.valueEnd - f.keyParsed.valueBegin));
  return true;
}

}  // namespace

ProfileString GetPrivateProfileStringA(std::string_view section, std::string_view key,
                                       std::string_view defaultText, uint32_t bufferSize,
                                       std::string_view file) {
  std::string bytes, def;
  std::string_view value;
  if (!LookUp(section, key, file, bytes, value)) {
    def = ToAnsi(defaultText);
    def.erase(def.find_last_not_of(' ') + 1);  // npos + 1 clears an all-blank default
    value = def;
  }
  if (bufferSize == 0) return {0, {}};
  value = value.substr(0, bufferSize - 1);
  return {static_cast<uint32_t>(value.size()), FromAnsi(value)};
}

int32_t GetPrivateProfileIntA(std::string_view section, std::string_view key, int32_t defaultValue,
                              std::string_view file) {
  std::string bytes;
  std::string_view v;
  if (!LookUp(section, key, file, bytes, v)) return defaultValue;
  size_t i = 0;
  bool negative = false;
  if (i < v.size() && (v[i] == '+' || v[i] == '-')) negative = v[i++] == '-';
  // Unsigned arithmetic wraps like the 32-bit register the service works in.
  uint32_t n = 0;
  if (i + 1 < v.size() && v[i] == '0' && (v[i + 1] == 'x' || v[i + 1] == 'X')) {
    for (i += 2; i < v.size(); ++i) {
      char c = v[i];
      uint32_t d;
      if (c >= '0' && c <= '9')
        d = c - '0';
      else if (c >= 'a' && c <= 'f')
        d = c - 'a' + 10;
      else if (c >= 'A' && c <= 'F')
        d = c - 'A' + 10;
      else
        break;
      n = n * 16 + d;
    }
  } else {
    for (; i < v.size() && v[i] >= '0' && v[i] <= '9'; ++i) n = n * 10 + (v[i] - '0');
  }
  if (negative) n = 0u - n;
  return static_cast<int32_t>(n);
}

int32_t WritePrivateProfileStringA(std::string_view section, std::string_view key,
                                   std::string_view value, std::string_view file) {
  std::string sec(Trim(ToAnsi(section)));
  std::string k(Trim(ToAnsi(key)));
  std::string v = ToAnsi(value);
  // Refuse whatever would add lines or could never be read back: line breaks
  // and NUL anywhere, a section name holding "]", a key holding "=" or looking
  // like a comment or a header, empty names.
  if (HasLineBreakOrNul(sec) || HasLineBreakOrNul(k) || HasLineBreakOrNul(v)) return 0;
  if (sec.empty() || sec.find(']') != sec.npos) return 0;
  if (k.empty() || k.find('=') != k.npos || k.front() == ';' || k.front() == '[') return 0;

  // Read, change and write back under the file's lock, so that concurrent
  // writers of other keys lose nothing; a missing file is created.
  auto edit = [&](std::string& bytes) {
    Found f = Find(bytes, UpperAnsi(sec), UpperAnsi(k));
    std::string out;
    out.reserve(bytes.size() + sec.size() + k.size() + v.size() + 8);
    if (f.key) {
      // The key keeps its indentation and spelling; value and "=" are rewritten.
      const Line& l = f.keyLine;
      std::string_view s(bytes);
      std::string line(s.substr(l.begin, f.keyParsed.nameEnd));
      line += '=';
      line += v;
      if (line == s.substr(l.begin, l.contentEnd - l.begin)) return false;
      out.append(s.substr(0, l.begin));
      out += line;
      out.append(s.substr(l.contentEnd));
    } else if (f.section) {
      out.append(bytes, 0, f.insertAt);
      if (f.breakMissing) out += "\r\n";
      out += k + "=" + v + "\r\n";
      out.append(bytes, f.insertAt);
    } else {
      out = bytes;
      if (!out.empty() && out.back() != '\n' && out.back() != '\r') out += "\r\n";
      out += "[" + sec + "]\r\n" + k + "=" + v + "\r\n";
    }
    bytes = std::move(out);
    return true;
  };
  return EditWholeFile(file, edit) ? 1 : 0;
}

}  // namespace platform
