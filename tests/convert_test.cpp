#include <gtest/gtest.h>

#include "pelmo/convert.h"
#include "pelmo/error.h"

namespace pelmo {
namespace {

TEST(NumberText, AutomationLayout) {
  EXPECT_EQ(number_to_text(0.495), u"0.495");
  EXPECT_EQ(number_to_text(2.5), u"2.5");
  EXPECT_EQ(number_to_text(15), u"15");
  EXPECT_EQ(number_to_text(1000.0 / 7), u"142.857142857143");
  EXPECT_EQ(number_to_text(1e15), u"1E+15");
  EXPECT_EQ(number_to_text(123456789012345.0), u"123456789012345");
  EXPECT_EQ(number_to_text(0.0001), u"0.0001");
  EXPECT_EQ(number_to_text(0.00001), u"1E-05");
  EXPECT_EQ(number_to_text(-0.0), u"0");
  EXPECT_EQ(number_to_text(-3), u"-3");
}

}  // namespace
}  // namespace pelmo
