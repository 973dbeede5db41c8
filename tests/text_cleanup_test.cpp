#include "util/text_cleanup.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "pelmo/error.h"
#include "pelmo/object.h"
#include "pelmo/text.h"
#include "support/plain_search.h"
#include "util/number_cleanup.h"

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

// Ltxt and StayNub each scan once for what the engine finds with the pattern they stand for;
// both must agree on every text, including runs of slashes and brackets that make the engine
// backtrack, digits of other scripts, surrogates and U+0000.
TEST(OnePassScans, GiveTheEnginesText) {
  struct Scan {
    std::u16string (*one_pass)(std::u16string_view);
    std::u16string_view pattern;
    std::u16string_view alphabet;  // every text up to `longest` units over it
    std::size_t longest;
    std::vector<std::u16string> cases;
  };
  const Scan scans[] = {
      {util::remove_tags,
       u"<\\/*[^<>]*>",
       u"<>/a",
       7,
       {u"", u"plain", u"<p class=x>a</p><br\n/>b", u"<>", u"<<>>", u"<//>x</a", u"a<b<c>d",
        u"a>b<c", u"<a><b><", u"x</\xD800>y", u"<///<//>/", u"<a\r\n>\n<", u"></>", u"<<<a>>>"}},
      {util::keep_ascii_digits,
       u"[^\\d]*",
       std::u16string_view(u"09a\uFF10\u0660\xD800\0", 7),
       5,
       {u"", u"a1b22c333 \u56DB5", u"\uFF11\uFF12",
        u"\xDBFF\xDC00"
        u"1"}},
  };
  for (const Scan& scan : scans) {
    SCOPED_TRACE(to_utf8(scan.pattern));
    for (const std::u16string& text : scan.cases) {
      EXPECT_EQ(scan.one_pass(text), testing::plain_replace(scan.pattern, text, u""))
          << text.size();
    }
    const std::size_t base = scan.alphabet.size();
    int mismatches = 0;
    for (std::size_t length = 0; length <= scan.longest; ++length) {
      std::uint32_t count = 1;
      for (std::size_t i = 0; i < length; ++i) count *= static_cast<std::uint32_t>(base);
      for (std::uint32_t code = 0; code < count && mismatches < 5; ++code) {
        std::u16string text;
        for (std::uint32_t c = code, i = 0; i < length;
             ++i, c /= static_cast<std::uint32_t>(base)) {
          text.push_back(scan.alphabet[c % base]);
        }
        if (scan.one_pass(text) != testing::plain_replace(scan.pattern, text, u"")) {
          ++mismatches;
          ADD_FAILURE() << "texts differ for a text of " << length << " units, code " << code;
        }
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
