#include "platform/profile.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "base/text.h"
#include "platform/filesys.h"
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

// The sections and entries of a file, so that a lookup is no scan: the first
// section of each name (only that one counts) with the place for its next
// entry, and the first entry of each key in it, both by upper-cased name.
// Entries hold the offsets of their lines; a write patches the bytes and moves
// the offsets behind the patch.
class IniIndex final : public ContentIndex {
 public:
  using Fold = std::string (*)(std::string_view);
  explicit IniIndex(std::string_view s, Fold upper = UpperAnsi) {
    Section* current = nullptr;
    for (size_t pos = 0; pos < s.size();) {
      Line l = NextLine(s, pos);
      pos = l.end;
      std::string_view text = s.substr(l.begin, l.contentEnd - l.begin);
      Parsed p = ParseLine(text);
      if (p.kind == Kind::kSection) {
        std::string name = upper(text.substr(p.nameBegin, p.nameEnd - p.nameBegin));
        current = sections_.count(name) ? nullptr : &AddSection(std::move(name), l);
        continue;
      }
      if (current == nullptr || p.kind != Kind::kEntry) continue;
      current->insertAt = l.end;
      current->breakMissing = l.end == l.contentEnd;
      current->entries.try_emplace(upper(text.substr(p.nameBegin, p.nameEnd - p.nameBegin)),
                                   l.begin);
    }
  }

  Found Find(std::string_view s, std::string_view sectionUpper, std::string_view keyUpper) const {
    Found f;
    auto sec = sections_.find(std::string(sectionUpper));
    if (sec == sections_.end()) return f;
    f.section = true;
    f.insertAt = sec->second.insertAt;
    f.breakMissing = sec->second.breakMissing;
    auto entry = sec->second.entries.find(std::string(keyUpper));
    if (entry != sec->second.entries.end()) {
      f.key = true;
      f.keyLine = NextLine(s, entry->second);
      f.keyParsed = ParseLine(s.substr(entry->second, f.keyLine.contentEnd - entry->second));
    }
    return f;
  }

  // The bytes from offset from on moved by delta.
  void Shift(size_t from, ptrdiff_t delta) {
    for (auto& [name, sec] : sections_) {
      if (sec.insertAt >= from) sec.insertAt += delta;
      for (auto& [key, begin] : sec.entries)
        if (begin >= from) begin += delta;
    }
  }

  // A new last entry of an existing section, its line ending at lineEnd.
  void AddToSection(std::string_view sectionUpper, size_t begin, size_t lineEnd,
                    std::string_view keyUpper) {
    Section& sec = sections_.at(std::string(sectionUpper));
    sec.insertAt = lineEnd;
    sec.breakMissing = false;
    sec.entries.try_emplace(std::string(keyUpper), begin);
  }

  // A new section at the end: header line, then one entry line.
  void AddSectionAtEnd(std::string sectionUpper, const Line& header, size_t entryBegin,
                       size_t entryEnd, std::string_view keyUpper) {
    Section& sec = AddSection(std::move(sectionUpper), header);
    sec.insertAt = entryEnd;
    sec.entries.try_emplace(std::string(keyUpper), entryBegin);
  }

  // The line break added after a last line that had none, at old end `at`.
  void BreakAddedAt(size_t at) {
    for (auto& [name, sec] : sections_) {
      if (sec.insertAt == at && sec.breakMissing) {
        sec.insertAt += 2;
        sec.breakMissing = false;
      }
    }
  }

 private:
  struct Section {
    size_t insertAt = 0;
    bool breakMissing = false;
    std::unordered_map<std::string, size_t> entries;  // upper-cased key: its line's offset
  };

  Section& AddSection(std::string nameUpper, const Line& header) {
    Section& sec = sections_[std::move(nameUpper)];
    sec.insertAt = header.end;
    sec.breakMissing = header.end == header.contentEnd;
    return sec;
  }

  std::unordered_map<std::string, Section> sections_;  // by upper-cased name
};

IniIndex& IndexOf(FileContents& contents) {
  if (auto* index = dynamic_cast<IniIndex*>(contents.index.get())) return *index;
  auto index = std::make_unique<IniIndex>(contents.bytes);
  IniIndex& ref = *index;
  contents.index = std::move(index);
  return ref;
}

// Unicode INI files: UTF-16LE after the byte-order mark FF FE. The services
// work on them as on any other file, through a UTF-8 view of their text in
// which the structure (blanks, "[", "]", "=", ";", line breaks) has the same
// bytes; the ANSI texts given and returned are converted at that boundary, as
// the Windows services do it for their ANSI versions. The view keeps every
// code unit, unpaired surrogates and an odd last byte included, so that the
// file is written back byte for byte wherever no entry changed.
constexpr std::string_view kWideMark = "\xFF\xFE";

bool IsWide(std::string_view bytes) {
  return bytes.substr(0, 2) == kWideMark;
}

void AppendUtf8(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {  // unpaired surrogates too, as three bytes of their own
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string WideToUtf8(std::string_view units) {
  std::string out;
  out.reserve(units.size());
  auto unit = [&](size_t i) {
    return static_cast<char32_t>(static_cast<unsigned char>(units[i]) |
                                 static_cast<unsigned char>(units[i + 1]) << 8);
  };
  for (size_t i = 0; i + 1 < units.size(); i += 2) {
    char32_t c = unit(i);
    if (c >= 0xD800 && c < 0xDC00 && i + 3 < units.size()) {
      const char32_t low = unit(i + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
    }
    AppendUtf8(c, out);
  }
  return out;
}

void AppendUnit(char32_t u, std::string& out) {
  out += static_cast<char>(u & 0xFF);
  out += static_cast<char>(u >> 8);
}

// The view's text as UTF-16LE code units; the view holds only what WideToUtf8
// made and what FromAnsi added, so every sequence is whole.
std::string Utf8ToWide(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (size_t i = 0; i < text.size();) {
    const unsigned char b = static_cast<unsigned char>(text[i]);
    const size_t n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    char32_t c = n == 1 ? b : n == 2 ? b & 0x1F : n == 3 ? b & 0x0F : b & 0x07;
    for (size_t k = 1; k < n && i + k < text.size(); ++k)
      c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    i += n;
    if (c >= 0x10000) {
      AppendUnit(0xD800 + ((c - 0x10000) >> 10), out);
      AppendUnit(0xDC00 + ((c - 0x10000) & 0x3FF), out);
    } else {
      AppendUnit(c, out);
    }
  }
  return out;
}

// A name of the view upper-cased as its Windows-1252 spelling would be, so that
// names match in a Unicode file as they do in an ANSI one ("ä" finds "Ä");
// characters the code page cannot spell, and stray bytes, stay as they are.
std::string UpperUtf8(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const size_t from = i;
    const char32_t c = DecodeUtf8At(utf8, i);
    const std::string_view one = utf8.substr(from, i - from);
    const std::string ansi = c == kNoUtf8 ? std::string() : ToAnsi(one);
    if (ansi.size() == 1 && (ansi != "?" || c == U'?'))
      out += FromAnsi(UpperAnsi(ansi));
    else
      out += one;
  }
  return out;
}

// The UTF-8 view of a Unicode file, kept as its index.
struct WideView final : ContentIndex {
  FileContents text;
  std::string oddByte;  // a last byte that makes no code unit
};

WideView& ViewOf(FileContents& contents) {
  if (auto* view = dynamic_cast<WideView*>(contents.index.get())) return *view;
  auto view = std::make_unique<WideView>();
  const std::string_view units = std::string_view(contents.bytes).substr(kWideMark.size());
  view->text.bytes = WideToUtf8(units);
  view->text.index = std::make_unique<IniIndex>(view->text.bytes, UpperUtf8);
  if (units.size() % 2 != 0) view->oddByte = units.back();
  WideView& ref = *view;
  contents.index = std::move(view);
  return ref;
}

// The file's bytes after its view has changed.
void WriteBack(FileContents& contents, const WideView& view) {
  contents.bytes = std::string(kWideMark) + Utf8ToWide(view.text.bytes) + view.oddByte;
}

// The contents the services parse: the file's own bytes, or a Unicode file's
// view; wide tells which.
FileContents& TextOf(FileContents& contents, bool& wide) {
  wide = IsWide(contents.bytes);
  return wide ? ViewOf(contents).text : contents;
}

std::string_view Unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    return v.substr(1, v.size() - 2);
  return v;
}

// The ANSI value of an entry, or nothing when the file, section or entry is
// missing (or a name is empty and so can never match).
bool LookUp(std::string_view section, std::string_view key, std::string_view file,
            std::string& value) {
  std::string sec(Trim(ToAnsi(section)));
  std::string k(Trim(ToAnsi(key)));
  if (sec.empty() || k.empty()) return false;
  FileContents* fileContents = ReadCachedFile(file);
  if (fileContents == nullptr) return false;
  bool wide = false;
  FileContents& contents = TextOf(*fileContents, wide);
  sec = wide ? UpperUtf8(FromAnsi(sec)) : UpperAnsi(sec);
  k = wide ? UpperUtf8(FromAnsi(k)) : UpperAnsi(k);
  std::string_view bytes = contents.bytes;
  Found f = IndexOf(contents).Find(bytes, sec, k);
  if (!f.key) return false;
  std::string_view text = bytes.substr(f.keyLine.begin);
  value =
      Unquote(text.substr(f.keyParsed.valueBegin, f.keyParsed.valueEnd - f.keyParsed.valueBegin));
  if (wide) value = ToAnsi(value);
  return true;
}

}  // namespace

ProfileString GetPrivateProfileStringA(std::string_view section, std::string_view key,
                                       std::string_view defaultText, uint32_t bufferSize,
                                       std::string_view file) {
  std::string found;
  if (!LookUp(section, key, file, found)) {
    found = ToAnsi(defaultText);
    found.erase(found.find_last_not_of(' ') + 1);  // npos + 1 clears an all-blank default
  }
  if (bufferSize == 0) return {0, {}};
  std::string_view value = std::string_view(found).substr(0, bufferSize - 1);
  return {static_cast<uint32_t>(value.size()), FromAnsi(value)};
}

int32_t GetPrivateProfileIntA(std::string_view section, std::string_view key, int32_t defaultValue,
                              std::string_view file) {
  std::string found;
  if (!LookUp(section, key, file, found)) return defaultValue;
  std::string_view v = found;
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

namespace {

// One entry as the file stores it (Windows-1252), checked for what a write
// refuses.
struct AnsiEntry {
  std::string sec, k, v, secUpper, kUpper;
};

std::optional<AnsiEntry> ToAnsiEntry(std::string_view section, std::string_view key,
                                     std::string_view value) {
  AnsiEntry e{
      std::string(Trim(ToAnsi(section))), std::string(Trim(ToAnsi(key))), ToAnsi(value), {}, {}};
  // Refuse whatever would add lines or could never be read back: line breaks
  // and NUL anywhere, a section name holding "]", a key holding "=" or looking
  // like a comment or a header, empty names.
  if (HasLineBreakOrNul(e.sec) || HasLineBreakOrNul(e.k) || HasLineBreakOrNul(e.v)) return {};
  if (e.sec.empty() || e.sec.find(']') != e.sec.npos) return {};
  if (e.k.empty() || e.k.find('=') != e.k.npos || e.k.front() == ';' || e.k.front() == '[')
    return {};
  e.secUpper = UpperAnsi(e.sec);
  e.kUpper = UpperAnsi(e.k);
  return e;
}

bool PatchEntry(FileContents& contents, const AnsiEntry& e);

// The same for a Unicode file: the entry in the view's UTF-8, then the file's
// bytes written back from the view.
bool PatchWideEntry(FileContents& contents, const AnsiEntry& a) {
  WideView& view = ViewOf(contents);
  AnsiEntry e{FromAnsi(a.sec), FromAnsi(a.k), FromAnsi(a.v), {}, {}};
  e.secUpper = UpperUtf8(e.sec);
  e.kUpper = UpperUtf8(e.k);
  if (!PatchEntry(view.text, e)) return false;
  WriteBack(contents, view);
  return true;
}

// Patches one entry into the kept bytes and their index; false when the entry
// already holds the value.
bool PatchEntry(FileContents& contents, const AnsiEntry& e) {
  if (IsWide(contents.bytes)) return PatchWideEntry(contents, e);
  std::string& bytes = contents.bytes;
  IniIndex& index = IndexOf(contents);
  Found f = index.Find(bytes, e.secUpper, e.kUpper);
  if (f.key) {
    // The key keeps its indentation and spelling; value and "=" are rewritten.
    const Line& l = f.keyLine;
    const size_t from = l.begin + f.keyParsed.nameEnd;
    std::string rest = "=" + e.v;
    if (std::string_view(bytes).substr(from, l.contentEnd - from) == rest) return false;
    bytes.replace(from, l.contentEnd - from, rest);
    index.Shift(l.begin + 1,
                static_cast<ptrdiff_t>(rest.size()) - static_cast<ptrdiff_t>(l.contentEnd - from));
  } else if (f.section) {
    std::string line = f.breakMissing ? "\r\n" : "";
    const size_t begin = f.insertAt + line.size();
    line += e.k + "=" + e.v + "\r\n";
    bytes.insert(f.insertAt, line);
    index.Shift(f.insertAt, static_cast<ptrdiff_t>(line.size()));
    index.AddToSection(e.secUpper, begin, f.insertAt + line.size(), e.kUpper);
  } else {
    if (!bytes.empty() && bytes.back() != '\n' && bytes.back() != '\r') {
      bytes += "\r\n";
      index.BreakAddedAt(bytes.size() - 2);
    }
    const std::string header = "[" + e.sec + "]\r\n";
    const Line headerLine{bytes.size(), bytes.size() + header.size() - 2,
                          bytes.size() + header.size()};
    bytes += header + e.k + "=" + e.v + "\r\n";
    index.AddSectionAtEnd(e.secUpper, headerLine, headerLine.end, bytes.size(), e.kUpper);
  }
  return true;
}

}  // namespace

int32_t WritePrivateProfileStringA(std::string_view section, std::string_view key,
                                   std::string_view value, std::string_view file) {
  const std::optional<AnsiEntry> entry = ToAnsiEntry(section, key, value);
  if (!entry) return 0;
  // Read, change and write back under the file's lock, so that concurrent
  // writers of other keys lose nothing; a missing file is created. The change
  // is patched into the kept bytes and their index.
  return EditCachedFile(file, [&](FileContents& c) { return PatchEntry(c, *entry); }) ? 1 : 0;
}

int32_t WritePrivateProfileEntries(const std::vector<ProfileEntry>& entries,
                                   std::string_view file) {
  std::vector<AnsiEntry> ansi;
  ansi.reserve(entries.size());
  bool refused = false;
  for (const ProfileEntry& e : entries) {
    std::optional<AnsiEntry> a = ToAnsiEntry(e.section, e.key, e.value);
    if (a)
      ansi.push_back(std::move(*a));
    else
      refused = true;  // as its own write would be; the others still go in
  }
  if (ansi.empty()) return refused ? 0 : 1;
  const bool written = EditCachedFile(file, [&](FileContents& c) {
    bool changed = false;
    for (const AnsiEntry& a : ansi) changed = PatchEntry(c, a) || changed;
    return changed;
  });
  return written && !refused ? 1 : 0;
}

}  // namespace platform
