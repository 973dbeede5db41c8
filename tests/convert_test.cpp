#include "pelmo/convert.h"

#include <gtest/gtest.h>

#include "pelmo/error.h"
#include "pelmo/text.h"
#include "support/error_of.h"

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
