#include "pelmo/convert.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <bit>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "pelmo/error.h"
#include "pelmo/text.h"
#include "support/error_of.h"
#include "util/number_cleanup.h"

namespace pelmo {
namespace {

using testing::error_of;

TEST(NumberText, AutomationLayout) {
  EXPECT_EQ(number_to_text(0.495), u"0.495");
  EXPECT_EQ(number_to_text(2.5), u"2.5");
  EXPECT_EQ(number_to_text(15), u"15");
  EXPECT_EQ(number_to_text(1000.0 / 7), u"142.857142857143");
  EXPECT_EQ(number_to_text(38 / 12.5), u"3.04");
  EXPECT_EQ(number_to_text(1e15), u"1E+15");
  EXPECT_EQ(number_to_text(123456789012345.0), u"123456789012345");
  EXPECT_EQ(number_to_text(0.0001), u"0.0001");
  EXPECT_EQ(number_to_text(0.00001), u"1E-05");
  EXPECT_EQ(number_to_text(-0.0), u"0");
  EXPECT_EQ(number_to_text(-3), u"-3");
}

std::u16string c_formatted(double d) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.15G", d);
  return std::u16string(buffer, buffer + std::char_traits<char>::length(buffer));
}

TEST(NumberText, SameAsCFormattingForAnyDouble) {
  ASSERT_NE(std::setlocale(LC_NUMERIC, "C"), nullptr);
  std::mt19937_64 random(20261208);
  std::uniform_int_distribution<int> digits(1, 17), exponent(-30, 30);
  for (int i = 0; i < 100'000; ++i) {
    // Any bit pattern covers the whole range; short decimals land on rounding ties.
    double d = std::bit_cast<double>(random());
    if (i % 2 == 1) {
      std::uint64_t limit = 1;
      for (int k = digits(random); k > 0; --k) limit *= 10;
      const std::string decimal =
          std::to_string(random() % limit) + "e" + std::to_string(exponent(random));
      d = std::strtod(decimal.c_str(), nullptr);
    }
    if (!std::isfinite(d) || d == 0) continue;
    ASSERT_EQ(number_to_text(d), c_formatted(d)) << std::hexfloat << d;
  }
}

// A locale whose decimal separator is a comma: an installed one, or else one built into a
// temporary directory from the system's German numeric rules. Empty when neither works.
std::string comma_locale() {
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8"}) {
    if (std::setlocale(LC_NUMERIC, name) != nullptr) return name;
  }
  const std::filesystem::path dir =
      std::filesystem::path(::testing::TempDir()) / ("pelmo_locale_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "comma.src") << "LC_NUMERIC\ncopy \"de_DE\"\nEND LC_NUMERIC\n";
  // Only the numeric category is defined, so localedef warns and needs -c; setlocale decides.
  const std::string build = "localedef -c -i " + (dir / "comma.src").string() + " -f UTF-8 " +
                            (dir / "comma.UTF-8").string() + " >/dev/null 2>&1";
  if (std::system(build.c_str()) < 0) return {};
  setenv("LOCPATH", dir.c_str(), 1);
  return std::setlocale(LC_NUMERIC, "comma.UTF-8") != nullptr ? "comma.UTF-8" : "";
}

TEST(NumberText, IgnoresTheProcessLocale) {
  // The environment's own locale, which every machine has, then a comma locale if one exists.
  std::vector<std::string> locales = {""};
  if (const std::string comma = comma_locale(); !comma.empty()) locales.push_back(comma);
  for (const std::string& name : locales) {
    ASSERT_NE(std::setlocale(LC_NUMERIC, name.c_str()), nullptr) << name;
    Variant list = Variant::number(2.5);
    EXPECT_EQ(util::clean_number_list(list), text(u"2.5")) << name;
    EXPECT_EQ(number_to_text(-1.25e-7), u"-1.25E-07") << name;
    EXPECT_EQ(to_text(Variant::number(1000.5)), u"1000.5") << name;
  }
  const bool comma_tested = locales.size() > 1 && c_formatted(2.5) == u"2,5";
  std::setlocale(LC_ALL, "C");
  if (!comma_tested) GTEST_SKIP() << "no locale with a decimal comma could be set";
}

TEST(Conversions, AsText) {
  EXPECT_EQ(to_text(Variant()), u"");
  EXPECT_EQ(to_text(Variant::integer(-7)), u"-7");
  EXPECT_EQ(to_text(Variant::long_(1500)), u"1500");
  EXPECT_EQ(to_text(Variant::number(12.5)), u"12.5");
  EXPECT_EQ(to_text(Variant::boolean(true)), u"True");
  EXPECT_EQ(error_of([] { to_text(Variant::null()); }), err::kInvalidUseOfNull);
  EXPECT_EQ(error_of([] { to_text(Variant::bytes({1, 2})); }), err::kTypeMismatch);
}

TEST(Conversions, AsTruthValue) {
  EXPECT_FALSE(to_truth(Variant()));
  EXPECT_FALSE(to_truth(Variant::null()));
  EXPECT_TRUE(to_truth(Variant::integer(2)));
  EXPECT_FALSE(to_truth(Variant::number(0)));
  EXPECT_TRUE(to_truth(text(u"1")));
  EXPECT_FALSE(to_truth(text(u" 0 ")));
  EXPECT_TRUE(to_truth(text(u"tRuE")));
  EXPECT_FALSE(to_truth(text(u"FALSE")));
  EXPECT_EQ(error_of([] { to_truth(text(u"yes")); }), err::kTypeMismatch);
  EXPECT_EQ(error_of([] { to_truth(text(u"")); }), err::kTypeMismatch);
}

TEST(Conversions, AsNumber) {
  EXPECT_EQ(to_number(Variant()), 0);
  EXPECT_EQ(to_number(text(u" 12.5 ")), 12.5);
  EXPECT_EQ(to_number(text(u"-1e3")), -1000);
  EXPECT_EQ(to_number(text(u"5.")), 5);
  EXPECT_EQ(to_number(text(u".5")), 0.5);
  EXPECT_EQ(to_number(Variant::boolean(true)), -1);
  EXPECT_EQ(error_of([] { to_number(text(u"12abc")); }), err::kTypeMismatch);
  EXPECT_EQ(error_of([] { to_number(Variant::null()); }), err::kInvalidUseOfNull);
  EXPECT_EQ(error_of([] { to_number(text(u"1e999")); }), err::kOverflow);
}

TEST(NumericTest, AcceptsPlainDecimalsOnly) {
  for (const char16_t* yes : {u"0", u"007", u"1.50", u" -3 ", u"+2", u"1e5", u"2.5E-3", u"9"}) {
    EXPECT_TRUE(is_numeric_text(yes)) << to_utf8(yes);
  }
  for (const char16_t* no : {u"", u"   ", u"abc", u"1.2.3", u"1e", u"-", u".", u"1,000", u"\t1",
                             u"\uFF11", u"1e999", u"0x10"}) {
    EXPECT_FALSE(is_numeric_text(no)) << to_utf8(no);
  }
  EXPECT_TRUE(is_numeric(Variant::number(3)));
  EXPECT_FALSE(is_numeric(Variant::null()));
}

TEST(Text, TrimSplitReplace) {
  EXPECT_EQ(trim_spaces(u"  a b \t "), u"a b \t");
  EXPECT_EQ(split(u"", u"###").size(), 0u);
  EXPECT_EQ(split(u"x###y###", u"###"), (std::vector<std::u16string>{u"x", u"y", u""}));
  EXPECT_EQ(replace_all(u"aaa", u"aa", u"a"), u"aa");  // no rescanning of the output
  EXPECT_EQ(lower(u"<DIV>\u00C4"), u"<div>\u00E4");
}

TEST(Text, Utf8RoundTripAndRepair) {
  const std::u16string mixed = u"a\u4F60\U0001F600";
  EXPECT_EQ(from_utf8(to_utf8(mixed)), mixed);
  EXPECT_EQ(to_utf8(std::u16string(1, char16_t{0xD800})), "\xEF\xBF\xBD");
  EXPECT_EQ(from_utf8("a\xC3"), u"a\uFFFD");
  EXPECT_EQ(from_utf8("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate refused
}

}  // namespace
}  // namespace pelmo
