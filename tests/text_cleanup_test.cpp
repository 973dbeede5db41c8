#include "util/text_cleanup.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "host/pcre2_regexp.h"
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

// Ltxt scans once for what the engine finds with its tag pattern; both must agree on every text,
// including runs of slashes and brackets that make the engine backtrack.
TEST(TagRemoval, OnePassScanGivesTheEnginesText) {
  auto engine = host::make_pcre2_regexp();
  engine->SetPattern(u"<\\/*[^<>]*>");
  engine->SetIgnoreCase(true);
  engine->SetGlobal(true);
  const std::u16string cases[] = {
      u"",
      u"plain",
      u"<p class=x>a</p><br\n/>b",
      u"<>",
      u"<<>>",
      u"<//>x</a",
      u"a<b<c>d",
      u"a>b<c",
      u"<a><b><",
      u"x</\xD800>y",
      u"<///<//>/",
      u"<a\r\n>\n<",
      u"></>",
      u"<<<a>>>",
  };
  for (const std::u16string& text : cases) {
    EXPECT_EQ(util::remove_tags(text), engine->Replace(text, u"")) << text.size();
  }
  // Every text of up to seven units over "<", ">", "/" and "a".
  const char16_t alphabet[] = {u'<', u'>', u'/', u'a'};
  int mismatches = 0;
  for (std::size_t length = 0; length <= 7; ++length) {
    std::uint32_t count = 1;
    for (std::size_t i = 0; i < length; ++i) count *= 4;
    for (std::uint32_t code = 0; code < count && mismatches < 5; ++code) {
      std::u16string text;
      for (std::uint32_t c = code, i = 0; i < length; ++i, c /= 4) text.push_back(alphabet[c % 4]);
      if (util::remove_tags(text) != engine->Replace(text, u"")) {
        ++mismatches;
        ADD_FAILURE() << "texts differ for a text of " << length << " units, code " << code;
      }
    }
  }
}

TEST_F(TextCleanup, LtxtRemovesTagsFromTheText) {
  Variant content = text(u"<b>bold</b> and <" + std::u16string(5000, u'/') + u"<i>x");
  obj->Ltxt(content, result);
  EXPECT_EQ(result, text(u"bold and <" + std::u16string(5000, u'/') + u"x"));
  Variant number = Variant::integer(12);
  obj->Ltxt(number, result);
  EXPECT_EQ(result, text(u"12"));
}

}  // namespace
}  // namespace pelmo
