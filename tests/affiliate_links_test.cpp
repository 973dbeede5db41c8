#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "pelmo/error.h"
#include "pelmo/text.h"
#include "support/error_of.h"
#include "support/scraper_site.h"

namespace pelmo {
namespace {

using testing::ScraperSite;

// Script source as a page writes it: attribute quotes escaped with a backslash.
std::u16string link_text(int links, int names,
                         std::u16string_view tail = u"?wid=lianmengwid&uid=lianmenguid") {
  std::u16string out = u"var s = \"";
  for (int i = 0; i < std::max(links, names); ++i) {
    const std::u16string n = testing::ascii16(std::to_string(i));
    if (i < links)
      out += u"<a href=\\\"http://aff.example/gc" + n + std::u16string(tail) + u"\\\">";
    if (i < names) out += u"'TUAN')\\\">Site" + n + u"</a>";
  }
  return out + u"\";";
}

class AffiliateLinks : public ::testing::Test {
 protected:
  AffiliateLinks() {
    setenv("PELMO_AFFILIATE_HOST", "aff.example", 1);
    setenv("PELMO_SHOPNAV_DOMAIN", site.domain().c_str(), 1);
  }
  ~AffiliateLinks() override {
    unsetenv("PELMO_AFFILIATE_HOST");
    unsetenv("PELMO_SHOPNAV_DOMAIN");
  }
  void search_page(const std::u16string& body) { site.page("/tuan/searchproduct.do", body); }

  ScraperSite site;
  std::shared_ptr<_zaverer> obj = testing::started_object();
  Variant label = text(u"bj"), result;
};

TEST_F(AffiliateLinks, FortyNineEntriesWithTheIdentifiersFilledIn) {
  const std::u16string page = u"<script>var siteid = 'S1'; var earnerid = 'E2';</script>";
  search_page(page);
  Variant links = text(link_text(60, 60));
  obj->D1616_Tuan_Shezhi(links, label, result);
  const std::u16string script = result.as_string();
  EXPECT_TRUE(
      script.starts_with(u"var a1 = [[\"Site0\",\"http://aff.example/gc0?wid=S1&uid=E2\"],"));
  EXPECT_TRUE(script.ends_with(u",[\"Site48\",\"http://aff.example/gc48?wid=S1&uid=E2\"]]"));
  EXPECT_EQ(script.find(u"Site49"), std::u16string::npos);
  EXPECT_EQ(links, text(page));  // the caller's variable now holds the search page
  EXPECT_EQ(site.last_target(), "/tuan/searchproduct.do");
}

TEST_F(AffiliateLinks, FortyEightPiecesLeaveAnEmptyLastEntry) {
  search_page(u"var siteid = 'S'; var earnerid = 'E';");
  Variant links = text(link_text(48, 48, u"-lianmengwid-lianmengwid"));
  obj->D1616_Tuan_Shezhi(links, label, result);
  const std::u16string script = result.as_string();
  EXPECT_TRUE(script.ends_with(
      u"[\"Site47\",\"http://aff.example/gc47-S-S\"],[\"\",\"http://aff.example/gc\"]]"));
}

TEST_F(AffiliateLinks, TooFewPiecesFailBeforeAnyFetch) {
  search_page(u"var siteid = 'S'; var earnerid = 'E';");
  const Variant original = text(link_text(50, 40));
  Variant links = original;
  try {
    obj->D1616_Tuan_Shezhi(links, label, result);
    ADD_FAILURE() << "40 names cannot fill 49 entries";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), err::kSubscript);
  }
  EXPECT_EQ(links, original);
  EXPECT_TRUE(result.is_empty());
  EXPECT_EQ(site.hits(), 0);
}

TEST_F(AffiliateLinks, MissingIdentifiersRemoveThePlaceholders) {
  search_page(u"<html>no identifiers</html>");
  Variant links = text(link_text(49, 49));
  obj->D1616_Tuan_Shezhi(links, label, result);
  EXPECT_NE(result.as_string().find(u"gc3?wid=&uid=\"]"), std::u16string::npos);
}

TEST_F(AffiliateLinks, UnclosedIdentifierFailsAfterTheWriteBack) {
  const std::u16string page = u"var siteid = 'S1; var earnerid = ";
  search_page(page);
  Variant links = text(link_text(49, 49));
  EXPECT_THROW(obj->D1616_Tuan_Shezhi(links, label, result), AutomationError);
  EXPECT_EQ(links, text(page));
}

TEST_F(AffiliateLinks, IdentifiersCannotBreakOutOfTheScriptStrings) {
  search_page(u"var siteid = 'a\"+alert(1)+\"\\'; var earnerid = '</script>';");
  Variant links = text(link_text(49, 49));
  obj->D1616_Tuan_Shezhi(links, label, result);
  EXPECT_NE(result.as_string().find(u"?wid=a\\\"+alert(1)+\\\"\\\\&uid=\\u003c/script>\"]"),
            std::u16string::npos);
}

TEST_F(AffiliateLinks, LabelCannotMoveTheRequestToAnotherHost) {
  search_page(u"var siteid = 'S'; var earnerid = 'E';");
  const std::u16string original = link_text(49, 49);
  // The first would reach the test's own site under the old join.
  for (const std::u16string& hostile :
       {testing::ascii16(site.host()) + u"/x?", std::u16string(u"u@host/y#"), std::u16string()}) {
    Variant links = text(original), bad_label = text(hostile);
    result = text(u"old");
    EXPECT_EQ(testing::error_of([&] { obj->D1616_Tuan_Shezhi(links, bad_label, result); }),
              err::kInvalidCall)
        << to_utf8(hostile);
    EXPECT_EQ(links, text(original));
    EXPECT_TRUE(result.is_empty());
  }
  EXPECT_EQ(site.hits(), 0);
}

TEST_F(AffiliateLinks, LabelIsJoinedAsText) {
  Variant links = text(link_text(49, 49)), number = Variant::integer(3);
  EXPECT_THROW(obj->D1616_Tuan_Shezhi(links, number, result), AutomationError);
  EXPECT_EQ(site.hits(), 0);
}

}  // namespace
}  // namespace pelmo
