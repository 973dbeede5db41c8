#include <gtest/gtest.h>

#include "pelmo/error.h"
#include "pelmo/object.h"

namespace pelmo {
namespace {

class NumberCleanup : public ::testing::Test {
 protected:
  std::shared_ptr<_zaverer> obj = create_object("pelmo.zaverer");
  Variant result;
};

TEST_F(NumberCleanup, FNumKeepsNumbersAndZeroesTheRest) {
  Variant s = text(u"1, 2.5,abc,,-3");
  obj->FNum(s, result);
  EXPECT_EQ(result, text(u"1,2.5,0,0,-3"));
  EXPECT_EQ(s, text(u"1,2.5,abc,,-3"));  // spaces gone, rejected items unchanged

  s = text(u"007,1.50");
  obj->FNum(s, result);
  EXPECT_EQ(result, text(u"007,1.50"));
  s = text(u",");
  obj->FNum(s, result);
  EXPECT_EQ(result, text(u"0,0"));
}

TEST_F(NumberCleanup, FNumOfBlankIsTheIntegerZero) {
  Variant s = text(u"   ");
  obj->FNum(s, result);
  EXPECT_EQ(result, Variant::integer(0));
  EXPECT_EQ(s, text(u""));
  Variant null = Variant::null();
  EXPECT_THROW(obj->FNum(null, result), AutomationError);
  EXPECT_TRUE(null.is_null());
  EXPECT_TRUE(result.is_empty());
}

TEST_F(NumberCleanup, BintRoundsHalfToEvenAndWritesBack) {
  Variant str = text(u" 3.5 ");
  obj->Bint(str, result);
  EXPECT_EQ(result, Variant::number(4));
  EXPECT_EQ(str, text(u"3.5"));
  for (auto [in, out] : {std::pair{2.5, 2.0}, {-2.5, -2.0}, {-7.5, -8.0}, {12.7, 13.0}}) {
    Variant n = Variant::number(in);
    obj->Bint(n, result);
    EXPECT_EQ(result, Variant::number(out)) << in;
  }
  Variant n = Variant::number(12.7);
  obj->Bint(n, result);
  EXPECT_EQ(n, text(u"12.7"));
}

TEST_F(NumberCleanup, BintDefaultsAnythingElseToZero) {
  for (Variant in : {text(u"abc"), text(u""), Variant::null(), Variant(), text(u"1e999")}) {
    obj->Bint(in, result);
    EXPECT_EQ(result, Variant::number(0));
    EXPECT_EQ(in, text(u"0"));
  }
}

TEST_F(NumberCleanup, LnumbsRemovesLineBreaksOnly) {
  Variant v = text(u"a\r\nb");
  obj->Lnumbs(v, result);
  EXPECT_EQ(result, text(u"ab"));
  EXPECT_EQ(v, text(u"ab"));
  v = text(u"a\n\n\tb ");
  obj->Lnumbs(v, result);
  EXPECT_EQ(result, text(u"a\tb "));
  Variant null = Variant::null();
  obj->Lnumbs(null, result);
  EXPECT_EQ(result, text(u""));
  EXPECT_TRUE(null.is_null());
  Variant number = Variant::integer(12);
  obj->Lnumbs(number, result);
  EXPECT_EQ(number, text(u"12"));
}

}  // namespace
}  // namespace pelmo
