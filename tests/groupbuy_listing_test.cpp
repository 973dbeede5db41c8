#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "cli/charset_encode.h"
#include "pelmo/error.h"
#include "pelmo/text.h"
#include "support/error_of.h"
#include "support/memory_platform.h"
#include "support/scraper_site.h"

namespace pelmo {
namespace {

using testing::ScraperSite;

std::u16string offer(std::u16string_view name = u"A团",
                     std::u16string_view list_left_span = u"<span>120</span>",
                     std::u16string_view title = u" title=\"Dinner for two\"") {
  return u"<div id=\"productlist\" class=\"item\"><span>【" + std::u16string(name) +
         u"】</span><a href=\"/s/a\"><img src=\"/i/1.jpg\"" + std::u16string(title) +
         u"></a><h3><a href=\"/d/1\">Dinner</a></h3><div class=\"list_left\">" +
         std::u16string(list_left_span) +
         u"<h3>35人已购买</h3></div><div class=\"list_right\"><h3> 60元 </h3></div><div "
         u"class=\"cl\"></div>\n";
}

const std::u16string kRecord =
    u"{\r\n\"VC2COMNAME\": \"A团\",\r\n\"VC2COMURL\": \"/s/a\",\r\n\"VC2CLASSCODE\": \"\",\r\n"
    u"\"VC2CITY\": \"\",\r\n\"VC2PINGYIN\": \"\",\r\n\"VC2TITLE\": \"Dinner for two\",\r\n"
    u"\"NUMPRICE\": \"60\",\r\n\"NUMDISPRICE\": \"120\",\r\n\"NUMDISPER\": \"0.5\",\r\n"
    u"\"NUMORDERS\": \"35\",\r\n\"VC2SOURCEURL\": \"/d/1\",\r\n\"DATOFFLINE\": \"\",\r\n"
    u"\"VC2THUMB\": \"/i/1.jpg\",\r\n\"VC2BEFOREURL\": \"\"\r\n}";

class GroupBuyListing : public ::testing::Test {
 protected:
  Variant listing(const std::u16string& page, Variant city = text(u"bj"), Variant cate = text(u"4"),
                  Variant page_no = Variant::integer(3)) {
    site.page("/list", page);
    Variant url = text(site.url16("/list")), result;
    obj->D1616_Tuan_Smain(url, city, cate, page_no, result);
    EXPECT_EQ(url, text(site.url16("/list")));
    return result;
  }
  static std::u16string header(std::u16string_view count, std::u16string_view cate = u"4") {
    return u"{\r\n\"count\": \"" + std::u16string(count) + u"\",\r\n\"city\": bj,\r\n\"cate\": \"" +
           std::u16string(cate) + u"\",\r\n\"page\": 3,\r\n\"list\": [\r\n";
  }
  int error_of(const std::u16string& page) {
    try {
      listing(page);
    } catch (const AutomationError& e) {
      return e.number();
    }
    return 0;
  }

  ScraperSite site;
  std::shared_ptr<_zaverer> obj = testing::started_object();
};

TEST_F(GroupBuyListing, OneOfferWithEveryField) {
  EXPECT_EQ(listing(u"<html>" + offer() + u"<i>pageCount : 7 </i></html>"),
            text(header(u"112") + kRecord + u"]\r\n}\r\n"));
}

TEST_F(GroupBuyListing, AtMostFifteenRecordsJoinedByCommas) {
  std::u16string page;
  for (int i = 0; i < 20; ++i) page += offer();
  const std::u16string out = listing(page).as_string();
  std::u16string fifteen = kRecord;
  for (int i = 1; i < 15; ++i) fifteen += u"," + kRecord;
  EXPECT_EQ(out, header(u"0") + fifteen + u"]\r\n}\r\n");
}

TEST_F(GroupBuyListing, NoOffersGiveTheHeaderAlone) {
  EXPECT_EQ(listing(u"<div id=\"productlist\">never closed"), text(header(u"0") + u"]\r\n}\r\n"));
  EXPECT_EQ(listing(u""), text(header(u"0") + u"]\r\n}\r\n"));
}

TEST_F(GroupBuyListing, PageCountGivesSixteenAPageUpToFifteenHundred) {
  auto count_of = [&](const std::u16string& tail) {
    const std::u16string out = listing(u"<p>" + tail).as_string();
    const std::size_t at = out.find(u"\"count\": \"") + 10;
    return out.substr(at, out.find(u'"', at) - at);
  };
  EXPECT_EQ(count_of(u"pageCount : 93>"), u"1488");
  EXPECT_EQ(count_of(u"pageCount : 94>"), u"1500");
  EXPECT_EQ(count_of(u"pageCount : 0007>"), u"112");
  EXPECT_EQ(count_of(u"pageCount : 12, size: 16>"), u"1500");
  EXPECT_EQ(count_of(u"pageCount : none>"), u"0");
  EXPECT_EQ(count_of(u"pageCount : 134217727>"), u"1500");
  EXPECT_EQ(error_of(u"pageCount : 134217728>"), err::kOverflow);
  EXPECT_EQ(error_of(u"pageCount : " + std::u16string(100000, u'9') + u">"), err::kOverflow);
}

TEST_F(GroupBuyListing, HeaderArguments) {
  const std::u16string out =
      listing(offer(), Variant(), Variant::integer(5), Variant::number(2.5)).as_string();
  EXPECT_TRUE(out.starts_with(
      u"{\r\n\"count\": \"0\",\r\n\"city\": ,\r\n\"cate\": \"\",\r\n\"page\": 2.5,\r\n"));
  for (Variant code : {text(u"0"), text(u"12"), Variant(), Variant::null()}) {
    EXPECT_NE(listing(u"", text(u"bj"), code).as_string().find(u"\"cate\": \"\","),
              std::u16string::npos);
  }
  EXPECT_THROW(listing(offer(), Variant::null()), AutomationError);
  EXPECT_THROW(listing(offer(), text(u"bj"), text(u"4"), Variant::null()), AutomationError);
}

TEST_F(GroupBuyListing, CityAndPageArePlainScriptValues) {
  // Written as their text, unquoted.
  const std::pair<Variant, std::u16string_view> plain[] = {{Variant(), u""},
                                                           {text(u"bj"), u"bj"},
                                                           {text(u"$a._b.D9"), u"$a._b.D9"},
                                                           {Variant::number(-2.5), u"-2.5"},
                                                           {Variant::number(1e-5), u"1E-05"},
                                                           {Variant::number(1e20), u"1E+20"},
                                                           {text(u"0.125"), u"0.125"},
                                                           {Variant::integer(-3), u"-3"},
                                                           {Variant::boolean(true), u"True"},
                                                           {text(u"\"北京\""), u"\"北京\""},
                                                           {text(u"'sh'"), u"'sh'"},
                                                           {text(u"''"), u"''"}};
  for (const auto& [value, written] : plain) {
    const std::u16string out = listing(u"", value, text(u"4"), value).as_string();
    EXPECT_NE(out.find(u"\"city\": " + std::u16string(written) + u",\r\n"), std::u16string::npos)
        << value;
    EXPECT_NE(out.find(u"\"page\": " + std::u16string(written) + u",\r\n"), std::u16string::npos)
        << value;
  }
  // Anything else fails before the page is fetched, whichever of the two carries it.
  const std::u16string_view refused[] = {
      // script that changes page state or calls
      u"x--", u"location.href--", u"document.body.innerHTML--", u"alert(1)", u"bj;x",
      // no dotted name
      u"a-b", u" bj", u"a..b", u".a", u"a.", u"9a", u"北京",
      // numbers spelt otherwise than the component spells them (some read otherwise in script)
      u"007", u"1e5", u"1.50", u"-0", u"+1", u"1E+5",
      // literals that end early, escape, or touch the markup
      u"\"", u"'sh\"", u"\"a'b\"", u"'a\\'", u"\"<x>\"", u"'a&b'", u"'a\u2028'", u"\"a\nb\"",
      u"'a\x85'", u"\"a\"+\"b\""};
  for (std::u16string_view refused_text : refused) {
    const Variant value = text(refused_text);
    for (bool as_city : {true, false}) {
      Variant city = as_city ? value : text(u"bj");
      Variant page_no = as_city ? Variant::integer(1) : value;
      Variant url = text(site.url16("/list")), cate = text(u"4"), result = text(u"old");
      EXPECT_EQ(testing::error_of([&] { obj->D1616_Tuan_Smain(url, city, cate, page_no, result); }),
                err::kInvalidCall)
          << value << as_city;
      EXPECT_TRUE(result.is_empty());
    }
  }
  const int fetched = static_cast<int>(std::size(plain));
  EXPECT_EQ(site.hits(), fetched);
  // Null still fails when the header is built, after the fetch.
  EXPECT_EQ(testing::error_of([&] { listing(u"", Variant::null()); }), err::kInvalidUseOfNull);
  EXPECT_EQ(site.hits(), fetched + 1);
}

TEST_F(GroupBuyListing, PriceRatioTakesThreeCharactersOrFailsTheWholeCall) {
  auto ratio_of = [&](std::u16string_view price, std::u16string_view list_price) {
    std::u16string block = offer(u"X", u"<span>" + std::u16string(list_price) + u"</span>");
    block = replace_all(block, u"<h3> 60元 </h3>", u"<h3>" + std::u16string(price) + u"</h3>");
    const std::u16string out = listing(block).as_string();
    const std::size_t at = out.find(u"\"NUMDISPER\": \"") + 14;
    return out.substr(at, out.find(u'"', at) - at);
  };
  EXPECT_EQ(ratio_of(u"99", u"200"), u"0.4");
  EXPECT_EQ(ratio_of(u"200", u"80"), u"2.5");
  EXPECT_EQ(ratio_of(u"120", u"8"), u"15");
  EXPECT_EQ(ratio_of(u"1000", u"7"), u"142");
  EXPECT_EQ(ratio_of(u"38", u"12.5"), u"3.0");

  EXPECT_EQ(error_of(offer() + offer(u"B", u"<em>no price</em>")), err::kTypeMismatch);
  EXPECT_EQ(error_of(offer(u"B", u"<span>0</span>")), err::kDivisionByZero);
  EXPECT_EQ(error_of(offer(u"B", u"<span>n/a</span>")), err::kTypeMismatch);
}

TEST_F(GroupBuyListing, MissingTitleLeavesTheFieldEmpty) {
  const std::u16string out = listing(offer(u"A团", u"<span>120</span>", u"")).as_string();
  EXPECT_NE(out.find(u"\"VC2TITLE\": \"\",\r\n"), std::u16string::npos);
  EXPECT_NE(out.find(u"\"VC2THUMB\": \"/i/1.jpg\",\r\n"), std::u16string::npos);
}

TEST_F(GroupBuyListing, ScrapedValuesCannotLeaveTheirStrings) {
  const std::u16string out = listing(offer(u"a\\b</script>\r\n\x01")).as_string();
  EXPECT_NE(out.find(u"\"VC2COMNAME\": \"a\\\\b\\u003c/script>\\r\\n\\u0001\",\r\n"),
            std::u16string::npos);
}

TEST_F(GroupBuyListing, AddressesCarryNoScript) {
  // The link, picture and source values; every other value keeps any text.
  const std::pair<std::u16string_view, std::u16string_view> cases[] = {
      {u"javascript:alert(1)", u"#"},
      {u" JavaScript:x<", u"#"},
      {u"&#106;avascript:x", u"#"},
      {u"https://a.test/x?javascript:1", u"https://a.test/x?javascript:1"},
      {u"/rel:x", u"/rel:x"}};
  for (const auto& [address, written] : cases) {
    std::u16string page = offer(u"javascript:1");
    for (std::u16string_view original : {u"/s/a", u"/i/1.jpg", u"/d/1"}) {
      page = replace_all(page, original, address);
    }
    const std::u16string out = listing(page).as_string();
    for (std::u16string_view key : {u"VC2COMURL", u"VC2THUMB", u"VC2SOURCEURL"}) {
      EXPECT_NE(
          out.find(u"\"" + std::u16string(key) + u"\": \"" + std::u16string(written) + u"\","),
          std::u16string::npos)
          << to_utf8(key) << " " << to_utf8(address);
    }
    EXPECT_NE(out.find(u"\"VC2COMNAME\": \"javascript:1\","), std::u16string::npos);
  }
}

TEST_F(GroupBuyListing, FetchFailuresReachTheCaller) {
  testing::LoopbackSocket closed(false);
  Variant url =
      text(u"http://127.0.0.1:" + testing::ascii16(std::to_string(closed.port())) + u"/x");
  Variant city = text(u"bj"), cate = text(u"1"), page = Variant::integer(1), result = text(u"old");
  EXPECT_THROW(obj->D1616_Tuan_Smain(url, city, cate, page, result), AutomationError);
  EXPECT_TRUE(result.is_empty());
}

TEST(GroupBuyListingFromMemory, OneFetchPerCall) {
  auto platform = std::make_shared<testing::MemoryPlatform>();
  const std::string body = cli::encode_text(offer() + u"pageCount : 2>", "windows-936-2000");
  platform->serve(u"http://listing.mem/", Bytes(body.begin(), body.end()));
  auto obj = create_object("pelmo.zaverer", platform);
  obj->OnStartPage(host::make_local_page());
  Variant url = text(u"http://listing.mem/"), city = text(u"bj"), cate = text(u"1"),
          page = Variant();
  Variant result;
  obj->D1616_Tuan_Smain(url, city, cate, page, result);
  EXPECT_NE(result.as_string().find(u"\"count\": \"32\","), std::u16string::npos);
  EXPECT_EQ(platform->fetches(), 1);
}

}  // namespace
}  // namespace pelmo
