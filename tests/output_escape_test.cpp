#include "util/output_escape.h"

#include <gtest/gtest.h>

namespace pelmo::util {
namespace {

TEST(OutputEscape, ScriptStrings) {
  EXPECT_EQ(escape_script_string(u"plain 文字 & 'x'"), u"plain 文字 & 'x'");
  EXPECT_EQ(escape_script_string(u"a\\b\"c"), u"a\\\\b\\\"c");
  EXPECT_EQ(escape_script_string(u"\r\n\t\x1F\x7F"), u"\\r\\n\\u0009\\u001f\x7F");
  EXPECT_EQ(escape_script_string(u"\u2028\u2029"), u"\\u2028\\u2029");
  EXPECT_EQ(escape_script_string(u"</script><!--<b>x>"), u"\\u003c/script>\\u003c!--\\u003cb>x>");
}

TEST(OutputEscape, HtmlAttributes) {
  EXPECT_EQ(escape_html_attribute(u"Tom's <b> &amp; \"x\""), u"Tom&#39;s &lt;b&gt; &amp; \"x\"");
}

}  // namespace
}  // namespace pelmo::util
