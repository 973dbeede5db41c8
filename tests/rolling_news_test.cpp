#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "pelmo/error.h"
#include "support/scraper_site.h"

namespace pelmo {
namespace {

using testing::ScraperSite;

const std::string kNewsTarget = "/n?cmd=4&class=rolling&pn=1&from=tab&sub=0";

std::u16string item(std::u16string_view address, std::u16string_view headline) {
  return u"<div class=\"p2\"><a href=\"" + std::u16string(address) + u"\" target=\"_blank\">" +
         std::u16string(headline) + u"</a></div>\n";
}

class RollingNews : public ::testing::Test {
 protected:
  RollingNews() { setenv("PELMO_NEWS_HOST", site.host().c_str(), 1); }
  ~RollingNews() override { unsetenv("PELMO_NEWS_HOST"); }

  Variant news(const std::u16string& page) {
    site.page(kNewsTarget, page);
    Variant result;
    obj->D1616_New_index(result);
    return result;
  }

  ScraperSite site;
  std::shared_ptr<_zaverer> obj = testing::started_object();
};

TEST_F(RollingNews, BothGroupsWithTheCounterAtTheSecond) {
  const Variant out =
      news(u"<div>国内新闻</a></div>" + item(u"A1", u"T1") + item(u"A2", u"T2") +
           u"<div>国际新闻</a></div>" + item(u"A3", u"T3") + u"<div>军事新闻</a></div>");
  EXPECT_EQ(out,
            Variant::array({text(u"var pelmo_Net_k=[[\"\",\"\"],[\"A1\",\"T1\"],[\"A2\",\"T2\"],"
                                 u"[\"\",\"\"],[\"A3\",\"T3\"],[\"\",\"\"]]"),
                            Variant::integer(4)}));
  EXPECT_EQ(site.last_target(), kNewsTarget);
}

TEST_F(RollingNews, MissingGroups) {
  EXPECT_EQ(news(u""),
            Variant::array({text(u"var pelmo_Net_k=[[\"\",\"\"]]"), Variant::integer(1)}));
  const std::u16string international =
      u"国际新闻</a></div>" + item(u"A3", u"T3") + u"军事新闻</a></div>";
  EXPECT_EQ(news(international),
            Variant::array({text(u"var pelmo_Net_k=[[\"\",\"\"],[\"A3\",\"T3\"],[\"\",\"\"]]"),
                            Variant::integer(1)}));
  const std::u16string domestic =
      u"国内新闻</a></div>" + item(u"A1", u"T1") + u"国际新闻</a></div>";
  EXPECT_EQ(news(domestic),
            Variant::array({text(u"var pelmo_Net_k=[[\"\",\"\"],[\"A1\",\"T1\"],[\"\",\"\"]]"),
                            Variant::integer(3)}));
}

TEST_F(RollingNews, HeadlinesAreTrimmedQuotedAndEscaped) {
  const Variant out = news(u"国内新闻</a></div>" + item(u" /a\\b ", u"  say \"hi\"  ") +
                           item(u"/c", u"\tleading tab</a>") + u"国际新闻</a></div>");
  EXPECT_EQ(out.as_array()[0],
            text(u"var pelmo_Net_k=[[\"\",\"\"],[\"/a\\\\b\",\"say \u201Chi\u201C\"],"
                 u"[\"/c\",\"\\u0009leading tab\"],[\"\",\"\"]]"));
  EXPECT_EQ(out.as_array()[1], Variant::integer(4));
}

TEST_F(RollingNews, AddressesCarryNoScript) {
  const Variant out = news(u"国内新闻</a></div>" + item(u" javascript:alert(1)", u"javascript:") +
                           item(u"vbscript:x", u"T2") + item(u"HTTP://a.test/x", u"T3") +
                           item(u"/x:y", u"T4") + u"国际新闻</a></div>");
  EXPECT_EQ(out.as_array()[0],
            text(u"var pelmo_Net_k=[[\"\",\"\"],[\"#\",\"javascript:\"],[\"#\",\"T2\"],"
                 u"[\"HTTP://a.test/x\",\"T3\"],[\"/x:y\",\"T4\"],[\"\",\"\"]]"));
}

TEST_F(RollingNews, ItemsWithoutLinksKeepTheirEntry) {
  const Variant out = news(u"国内新闻</a></div><div class=\"p2\">no link</div>国际新闻</a></div>");
  EXPECT_EQ(out.as_array()[0], text(u"var pelmo_Net_k=[[\"\",\"\"],[\"\",\"\"],[\"\",\"\"]]"));
  EXPECT_EQ(out.as_array()[1], Variant::integer(3));
}

TEST_F(RollingNews, EveryCallFetchesAndNeedsThePage) {
  news(u"");
  news(u"");
  EXPECT_EQ(site.hits(), 2);
  auto bare = create_object("pelmo.zaverer");
  Variant result;
  EXPECT_THROW(bare->D1616_New_index(result), AutomationError);
}

}  // namespace
}  // namespace pelmo
