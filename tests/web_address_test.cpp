#include "util/web_address.h"

#include <gtest/gtest.h>

#include "pelmo/text.h"

namespace pelmo::util {
namespace {

TEST(WebAddress, HttpAndHttpsInAnyCaseFromTheFirstCharacter) {
  for (const char16_t* yes : {u"http://a", u"https://a/b", u"HTTP://A", u"hTtPs://"}) {
    EXPECT_TRUE(is_web_address(yes)) << to_utf8(yes);
  }
  for (const char16_t* no : {u"", u"http", u"http:/a", u"https:a", u" http://a", u"\thttp://a",
                             u"ftp://a", u"file:///a", u"httpx://a", u"//a", u"ｈttp://a"}) {
    EXPECT_FALSE(is_web_address(no)) << to_utf8(no);
  }
}

TEST(WebAddress, ScriptlessAddresses) {
  // Kept exactly as given: web addresses, relative ones, colons after a path, query or fragment
  // starts, colons after something that is no scheme.
  for (const char16_t* kept :
       {u"http://a/x?javascript:1", u"HTTPS://a", u" \t\x01http://a", u"/path:x",
        u"page.html?q=a:b", u"a/b:c", u"?q=javascript:x", u"#x:y", u"", u"//host/x", u"1ab:x",
        u"a b:c", u"中文:x", u"-x:y", u"images/1.jpg", u"a.html?x=1&y=2", u"#&", u"a\x01b.html",
        u"java\x01script/x:y"}) {
    EXPECT_EQ(scriptless_address(kept), kept) << to_utf8(kept);
  }
  // Replaced by "#": a scheme other than http(s) as a browser reads it, or a character
  // reference before the path that could spell a colon, or a colon there with a control that
  // some readers skip.
  for (const char16_t* replaced :
       {u"javascript:alert(1)", u"JavaScript:x", u" \x01javascript:x", u"java\tscript:x",
        u"java\r\nscript:x", u"\njavascript:x", u"vbscript:x", u"data:text/html;base64,x",
        u"&#106;avascript:x", u"javascript&colon;x", u"mailto:a@b", u"x+y.z-w:1", u"http:x",
        u"https:/a", u"a&b/c", u"javascript://%0aalert(1)", u"java\x1Fscript:x",
        u"\x01java\x02script:x", u"1a:\x01"}) {
    EXPECT_EQ(scriptless_address(replaced), u"#") << to_utf8(replaced);
  }
  EXPECT_EQ(scriptless_address(std::u16string(u"java\0script:alert(1)", 19)), u"#");
}

}  // namespace
}  // namespace pelmo::util
