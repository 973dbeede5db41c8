#include <gtest/gtest.h>

#include <string>

#include "pelmo/error.h"
#include "pelmo/object.h"
#include "pelmo/text.h"
#include "support/occurrences.h"

namespace pelmo {
namespace {

std::u16string shop(int k, bool picture = true, bool title = true) {
  const std::u16string n = std::u16string(1, static_cast<char16_t>(u'a' + k));
  return u"<span class=\"s\"><a href=\" /go/" + n + u" \"" +
         (title ? u" title=\"Shop " + n + u"\"" : u"") + u">" +
         (picture ? u"<img src=\"/p/" + n + u".gif\">" : u"") + u"</a></span>";
}

std::u16string page_with(const std::u16string& links, std::u16string_view id = u"mall") {
  return u"<html><div id=\"" + std::u16string(id) + u"\" style=\"display:none\">" + links +
         u"</div><div id=\"other\">x</div></html>";
}

class ShoppingCollection : public ::testing::Test {
 protected:
  Variant render(const std::u16string& page, Variant id = text(u"mall"), bool pictures = true) {
    Variant str2 = text(page), ignored = Variant::null(), result;
    if (pictures) {
      obj->D1616_Gouwu_Cj_Pic(str2, ignored, id, result);
    } else {
      obj->D1616_Gouwu_Cj_Txt(str2, ignored, id, result);
    }
    return result;
  }
  std::shared_ptr<_zaverer> obj = create_object("pelmo.zaverer");
};

TEST_F(ShoppingCollection, OneLinkWithPictureExactly) {
  EXPECT_EQ(
      render(page_with(shop(0))),
      text(u"<li>\r\n<span class='a'><a href='/go/a' target='_blank'  title='Shop a'><img "
           u"src='/p/a.gif' border='0' /></a>\r\n<a href='/go/a' target='_blank'   title='Shop "
           u"a'>Shop a</a></span>\r\n</li>\r\n"));
  EXPECT_EQ(
      render(page_with(shop(0)), text(u"mall"), false),
      text(u"<li>\r\n<span class='a'><a href='/go/a' target='_blank'  title='Shop a'></a>\r\n"
           u"<a href='/go/a' target='_blank'   title='Shop a'>Shop a</a></span>\r\n</li>\r\n"));
}

TEST_F(ShoppingCollection, SixLinksToAnItemSixthOfClassB) {
  for (auto [links, items, class_b] : {std::tuple{6, 1, 1}, {7, 2, 1}, {12, 2, 2}, {13, 3, 2}}) {
    std::u16string all;
    for (int k = 0; k < links; ++k) all += shop(k);
    const std::u16string out = render(page_with(all)).as_string();
    EXPECT_EQ(testing::occurrences(out, u"<li>\r\n"), static_cast<std::size_t>(items)) << links;
    EXPECT_EQ(testing::occurrences(out, u"</li>\r\n"), static_cast<std::size_t>(items)) << links;
    EXPECT_EQ(testing::occurrences(out, u"<span class='b'>"), static_cast<std::size_t>(class_b))
        << links;
    EXPECT_EQ(testing::occurrences(out, u"<img "), static_cast<std::size_t>(links));
    EXPECT_EQ(
        testing::occurrences(render(page_with(all), text(u"mall"), false).as_string(), u"<img "),
        0u);
  }
}

TEST_F(ShoppingCollection, BlockIsFoundWithoutRegardToCase) {
  const std::u16string page = replace_all(page_with(shop(0), u"MALL"), u"<div id=", u"<DIV ID=");
  EXPECT_NE(render(page, text(u"mall")).as_string(), u"");
}

TEST_F(ShoppingCollection, MissingBlockOrLinksGiveTheEmptyText) {
  EXPECT_EQ(render(page_with(shop(0)), text(u"nothere")), text(u""));
  EXPECT_EQ(render(page_with(u"<p>no links</p>")), text(u""));
  EXPECT_EQ(render(page_with(shop(0)), Variant::null()), text(u""));
  EXPECT_THROW(render(page_with(shop(0)), Variant::integer(5)), AutomationError);
}

TEST_F(ShoppingCollection, ShortPictureOrTitleLists) {
  // One picture short: the last link gets the empty picture.
  const std::u16string one_short = render(page_with(shop(0) + shop(1, false))).as_string();
  EXPECT_NE(one_short.find(u"title='Shop b'><img src='' border='0' />"), std::u16string::npos);
  for (const std::u16string& links :
       {shop(0, false) + shop(1, false) + shop(2), shop(0, true, false) + shop(1, true, false)}) {
    try {
      render(page_with(links));
      ADD_FAILURE() << "two short must fail";
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), err::kSubscript);
    }
  }
}

TEST_F(ShoppingCollection, ValuesCannotLeaveTheirAttributes) {
  const std::u16string link =
      u"<span><a href=\"/x?a=1&amp;b=2\" title=\"Tom's <b>shop</b>\"><img src=\"/p.gif\"></a>";
  const std::u16string out = render(page_with(link)).as_string();
  EXPECT_NE(
      out.find(u"href='/x?a=1&amp;b=2' target='_blank'  title='Tom&#39;s &lt;b&gt;shop&lt;/b&gt;'"),
      std::u16string::npos);
  EXPECT_NE(out.find(u"'>Tom&#39;s &lt;b&gt;shop&lt;/b&gt;</a></span>"), std::u16string::npos);
}

TEST_F(ShoppingCollection, AddressesCarryNoScript) {
  const std::u16string link =
      u"<span><a href=\" javascript:go('x') \" title=\"javascript:t\"><img "
      u"src=\"&#x6A;avascript:1\"></a><span><a href=\"https://a.test/'\" title=\"u\"><img "
      u"src=\"data:image/gif,x\"></a>";
  EXPECT_EQ(render(page_with(link)),
            text(u"<li>\r\n<span class='a'><a href='#' target='_blank'  title='javascript:t'><img "
                 u"src='#' border='0' /></a>\r\n<a href='#' target='_blank'   "
                 u"title='javascript:t'>javascript:t</a></span>\r\n<span class='a'><a "
                 u"href='https://a.test/&#39;' target='_blank'  title='u'><img src='#' border='0' "
                 u"/></a>\r\n<a href='https://a.test/&#39;' target='_blank'   "
                 u"title='u'>u</a></span>\r\n</li>\r\n"));
}

}  // namespace
}  // namespace pelmo
