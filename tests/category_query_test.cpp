#include <gtest/gtest.h>

#include "pelmo/error.h"
#include "pelmo/object.h"

namespace pelmo {
namespace {

class CategoryQuery : public ::testing::Test {
 protected:
  Variant query(Variant tag) {
    Variant result;
    const Variant before = tag;
    obj->Bq_x(tag, result);
    EXPECT_EQ(tag, before);
    return result;
  }
  int error_of(Variant tag) {
    try {
      query(tag);
    } catch (const AutomationError& e) {
      return e.number();
    }
    return 0;
  }
  static Variant pair(std::u16string_view sql, std::u16string_view value) {
    return Variant::array({text(sql), text(value)});
  }
  std::shared_ptr<_zaverer> obj = create_object("pelmo.zaverer");
};

TEST_F(CategoryQuery, TheThreeShapes) {
  EXPECT_EQ(
      query(text(u"{tag 1,8,10,0}")),
      pair(
          u"select top 10 * from  brimlowe_type1 where typehide=1  order by typeno asc,typeid desc",
          u"8"));
  EXPECT_EQ(
      query(text(u"{tag 1,8,10,5}")),
      pair(u"select top 10 * from  brimlowe_type1 where typehide=1  and typeid=5 order by typeno "
           u"asc,typeid desc",
           u"8"));
  EXPECT_EQ(
      query(text(u"{tag 1, 8, 10, 3|5|7, 99}")),
      pair(u"select top 10 * from  brimlowe_type1 where typehide=1  and (typeid=3 or typeid=5 or "
           u"typeid=7)  order by typeno asc,typeid desc",
           u"8"));
  EXPECT_EQ(query(text(u"x 0,a b,2,3|4}")), pair(u"select top 2 * from  brimlowe_type1 where "
                                                 u"typehide=1  and (typeid=3 or typeid=4)  order "
                                                 u"by typeno asc,typeid desc",
                                                 u"ab"));
  EXPECT_EQ(
      query(text(u"x 0,v,2,00}")).as_array()[0],
      text(u"select top 2 * from  brimlowe_type1 where typehide=1  and typeid=00 order by typeno "
           u"asc,typeid desc"));
}

TEST_F(CategoryQuery, NoParametersGiveTwoEmptyTexts) {
  for (Variant tag : {text(u"{tag}"), text(u"no-space}"), text(u"a b"), text(u"a 1 2}"),
                      Variant::null(), Variant::integer(7), Variant()}) {
    EXPECT_EQ(query(tag), pair(u"", u"")) << tag;
  }
}

TEST_F(CategoryQuery, TooFewFieldsOrUnsafeValuesFail) {
  EXPECT_EQ(error_of(text(u"t 1,2}")), err::kSubscript);
  EXPECT_EQ(error_of(text(u"t 1,2,3}")), err::kSubscript);
  EXPECT_EQ(error_of(text(u"t 1,8,10;drop table x,0}")), err::kInvalidCall);
  EXPECT_EQ(error_of(text(u"t 1,8,,0}")), err::kInvalidCall);
  EXPECT_EQ(error_of(text(u"t 1,8,10,5or1=1}")), err::kInvalidCall);
  EXPECT_EQ(error_of(text(u"t 1,8,10,3|x|7}")), err::kInvalidCall);
  EXPECT_EQ(error_of(text(u"t 1,8,10,3||7}")), err::kInvalidCall);
  EXPECT_EQ(error_of(text(u"t 1,8,10,\uFF15}")), err::kInvalidCall);  // full-width digit
  EXPECT_EQ(error_of(text(u"a}b c")), err::kInvalidCall);  // the only } stands before the space
}

}  // namespace
}  // namespace pelmo
