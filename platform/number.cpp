#include "platform/number.h"

#include <langinfo.h>
#include <locale.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

constexpr const char* kNoBreakSpace = "\xC2\xA0";            // U+00A0
constexpr const char* kNarrowNoBreakSpace = "\xE2\x80\xAF";  // U+202F, newer locale data

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsLower(std::string_view a, std::string_view lowerB) {
  if (a.size() != lowerB.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != lowerB[i]) return false;
  return true;
}

// Separators by language when the host lacks the locale's data. The language is
// the part of the name before "_", the country the part after it.
NumberFormat TableFormat(std::string_view language, std::string_view country) {
  static constexpr std::string_view kCommaPoint[] = {"de", "it", "es", "nl", "da",
                                                     "pt", "id", "tr", "el"};
  static constexpr std::string_view kCommaBlank[] = {"fr", "sv", "fi", "nb", "nn", "no", "pl",
                                                     "cs", "sk", "ru", "uk", "hu", "bg"};
  if (EqualsLower(language, "de") && EqualsLower(country, "ch")) return {'.', "'"};
  for (auto l : kCommaPoint)
    if (EqualsLower(language, l)) return {',', "."};
  for (auto l : kCommaBlank)
    if (EqualsLower(language, l)) return {',', kNoBreakSpace};
  return {'.', ","};
}

// A separator must not be mistaken for a part of the number itself.
bool UsableSeparator(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (IsDigit(c) || c == '+' || c == '-' || c == 'e' || c == 'E' || c == ' ' || c == '&' ||
        static_cast<unsigned char>(c) < 0x20)
      return false;
  return true;
}

// Reads the installed locale's separators into format; leaves it as it is when
// the host does not have the locale.
void ApplyInstalledLocale(const std::string& name, NumberFormat& format) {
  // A name with "/" would make the C library load locale data from a path.
  if (name.empty() || name.find('/') != std::string::npos) return;
  locale_t loc = newlocale(LC_NUMERIC_MASK, name.c_str(), static_cast<locale_t>(0));
  if (loc == static_cast<locale_t>(0)) return;
  std::string radix = nl_langinfo_l(RADIXCHAR, loc);
  std::string thousands = nl_langinfo_l(THOUSEP, loc);
  freelocale(loc);
  if (radix.size() == 1 && UsableSeparator(radix)) format.decimal = radix[0];
  // An empty grouping (as in the C locale's data) says nothing, so the table's stays.
  if (UsableSeparator(thousands)) format.grouping = thousands;
  if (format.grouping == std::string(1, format.decimal)) format.grouping.clear();
}

locale_t CLocale() {
  static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return loc;
}

bool StartsWith(std::string_view s, size_t pos, std::string_view prefix) {
  return !prefix.empty() && s.size() - pos >= prefix.size() &&
         s.substr(pos, prefix.size()) == prefix;
}

// "&H1F" and "&O17": the runtime reads them as a 32-bit integer, so the top bit
// gives a negative number (&HFFFFFFFF is -1).
std::optional<double> ParseRadixForm(std::string_view body) {
  if (body.size() < 3 || body[0] != '&') return std::nullopt;
  char kind = Lower(body[1]);
  int base = kind == 'h' ? 16 : kind == 'o' ? 8 : 0;
  if (base == 0) return std::nullopt;
  std::string_view digits = body.substr(2);
  uint64_t value = 0;
  for (char c : digits) {
    int d;
    if (IsDigit(c))
      d = c - '0';
    else if (base == 16 && Lower(c) >= 'a' && Lower(c) <= 'f')
      d = Lower(c) - 'a' + 10;
    else
      return std::nullopt;
    if (d >= base) return std::nullopt;
    value = value * base + d;
    if (value > 0xFFFFFFFFu) return std::nullopt;
  }
  return static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(value)));
}

}  // namespace

NumberFormat NumberFormatOf(std::string_view localeName) {
  std::string_view base = localeName.substr(0, localeName.find_first_of(".@"));
  size_t underscore = base.find('_');
  std::string_view language = base.substr(0, underscore);
  std::string_view country =
      underscore == std::string_view::npos ? std::string_view() : base.substr(underscore + 1);
  NumberFormat format = TableFormat(language, country);
  ApplyInstalledLocale(std::string(localeName), format);
  return format;
}

NumberFormat CurrentNumberFormat() {
  for (const char* variable : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return NumberFormatOf(value);
  }
  return NumberFormatOf("C");
}

std::optional<double> ParseNumber(std::string_view text, const NumberFormat& format) {
  size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return std::nullopt;
  size_t last = text.find_last_not_of(' ');
  std::string_view body = text.substr(first, last - first + 1);

  if (body[0] == '&') return ParseRadixForm(body);

  // Rewritten in the C form, which strtod_l then reads with the C locale.
  std::string c;
  c.reserve(body.size() + 1);
  size_t i = 0;
  if (body[i] == '+' || body[i] == '-') c += body[i++];

  // Users type an ordinary blank where the locale groups with a no-break space.
  bool blankGroups = format.grouping == kNoBreakSpace || format.grouping == kNarrowNoBreakSpace;
  bool mantissaDigits = false;
  // Integer part: digits, with grouping characters anywhere after the first digit.
  while (i < body.size()) {
    if (IsDigit(body[i])) {
      c += body[i++];
      mantissaDigits = true;
    } else if (!mantissaDigits || body[i] == format.decimal) {
      break;
    } else if (!format.grouping.empty() && StartsWith(body, i, format.grouping)) {
      i += format.grouping.size();
    } else if (blankGroups && body[i] == ' ') {
      ++i;
    } else {
      break;
    }
  }
  if (i < body.size() && body[i] == format.decimal) {
    c += '.';
    ++i;
    while (i < body.size() && IsDigit(body[i])) {
      c += body[i++];
      mantissaDigits = true;
    }
  }
  if (!mantissaDigits) return std::nullopt;
  if (i < body.size() && (body[i] == 'e' || body[i] == 'E')) {
    c += 'e';
    ++i;
    if (i < body.size() && (body[i] == '+' || body[i] == '-')) c += body[i++];
    bool exponentDigits = false;
    while (i < body.size() && IsDigit(body[i])) {
      c += body[i++];
      exponentDigits = true;
    }
    if (!exponentDigits) return std::nullopt;
  }
  if (i != body.size()) return std::nullopt;

  locale_t loc = CLocale();
  if (loc == static_cast<locale_t>(0)) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  double value = strtod_l(c.c_str(), &end, loc);
  if (end != c.c_str() + c.size()) return std::nullopt;
  // Overflow is a failure of the conversion; a value too small to hold becomes
  // zero (or the nearest subnormal), as the runtime rounds it.
  if (errno == ERANGE && std::isinf(value)) return std::nullopt;
  return value;
}

std::optional<double> ParseNumber(std::string_view text) {
  return ParseNumber(text, CurrentNumberFormat());
}

std::string FormatFloat(double value) {
  if (std::isnan(value)) return "-1.#IND";
  if (std::isinf(value)) return value < 0 ? "-1.#INF" : "1.#INF";
  if (value == 0) return "0";  // also minus zero
  // 15 significant digits, exponent form below 1E-04 and from 1E+15 on: the
  // general form of printf, which to_chars gives without regard to the locale.
  char buffer[64];
  auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
  if (ec != std::errc()) return "0";
  std::string s(buffer, end);
  for (char& ch : s)
    if (ch == 'e') ch = 'E';
  if (s.starts_with("0."))
    s.erase(0, 1);
  else if (s.starts_with("-0."))
    s.erase(1, 1);
  return s;
}

std::optional<double> ParseFileNumber(std::string_view text) {
  return ParseNumber(text, NumberFormat{'.', ""});
}

std::string WholeNumberText(double whole) {
  if (whole == 0) return "0";  // never "-0"
  char buffer[400];            // the largest double has 309 digits
  std::snprintf(buffer, sizeof buffer, "%.0f", whole);
  return buffer;
}

}  // namespace platform
