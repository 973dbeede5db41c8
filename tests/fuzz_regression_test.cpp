// Inputs the fuzz targets turned up, kept as literals. Both concern the 15-digit text of a
// double at the edges of a decade and of the range, which a faster number formatter could
// easily get wrong.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "pelmo/convert.h"
#include "pelmo/error.h"
#include "pelmo/object.h"
#include "support/error_of.h"

namespace pelmo {
namespace {

using testing::error_of;

// convert target, input ff ff ff ff ff ff ef bf: the double just above -1 rounds to 15 digits
// as -1, and is written so, not as "-1.00000000000000" nor "-0.999999999999999". The same
// carry into the next decade decides between plain and exponent form after rounding.
TEST(FuzzRegression, FifteenDigitRoundingCarriesIntoTheNextDecade) {
  const double just_above_minus_one = std::bit_cast<double>(std::uint64_t{0xBFEFFFFFFFFFFFFF});
  EXPECT_EQ(number_to_text(just_above_minus_one), u"-1");
  EXPECT_EQ(to_number(text(number_to_text(just_above_minus_one))), -1);
  EXPECT_EQ(number_to_text(std::nextafter(1.0, 0.0)), u"1");
  EXPECT_EQ(number_to_text(999999999999999.9), u"1E+15");
  EXPECT_EQ(number_to_text(99999999999999.99), u"100000000000000");
  EXPECT_EQ(number_to_text(std::nextafter(0.0001, 0.0)), u"0.0001");
  EXPECT_EQ(number_to_text(0.000099999999999999), u"9.9999999999999E-05");
}

// convert target, input ff ff ff ff ff ff ef ff (minus the largest double): its 15-digit text
// lies beyond the double range, so reading it back overflows, as the automation layer's own
// text of that number does. What reads a number through its text sees no number there.
TEST(FuzzRegression, TheLargestDoublesWriteATextBeyondTheRange) {
  const double lowest = std::bit_cast<double>(std::uint64_t{0xFFEFFFFFFFFFFFFF});
  ASSERT_EQ(lowest, std::numeric_limits<double>::lowest());
  EXPECT_EQ(number_to_text(lowest), u"-1.79769313486232E+308");
  EXPECT_FALSE(is_numeric_text(u"-1.79769313486232E+308"));
  EXPECT_EQ(error_of([&] { to_number(text(number_to_text(lowest))); }), err::kOverflow);
  // The largest text that still reads back.
  EXPECT_EQ(to_number(text(u"1.79769313486231E+308")), 1.79769313486231e308);

  auto object = create_object("pelmo.zaverer");
  Variant str = Variant::number(std::numeric_limits<double>::max()), result;
  object->Bint(str, result);
  EXPECT_EQ(result, Variant::number(0));
  EXPECT_EQ(str, text(u"0"));
}

// A number text with more digits than the exponent's cap once had: the sign of its magnitude
// decides between underflow (a number, zero) and overflow (6), and must come out right.
TEST(FuzzRegression, MillionDigitTextsKeepTheSignOfTheirMagnitude) {
  const std::u16string tiny = u"1" + std::u16string(1'000'001, u'0') + u"e-1000000000";
  EXPECT_TRUE(is_numeric_text(tiny));
  EXPECT_EQ(to_number(text(tiny)), 0);
  const std::u16string huge = u"0." + std::u16string(2'000'000, u'0') + u"1e+1000000000";
  EXPECT_FALSE(is_numeric_text(huge));
  EXPECT_EQ(error_of([&] { to_number(text(huge)); }), err::kOverflow);
}

}  // namespace
}  // namespace pelmo
