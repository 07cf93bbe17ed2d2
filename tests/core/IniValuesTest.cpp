// Reading and writing the value forms of the settings file.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <random>

#include "common/DateTime.h"
#include "config/IniValues.h"

namespace hv {
namespace {

TEST(IniInteger, ReadsDecimalAndHexadecimalForms) {
  struct Case {
    const char* text;
    int32_t value;
  } cases[] = {
      {"0", 0},
      {"42", 42},
      {"+42", 42},
      {"-5", -5},
      {"  7", 7},
      {"007", 7},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"$10", 16},
      {"x10", 16},
      {"X1f", 31},
      {"0x10", 16},
      {"0XfF", 255},
      {"$FFFFFFFF", -1},
      {"$80000000", INT32_MIN},
      {"$000000001", 1},  // eight significant digits
      {"0x7fffffff", 2147483647},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseIniInteger(c.text, 1234), c.value) << c.text;
}

TEST(IniInteger, AnythingElseGivesTheDefault) {
  for (const char* text :
       {"",      "   ",   "+",          "-",           "$",          "0x",          "x",
        "16abc", "1 2",   "7 ",         "1.0",         "1e3",        "true",        "yes",
        "-$10",  "+0x10", "$1FFFFFFFF", "0x123456789", "2147483648", "-2147483649", "999999999999",
        "00x10", "$G",    "--1",        "\t",          "0x-1"})
    EXPECT_EQ(ParseIniInteger(text, -77), -77) << "'" << text << "'";
}

TEST(IniInteger, WrittenFormReadsBack) {
  for (int32_t v : {0, 1, -1, 10, -5, 2147483647, INT32_MIN}) {
    EXPECT_EQ(ParseIniInteger(FormatIniInteger(v), 99), v);
  }
  EXPECT_EQ(FormatIniInteger(-5), "-5");
  EXPECT_EQ(FormatIniInteger(16), "16");
}

TEST(IniBoolean, IntegersWithTheirDefault) {
  EXPECT_TRUE(ParseIniBoolean("1", false));
  EXPECT_TRUE(ParseIniBoolean("2", false));
  EXPECT_TRUE(ParseIniBoolean("-1", false));
  EXPECT_TRUE(ParseIniBoolean("$1", false));
  EXPECT_FALSE(ParseIniBoolean("0", true));
  EXPECT_FALSE(ParseIniBoolean("true", false));
  EXPECT_TRUE(ParseIniBoolean("true", true));
  EXPECT_TRUE(ParseIniBoolean("", true));
  EXPECT_EQ(FormatIniBoolean(true), "1");
  EXPECT_EQ(FormatIniBoolean(false), "0");
}

TEST(IniReal, WritesFifteenSignificantDigitsWithTheSeparatorOfTheMoment) {
  EXPECT_EQ(FormatIniReal(0.0, '.'), "0");
  EXPECT_EQ(FormatIniReal(46364.0, ','), "46364");
  EXPECT_EQ(FormatIniReal(46364.5, ','), "46364,5");
  EXPECT_EQ(FormatIniReal(46364.5, '.'), "46364.5");
  // 2026-12-08 12:00:01 carries a repeating fraction.
  const double t = *TryEncodeDate(2026, 12, 8) + *TryEncodeTime(12, 0, 1, 0);
  EXPECT_EQ(FormatIniReal(t, '.'), "46364.5000115741");
  EXPECT_EQ(FormatIniReal(-1.25, '.'), "-1.25");
}

TEST(IniReal, WritesDecimalNotationWhateverTheMagnitude) {
  const struct {
    double value;
    std::string text;
  } cases[] = {
      {-0.0, "0"},
      {0.00001, "0.00001"},  // a hand-edited value goes back as it was
      {-0.00001, "-0.00001"},
      {1.5e-7, "0.00000015"},
      {1.0 / 3.0, "0.333333333333333"},
      {2.0 / 3.0, "0.666666666666667"},
      {0.1 + 0.2, "0.3"},
      {999999999999999.0, "999999999999999"},
      {1e15, "1000000000000000"},
      {123456789012345678.0, "123456789012346000"},
      {-2.5e20, "-250000000000000000000"},
      {9.999999999999999e-5, "0.0001"},  // rounding carries into the next power of ten
      {1e-300, "0." + std::string(299, '0') + "1"},
      {std::numeric_limits<double>::infinity(), "0"},
      {std::nan(""), "0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatIniReal(c.value, '.'), c.text) << c.value;
    EXPECT_EQ(ParseIniReal(FormatIniReal(c.value, ','), ','),
              std::isfinite(c.value) ? ParseIniReal(c.text, '.') : 0.0);
  }
}

TEST(IniReal, ReadsDecimalNumbersWithTheSeparatorOfLoading) {
  struct Case {
    const char* text;
    char sep;
    double value;
  } cases[] = {
      {"46364,5", ',', 46364.5},
      {"46364.5", '.', 46364.5},
      {" 12 ", '.', 12.0},
      {"-1.5", '.', -1.5},
      {"+2", '.', 2.0},
      {"1e3", '.', 1000.0},
      {"1,5E-1", ',', 0.15},
      {".5", '.', 0.5},
      {"3.", '.', 3.0},
      {"46364,5", '.', 0.0},
      {"46364.5", ',', 0.0},
      {"1,000.5", '.', 0.0},
      {"", '.', 0.0},
      {"abc", '.', 0.0},
      {"1e", '.', 0.0},
      {"1e400", '.', 0.0},
      {"-1e400", '.', 0.0},
      {"nan", '.', 0.0},
      {"inf", '.', 0.0},
      {"0x10", '.', 0.0},
      {"1 2", '.', 0.0},
      {".", '.', 0.0},
      {"-", '.', 0.0},
  };
  for (const Case& c : cases)
    EXPECT_DOUBLE_EQ(ParseIniReal(c.text, c.sep), c.value) << c.text << " sep " << c.sep;
}

TEST(IniReal, DateTimesSurviveTheRoundTrip) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> day(0, 36500);
  std::uniform_int_distribution<int> second(0, 86399);
  for (int i = 0; i < 2000; ++i) {
    const double t = *TryEncodeDate(2000, 1, 1) + day(random) + second(random) / 86400.0;
    for (char sep : {'.', ','}) {
      const double back = ParseIniReal(FormatIniReal(t, sep), sep);
      // Fifteen digits keep the moment to well under a millisecond.
      EXPECT_NEAR(back, t, 1e-9) << FormatIniReal(t, sep);
    }
  }
}

TEST(IniValues, RandomTextNeverCrashesAndStaysWithinTheRules) {
  std::mt19937 random(2026);
  const std::string alphabet = "0123456789abcdefxX$+-., eE\tgz";
  std::uniform_int_distribution<size_t> length(0, 14);
  std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
  std::uniform_int_distribution<int> anyByte(1, 255);
  for (int i = 0; i < 200000; ++i) {
    std::string text;
    const size_t n = length(random);
    for (size_t k = 0; k < n; ++k)
      text += i % 4 == 0 ? static_cast<char>(anyByte(random)) : alphabet[pick(random)];
    const int32_t a = ParseIniInteger(text, 1111);
    const int32_t b = ParseIniInteger(text, 2222);
    // Either the text is an integer (both defaults give the same value and
    // it writes back to a form that reads the same), or both defaults.
    if (a != b) {
      EXPECT_EQ(a, 1111);
      EXPECT_EQ(b, 2222);
    } else {
      EXPECT_EQ(ParseIniInteger(FormatIniInteger(a), 0), a) << text;
    }
    const double r = ParseIniReal(text, i % 2 ? ',' : '.');
    EXPECT_TRUE(std::isfinite(r)) << text;
  }
}

}  // namespace
}  // namespace hv
