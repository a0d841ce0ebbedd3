// Locale-aware conversion of text to a number, as the Windows runtime's numeric
// test and conversion do it, following the process's locale (LC_ALL, LC_NUMERIC,
// LANG). Number formatting for files is locale-independent (see FormatFloat).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

struct NumberFormat {
  char decimal = '.';
  std::string grouping = ",";  // UTF-8; may be a no-break space
};

// The separators of the process's numeric locale. Falls back to a table of
// languages when the host has no such locale installed.
NumberFormat CurrentNumberFormat();
// The separators of a named locale ("de_DE.UTF-8", "C").
NumberFormat NumberFormatOf(std::string_view localeName);

// The double the text stands for, or nothing when the text is not numeric:
// surrounding blanks, a leading sign, grouping separators in the integer part,
// the decimal separator and an exponent are accepted; the empty text, "NaN",
// "Infinity", hexadecimal "0x" forms and values beyond the double range are not.
std::optional<double> ParseNumber(std::string_view text, const NumberFormat& format);
std::optional<double> ParseNumber(std::string_view text);

// A number as files hold it, whatever the locale: "." as decimal point and no
// grouping ("1.5" is one and a half, "1,5" no number).
std::optional<double> ParseFileNumber(std::string_view text);

// A whole number in plain decimal digits ("-3", "100000000000000000000"): no
// separators and no exponent, so the numeric test of any locale reads it back as
// the same whole number.
std::string WholeNumberText(double whole);

// A float in the runtime's locale-independent form: "." as decimal point, no
// grouping, no leading zero between -1 and 1 (.5, -.25).
std::string FormatFloat(double value);

}  // namespace platform
