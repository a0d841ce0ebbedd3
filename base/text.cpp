#include "base/text.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace platform {
namespace {

// Unicode code points of Windows-1252 bytes 0x80..0x9F.
constexpr char32_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t AnsiToCodePoint(unsigned char b) {
  if (b >= 0x80 && b < 0xA0) return kHigh[b - 0x80];
  return b;
}

int CodePointToAnsi(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
  for (int i = 0; i < 32; ++i)
    if (kHigh[i] == c) return 0x80 + i;
  return -1;
}

// Decodes one UTF-8 sequence at s[i]; returns U+FFFD-like sentinel 0xFFFFFFFF on
// invalid input and always advances i by at least one byte.
char32_t Decode(std::string_view s, size_t& i) {
  auto b = static_cast<unsigned char>(s[i]);
  if (b < 0x80) {
    ++i;
    return b;
  }
  int len = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
  if (len == 0 || i + len > s.size()) {
    ++i;
    return 0xFFFFFFFF;
  }
  char32_t c = b & (0x7F >> len);
  for (int k = 1; k < len; ++k) {
    auto cb = static_cast<unsigned char>(s[i + k]);
    if ((cb & 0xC0) != 0x80) {
      ++i;
      return 0xFFFFFFFF;
    }
    c = (c << 6) | (cb & 0x3F);
  }
  static constexpr char32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kMin[len] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    ++i;
    return 0xFFFFFFFF;
  }
  i += len;
  return c;
}

// Writes the UTF-8 bytes of c to out (room for four); returns their number.
size_t EncodeTo(char32_t c, char* out) {
  if (c < 0x80) {
    out[0] = static_cast<char>(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = static_cast<char>(0xC0 | (c >> 6));
    out[1] = static_cast<char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (c >> 12));
    out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (c >> 18));
  out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (c & 0x3F));
  return 4;
}

void Encode(char32_t c, std::string& out) {
  char bytes[4];
  out.append(bytes, EncodeTo(c, bytes));
}

char32_t Upper(char32_t c) {
  if (c >= 'a' && c <= 'z') return c - 32;
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 32;
  switch (c) {
    case 0xFF:
      return 0x178;
    case 0x161:
      return 0x160;
    case 0x153:
      return 0x152;
    case 0x17E:
      return 0x17D;
    default:
      return c;
  }
}

}  // namespace

std::string ToAnsi(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    char32_t c = Decode(utf8, i);
    int a = c == 0xFFFFFFFF ? -1 : CodePointToAnsi(c);
    out += a < 0 ? '?' : static_cast<char>(a);
  }
  return out;
}

std::string FromAnsi(std::string_view ansi) {
  std::string out;
  out.reserve(ansi.size());
  for (char ch : ansi) Encode(AnsiToCodePoint(static_cast<unsigned char>(ch)), out);
  return out;
}

bool SpelledInAnsi(std::string_view utf8) {
  return FromAnsi(ToAnsi(utf8)) == utf8;
}

std::string UpperCase(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    size_t start = i;
    char32_t c = Decode(utf8, i);
    if (c == 0xFFFFFFFF)
      out.append(utf8.substr(start, i - start));
    else
      Encode(Upper(c), out);
  }
  return out;
}

namespace {

// The bytes of UpperCase(text), one at a time, without building the string:
// listings sort and name indexes hash and compare with it, many times per name.
class UpperBytes {
 public:
  explicit UpperBytes(std::string_view text) : text_(text) {}

  // The next byte, or -1 at the end.
  int Next() {
    if (at_ == size_) {
      if (i_ >= text_.size()) return -1;
      auto b = static_cast<unsigned char>(text_[i_]);
      if (b < 0x80) {
        ++i_;
        return b >= 'a' && b <= 'z' ? b - 32 : b;
      }
      const size_t start = i_;
      const char32_t c = Decode(text_, i_);
      if (c == 0xFFFFFFFF) {
        bytes_[0] = text_[start];  // an invalid byte stays as it is
        size_ = 1;
      } else {
        size_ = EncodeTo(Upper(c), bytes_);
      }
      at_ = 0;
    }
    return static_cast<unsigned char>(bytes_[at_++]);
  }

 private:
  std::string_view text_;
  size_t i_ = 0;
  char bytes_[4] = {};  // the current character, upper case
  size_t at_ = 0, size_ = 0;
};

// Compares UpperCase(a) with UpperCase(b) as std::string does (bytes unsigned).
int CompareUpper(std::string_view a, std::string_view b) {
  // The common ASCII start byte by byte; what follows from the first other byte
  // on, which starts a character in both texts.
  const size_t n = std::min(a.size(), b.size());
  size_t i = 0;
  for (; i < n; ++i) {
    auto p = static_cast<unsigned char>(a[i]), q = static_cast<unsigned char>(b[i]);
    if ((p | q) >= 0x80) break;
    if (p == q) continue;
    if (p >= 'a' && p <= 'z') p -= 32;
    if (q >= 'a' && q <= 'z') q -= 32;
    if (p != q) return p < q ? -1 : 1;
  }
  if (i == n) return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
  UpperBytes x(a.substr(i)), y(b.substr(i));
  for (;;) {
    const int p = x.Next(), q = y.Next();
    if (p != q) return p < q ? -1 : 1;
    if (p < 0) return 0;
  }
}

}  // namespace

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  return CompareUpper(a, b) == 0;
}

bool LessIgnoringCase(std::string_view a, std::string_view b) {
  if (const int c = CompareUpper(a, b)) return c < 0;
  return a < b;
}

size_t HashIgnoringCase(std::string_view text) {
  // FNV-1a over the upper-case bytes.
  uint64_t h = 0xcbf29ce484222325ull;
  UpperBytes bytes(text);
  for (int b = bytes.Next(); b >= 0; b = bytes.Next())
    h = (h ^ static_cast<uint64_t>(b)) * 0x100000001b3ull;
  return static_cast<size_t>(h);
}

std::string TrimBlanks(std::string_view s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(' ');
  return std::string(s.substr(b, e - b + 1));
}

size_t CharCount(std::string_view utf8) {
  size_t n = 0;
  for (size_t i = 0; i < utf8.size(); ++n) Decode(utf8, i);
  return n;
}

static size_t ByteOffset(std::string_view utf8, size_t chars) {
  size_t i = 0;
  while (chars > 0 && i < utf8.size()) {
    Decode(utf8, i);
    --chars;
  }
  return i;
}

std::string LeftChars(std::string_view utf8, size_t n) {
  return std::string(utf8.substr(0, ByteOffset(utf8, n)));
}

std::string MidChars(std::string_view utf8, size_t start, size_t n) {
  size_t b = ByteOffset(utf8, start);
  std::string_view rest = utf8.substr(b);
  if (n == std::string::npos) return std::string(rest);
  return std::string(rest.substr(0, ByteOffset(rest, n)));
}

std::u32string DecodeUtf8(std::string_view utf8) {
  std::u32string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const char32_t c = Decode(utf8, i);
    out.push_back(c == 0xFFFFFFFF ? U'?' : c);
  }
  return out;
}

char32_t DecodeUtf8At(std::string_view utf8, size_t& i) {
  return Decode(utf8, i);
}

std::string EncodeUtf8(char32_t ch) {
  std::string out;
  Encode(ch, out);
  return out;
}

}  // namespace platform
