#include <gtest/gtest.h>

#include "pelmo/error.h"
#include "pelmo/object.h"

namespace pelmo {
namespace {

class TextCleanup : public ::testing::Test {
 protected:
  Variant call_str4null(Variant in) {
    Variant out;
    obj->Str4Null(in, out);
    return out;
  }
  std::shared_ptr<_zaverer> obj = create_object("pelmo.zaverer");
  Variant result;
};

TEST_F(TextCleanup, RmReplacesStraightQuotesAndWritesBack) {
  Variant str = text(u"say \"hi\"");
  obj->Rm(str, result);
  EXPECT_EQ(result, text(u"say \u201Chi\u201C"));
  EXPECT_EQ(str, result);
  Variant null = Variant::null();
  try {
    obj->Rm(null, result);
    ADD_FAILURE() << "Rm of Null must fail";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), err::kInvalidUseOfNull);
  }
  EXPECT_TRUE(null.is_null());
}

TEST_F(TextCleanup, Str4NullMakesOneQuietLine) {
  EXPECT_EQ(call_str4null(Variant::null()), text(u""));
  EXPECT_EQ(call_str4null(Variant()), text(u""));
  EXPECT_EQ(call_str4null(text(u"     ")), text(u""));
  EXPECT_EQ(call_str4null(text(u"  It's  a \"test\"\r\n\t")), text(u"Its a test"));
  EXPECT_EQ(call_str4null(text(u"\"  a\"")), text(u" a"));  // trimming ran before the quotes went
  EXPECT_EQ(call_str4null(text(u"a \t b")), text(u"a b"));
  EXPECT_EQ(call_str4null(Variant::integer(12)), text(u"12"));
  EXPECT_EQ(call_str4null(text(u"a" + std::u16string(100000, u' ') + u"b")), text(u"a b"));
}

}  // namespace
}  // namespace pelmo
