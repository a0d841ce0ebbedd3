// Fuzzes the INI services: the input (after five selector bytes) becomes an INI
// file in a scratch folder in memory mapped as drive C:; reads must stay within
// their buffer, and a write must leave every line it does not target byte for
// byte.
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "platform/profile.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

constexpr const char* kFile = "C:\\fuzz.ini";

const char* const kSections[] = {"Project", "project",  " PROJECT\t", "Machine1",
                                 "S",       "\xC3\xA4", "[",          "",
                                 "a]b",     "Common",   "s",          "\xE4\xB8\xAD"};
const char* const kKeys[] = {"Supplier", "supplier", "k",  " K ", "flag", "\xC3\x84",
                             "",         "a=b",      ";c", "[x",  "Name", "\xC3\xA4"};
const char* const kValues[] = {"v",      "",      " spaced ",     "\"q\"",
                               "a\r\nb", "x=y;z", "\xE2\x82\xAC", "1",
                               "'",      "\t",    "0x7fffffff",   "\xE4\xB8\xAD"};

using fuzz::Check;

std::string ReadHost() {
  std::ifstream in(fuzz::ScratchDrive() / "fuzz.ini", std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// A name from the table, or (past its end) one taken from the file itself so
// that existing sections and keys get hit: the text after the n-th "[" up to "]",
// or before the n-th "=".
std::string Pick(const char* const* table, size_t count, uint8_t selector, std::string_view file,
                 char open, char close) {
  if (selector % 16 < count) return table[selector % 16];
  size_t n = selector / 16, pos = 0;
  for (;; --n) {
    size_t at = file.find(close, pos);
    if (at == file.npos) return table[0];
    if (n == 0) {
      size_t from = open ? file.find_last_of(open, at) : file.find_last_of("\r\n", at);
      from = from == file.npos || from < pos ? pos : from + 1;
      return platform::FromAnsi(file.substr(from, at - from));
    }
    pos = at + 1;
  }
}

struct Line {
  std::string content, ending;
  bool operator==(const Line&) const = default;
};

// CR LF, LF and a lone CR end a line.
std::vector<Line> Split(std::string_view s) {
  std::vector<Line> lines;
  size_t pos = 0;
  while (pos < s.size()) {
    size_t i = s.find_first_of("\r\n", pos);
    if (i == s.npos) {
      lines.push_back({std::string(s.substr(pos)), ""});
      break;
    }
    size_t len = (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') ? 2 : 1;
    lines.push_back({std::string(s.substr(pos, i - pos)), std::string(s.substr(i, len))});
    pos = i + len;
  }
  return lines;
}

std::string_view Trim(std::string_view s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == s.npos) return {};
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

std::string Name(std::string_view utf8) {
  return platform::FromAnsi(Trim(platform::ToAnsi(utf8)));
}

// A Unicode file is compared as the text it holds, each UTF-16 unit as its
// Windows-1252 character. A stray last byte is no part of the text: the step
// keeps it at the end, behind what it adds, so that the units stay aligned.
std::string AsText(const std::string& bytes) {
  if (bytes.size() < 2 || bytes[0] != '\xFF' || bytes[1] != '\xFE') return bytes;
  std::string text;
  size_t i = 2;
  for (; i + 1 < bytes.size(); i += 2) {
    const char32_t unit = static_cast<uint8_t>(bytes[i]) | static_cast<uint8_t>(bytes[i + 1]) << 8;
    text += platform::ToAnsi(platform::EncodeUtf8(unit));
  }
  return text;
}

// The change from before to after is nothing, one replaced entry line, or new
// lines (a key, or a header and a key) with at most a CR LF added to the line
// before them.
void CheckDiff(const std::string& before, const std::string& after, const std::string& sec,
               const std::string& key, const std::string& value) {
  std::vector<Line> a = Split(before), b = Split(after);
  size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
  size_t j = 0;
  while (j < a.size() - i && j < b.size() - i && a[a.size() - 1 - j] == b[b.size() - 1 - j]) ++j;
  std::vector<Line> removed(a.begin() + i, a.end() - j), added(b.begin() + i, b.end() - j);
  Check(!(removed.empty() && added.empty()), "write reported a change but made none");
  if (removed.size() == 1 && added.size() == 1) {
    const std::string& old = removed[0].content;
    const std::string& now = added[0].content;
    Check(removed[0].ending == added[0].ending, "replaced line keeps its break");
    Check(now.size() > value.size(), "replaced line holds the value");
    size_t p = now.size() - value.size() - 1;
    Check(now.compare(p + 1, value.npos, value) == 0, "replaced line ends in the value");
    Check(now[p] == '=' && old.size() > p && old.compare(0, p, now, 0, p) == 0,
          "replaced line keeps the key as it stands");
    return;
  }
  size_t k = 0;
  if (removed.size() == 1) {
    Check(
        removed[0].ending.empty() && !added.empty() && added[0] == Line{removed[0].content, "\r\n"},
        "only an unterminated last line gets a break");
    k = 1;
  } else {
    Check(removed.empty(), "no other line is removed");
  }
  std::vector<Line> block(added.begin() + k, added.end());
  Line entry{key + "=" + value, "\r\n"};
  bool ok = (block.size() == 1 && block[0] == entry) ||
            (block.size() == 2 && block[0] == Line{"[" + sec + "]", "\r\n"} && block[1] == entry);
  Check(ok, "inserted lines are the entry, or the header and the entry");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint8_t sel[5] = {};
  size_t n = size < 5 ? size : 5;
  for (size_t i = 0; i < n; ++i) sel[i] = data[i];
  std::string file(reinterpret_cast<const char*>(data) + n, size - n);
  fuzz::WriteScratch("fuzz.ini", file);

  std::string sec = Pick(kSections, std::size(kSections), sel[0], file, '[', ']');
  std::string key = Pick(kKeys, std::size(kKeys), sel[1], file, 0, '=');
  std::string value = kValues[sel[2] % std::size(kValues)];
  std::string key2 = Pick(kKeys, std::size(kKeys), sel[4], file, 0, '=');
  fprintf(stderr, "sec=[%s] key=[%s] value=[%s]\n", sec.c_str(), key.c_str(), value.c_str());

  // Reads stay within their buffer and agree with each other.
  auto full = platform::GetPrivateProfileStringA(sec, key,
                                                 "\x01"
                                                 "a",
                                                 1u << 24, kFile);
  Check(full.count == platform::ToAnsi(full.text).size(), "count is the character count");
  for (uint32_t size : {0u, 1u, 2u, static_cast<uint32_t>(sel[3])}) {
    auto cut = platform::GetPrivateProfileStringA(sec, key,
                                                  "\x01"
                                                  "a",
                                                  size, kFile);
    Check(cut.count <= (size ? size - 1 : 0), "count within the buffer");
    Check(platform::ToAnsi(full.text).compare(0, cut.count, platform::ToAnsi(cut.text)) == 0 &&
              platform::ToAnsi(cut.text).size() == cut.count,
          "a cut value is the start of the whole value");
  }
  auto other = platform::GetPrivateProfileStringA(sec, key,
                                                  "\x01"
                                                  "b",
                                                  1u << 24, kFile);
  bool missing = full.text != other.text;
  int32_t number = platform::GetPrivateProfileIntA(sec, key, 12345, kFile);
  if (missing) Check(number == 12345, "missing entry gives the default number");
  auto second = platform::GetPrivateProfileStringA(sec, key2,
                                                   "\x01"
                                                   "c",
                                                   1u << 24, kFile);

  // A write changes only its own line, or adds lines.
  int32_t result = platform::WritePrivateProfileStringA(sec, key, value, kFile);
  std::string after = ReadHost();
  if (result == 0) {
    Check(after == file, "a refused write changes nothing");
    return 0;
  }
  std::string valueAnsi = platform::ToAnsi(value);
  if (AsText(file) != file && file.size() % 2)
    Check(after.size() % 2 && after.back() == file.back(), "a stray last byte stays last");
  if (after != file)
    CheckDiff(AsText(file), AsText(after), platform::ToAnsi(Name(sec)), platform::ToAnsi(Name(key)),
              valueAnsi);

  std::string_view expected = Trim(valueAnsi);
  if (expected.size() >= 2 && (expected[0] == '"' || expected[0] == '\'') &&
      expected.back() == expected[0])
    expected = expected.substr(1, expected.size() - 2);
  auto back = platform::GetPrivateProfileStringA(sec, key,
                                                 "\x01"
                                                 "a",
                                                 1u << 24, kFile);
  Check(platform::ToAnsi(back.text) == expected, "the written value reads back");
  if (!platform::EqualIgnoringCase(Name(key), Name(key2))) {
    auto second2 = platform::GetPrivateProfileStringA(sec, key2,
                                                      "\x01"
                                                      "c",
                                                      1u << 24, kFile);
    Check(second2.text == second.text, "other entries keep their values");
  }

  // Writing the same value again succeeds and leaves the file as it is.
  Check(platform::WritePrivateProfileStringA(sec, key, value, kFile) != 0, "rewrite succeeds");
  Check(ReadHost() == after, "rewriting the same value changes nothing");
  return 0;
}
