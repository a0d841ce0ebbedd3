#include "platform/number.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "test_support.h"

namespace platform {
namespace {

const NumberFormat kPoint = NumberFormatOf("en_US.UTF-8");
const NumberFormat kComma = NumberFormatOf("de_DE.UTF-8");
const NumberFormat kBlank = NumberFormatOf("fr_FR.UTF-8");

using testsupport::LocaleEnv;

TEST(NumberFormatTest, TableByLanguage) {
  EXPECT_EQ(kPoint.decimal, '.');
  EXPECT_EQ(kPoint.grouping, ",");
  EXPECT_EQ(kComma.decimal, ',');
  EXPECT_EQ(kComma.grouping, ".");
  EXPECT_EQ(kBlank.decimal, ',');
  EXPECT_EQ(kBlank.grouping, "\xC2\xA0");
  NumberFormat swiss = NumberFormatOf("de_CH.UTF-8");
  EXPECT_EQ(swiss.decimal, '.');
  EXPECT_EQ(swiss.grouping, "'");
  EXPECT_EQ(NumberFormatOf("pt_BR").decimal, ',');
  EXPECT_EQ(NumberFormatOf("ru_RU.UTF-8").grouping, "\xC2\xA0");
  // Installed locales whose data leaves grouping empty keep the table's.
  for (const char* name : {"C", "POSIX", "C.UTF-8", ""}) {
    EXPECT_EQ(NumberFormatOf(name).decimal, '.') << name;
    EXPECT_EQ(NumberFormatOf(name).grouping, ",") << name;
  }
}

TEST(NumberFormatTest, CurrentFollowsLcAllThenLcNumericThenLang) {
  {
    LocaleEnv env("de_DE.UTF-8", "en_US.UTF-8", "en_US.UTF-8");
    EXPECT_EQ(CurrentNumberFormat().decimal, ',');
    EXPECT_EQ(ParseNumber("2,5"), 2.5);
  }
  {
    LocaleEnv env("", "fr_FR.UTF-8", "en_US.UTF-8");
    EXPECT_EQ(CurrentNumberFormat().decimal, ',');
  }
  {
    LocaleEnv env(nullptr, nullptr, "it_IT.UTF-8");
    EXPECT_EQ(CurrentNumberFormat().decimal, ',');
  }
  {
    LocaleEnv env("en_GB.UTF-8", "de_DE.UTF-8", "de_DE.UTF-8");
    EXPECT_EQ(CurrentNumberFormat().decimal, '.');
    EXPECT_EQ(ParseNumber("2,5"), 25.0);
    EXPECT_EQ(ParseNumber("2.7"), 2.7);
  }
  {
    LocaleEnv env(nullptr, nullptr, nullptr);
    EXPECT_EQ(CurrentNumberFormat().decimal, '.');
  }
}

TEST(ParseNumberTest, PointLocale) {
  EXPECT_EQ(ParseNumber("12", kPoint), 12.0);
  EXPECT_EQ(ParseNumber("2.7", kPoint), 2.7);
  EXPECT_EQ(ParseNumber("-2.3", kPoint), -2.3);
  EXPECT_EQ(ParseNumber("+7", kPoint), 7.0);
  EXPECT_EQ(ParseNumber("  42  ", kPoint), 42.0);
  EXPECT_EQ(ParseNumber("5.", kPoint), 5.0);
  EXPECT_EQ(ParseNumber(".5", kPoint), 0.5);
  EXPECT_EQ(ParseNumber("1e3", kPoint), 1000.0);
  EXPECT_EQ(ParseNumber("1.5E+2", kPoint), 150.0);
  EXPECT_EQ(ParseNumber("25e-1", kPoint), 2.5);
  // Grouping is loose in the integer part.
  EXPECT_EQ(ParseNumber("1,000", kPoint), 1000.0);
  EXPECT_EQ(ParseNumber("1,2,3", kPoint), 123.0);
  EXPECT_EQ(ParseNumber("1,000.25", kPoint), 1000.25);
  auto minusZero = ParseNumber("-0", kPoint);
  ASSERT_TRUE(minusZero);
  EXPECT_EQ(*minusZero, 0.0);
  EXPECT_TRUE(std::signbit(*minusZero));
}

TEST(ParseNumberTest, CommaLocale) {
  EXPECT_EQ(ParseNumber("2,5", kComma), 2.5);
  EXPECT_EQ(ParseNumber("1.000", kComma), 1000.0);
  EXPECT_EQ(ParseNumber("1.000,5", kComma), 1000.5);
  EXPECT_EQ(ParseNumber(",5", kComma), 0.5);
  EXPECT_EQ(ParseNumber("5,", kComma), 5.0);
  EXPECT_EQ(ParseNumber("1,5e3", kComma), 1500.0);
  EXPECT_FALSE(ParseNumber("1,000.5", kComma));  // grouping after the decimal separator
  EXPECT_FALSE(ParseNumber(".5", kComma));       // grouping may not come first

  // No-break space groups; an ordinary blank typed in its place is taken too.
  EXPECT_EQ(ParseNumber("1\xC2\xA0"
                        "000,5",
                        kBlank),
            1000.5);
  EXPECT_EQ(ParseNumber("1 000", kBlank), 1000.0);
  EXPECT_FALSE(ParseNumber("1 000", kPoint));
  EXPECT_FALSE(ParseNumber("1,5 0", kBlank));

  NumberFormat swiss = NumberFormatOf("de_CH");
  EXPECT_EQ(ParseNumber("1'234.5", swiss), 1234.5);
}

TEST(ParseNumberTest, NotNumeric) {
  for (const char* t :
       {"",    " ",         "   ",  "abc",   "12a", "a12",     "NaN",   "nan",   "Infinity",
        "inf", "-Infinity", "0x10", "1e",    "1e+", "e3",      ".",     "-",     "+",
        "+-5", "--5",       "- 5",  ",5",    ",",   "1.000.5", "1.5,0", "1e3,0", "1e3.5",
        "\t5", "5\t",       "5\n",  "1\x01", "$5",  "(5)",     "5 5"}) {
    EXPECT_FALSE(ParseNumber(t, kPoint)) << '"' << t << '"';
  }
  EXPECT_FALSE(ParseNumber(std::string_view("5\0"
                                            "1",
                                            3),
                           kPoint));
  EXPECT_FALSE(ParseNumber(std::string_view("\0", 1), kPoint));
  EXPECT_FALSE(ParseNumber("5-", kPoint));  // a trailing sign is refused
}

TEST(ParseNumberTest, Range) {
  EXPECT_FALSE(ParseNumber("1e400", kPoint));
  EXPECT_FALSE(ParseNumber("-1e400", kPoint));
  EXPECT_FALSE(ParseNumber("1e99999999999999999999", kPoint));
  EXPECT_EQ(ParseNumber("1.7976931348623157e308", kPoint), std::numeric_limits<double>::max());
  EXPECT_EQ(ParseNumber("1e-400", kPoint), 0.0);  // too small rounds to zero
  EXPECT_EQ(ParseNumber("0e99999", kPoint), 0.0);

  std::string hundred(100, '9');
  auto big = ParseNumber(hundred, kPoint);
  ASSERT_TRUE(big);
  EXPECT_NEAR(*big / 1e100, 1.0, 1e-12);
  std::string grouped = "1" + std::string(99, '0');
  EXPECT_EQ(ParseNumber(grouped, kPoint), 1e99);
  std::string longFraction = "0." + std::string(98, '5');
  EXPECT_NEAR(*ParseNumber(longFraction, kPoint), 0.5555555555555556, 1e-15);
}

// The runtime takes "&H" and "&O" forms as 32-bit integers.
TEST(ParseNumberTest, HexAndOctalForms) {
  EXPECT_EQ(ParseNumber("&H10", kPoint), 16.0);
  EXPECT_EQ(ParseNumber("&h1f", kPoint), 31.0);
  EXPECT_EQ(ParseNumber(" &O17 ", kComma), 15.0);
  EXPECT_EQ(ParseNumber("&H7FFFFFFF", kPoint), 2147483647.0);
  EXPECT_EQ(ParseNumber("&HFFFFFFFF", kPoint), -1.0);
  EXPECT_EQ(ParseNumber("&H80000000", kPoint), -2147483648.0);
  EXPECT_EQ(ParseNumber("&O37777777777", kPoint), -1.0);
  EXPECT_EQ(ParseNumber("&H000000010", kPoint), 16.0);
  for (const char* t : {"&H", "&O", "&", "&H100000000", "&O40000000000", "&HG", "&O8", "-&H10",
                        "&H1.5", "&X10", "&H 10"}) {
    EXPECT_FALSE(ParseNumber(t, kPoint)) << t;
  }
}

TEST(FormatFloatTest, RuntimeForm) {
  EXPECT_EQ(FormatFloat(0.0), "0");
  EXPECT_EQ(FormatFloat(-0.0), "0");
  EXPECT_EQ(FormatFloat(3.0), "3");
  EXPECT_EQ(FormatFloat(0.5), ".5");
  EXPECT_EQ(FormatFloat(-0.25), "-.25");
  EXPECT_EQ(FormatFloat(0.1), ".1");
  EXPECT_EQ(FormatFloat(1234567.5), "1234567.5");
  EXPECT_EQ(FormatFloat(1.0 / 3.0), ".333333333333333");
  EXPECT_EQ(FormatFloat(0.0001), ".0001");
  EXPECT_EQ(FormatFloat(0.00001), "1E-05");
  EXPECT_EQ(FormatFloat(1.5e-7), "1.5E-07");
  EXPECT_EQ(FormatFloat(999999999999999.0), "999999999999999");
  EXPECT_EQ(FormatFloat(1e15), "1E+15");
  EXPECT_EQ(FormatFloat(1e20), "1E+20");
  EXPECT_EQ(FormatFloat(1e100), "1E+100");
  EXPECT_EQ(FormatFloat(123456789012345678.0), "1.23456789012346E+17");
}

TEST(FormatFloatTest, IgnoresLocaleAndReadsBack) {
  LocaleEnv env("de_DE.UTF-8", nullptr, nullptr);
  EXPECT_EQ(FormatFloat(1234.5), "1234.5");
  for (double v : {0.5, -0.25, 3.0, 1e20, 1.5e-7, 1234.5}) {
    EXPECT_EQ(ParseNumber(FormatFloat(v), kPoint), v) << v;
  }
}

}  // namespace
}  // namespace platform
