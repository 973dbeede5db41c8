#include <gtest/gtest.h>

#include <string>

#include "pelmo/error.h"
#include "pelmo/object.h"
#include "pelmo/text.h"
#include "support/occurrences.h"

namespace pelmo {
namespace {

class ConsoleText : public ::testing::Test {
 protected:
  Variant block(Variant key, Variant flag, Variant ignored = Variant()) {
    Variant result;
    obj->pelmoConstStr(key, ignored, flag, result);
    return result;
  }
  std::shared_ptr<_zaverer> obj = create_object("pelmo.zaverer");
};

TEST_F(ConsoleText, AnnouncementsSectionCharacterForCharacter) {
  const std::u16string expected =
      u"<TABLE cellSpacing=0 cellPadding=0 width=158 align=center><TBODY><TR><TD class=menu_title "
      u"id=menuTitle1 onmouseover=\"this.className='menu_title2';\" onclick=showsubmenu(1003) "
      u"onmouseout=\"this.className='menu_title';\" background=images/left_image/admin_left_9.gif "
      u"height=25 style=\"CURSOR: hand\"><SPAN>公告系统管理</SPAN> </TD></TR><TR><TD "
      u"id=submenu1003><DIV class=sec_menu style=\"WIDTH: 158px\"><TABLE cellSpacing=0 "
      u"cellPadding=0 width=150 align=center><TBODY><TR><TD height=5></TD></TR>"
      u"<TR><TD height=20><IMG height=20 alt=\"\" src=\"images/left_image/bullet.gif\" width=15 "
      u"border=0><A href=\"tarvessa_gonggao/index.asp\" target=main>公告列表管理 </A> <A "
      u"href=\"tarvessa_gonggao/edit.asp\" target=main>添加 </A></TD></TR>"
      u"<TBODY></TBODY></TABLE></DIV><DIV style=\"WIDTH: 158px\"><TABLE cellSpacing=0 "
      u"cellPadding=0 width=135 align=center><TBODY><TR><TD height=20></TD></TR></TBODY></TABLE>"
      u"</DIV></TD></TR></TBODY></TABLE>";
  EXPECT_EQ(block(text(u"2"), text(u"1")), text(expected));
  EXPECT_EQ(block(text(u"2"), Variant::integer(1), text(u"v2 is never read")), text(expected));
}

TEST_F(ConsoleText, SectionsHaveTheirRowsIdsAndSecondLinks) {
  struct Case {
    const char16_t* key;
    const char16_t* menu_id;
    std::size_t rows;
    std::size_t add_links;
  };
  for (Case c : {Case{u"1", u"1001", 1, 0},
                 {u"3", u"1004", 3, 2},
                 {u"4", u"1005", 4, 2},
                 {u"5", u"1006", 2, 0},
                 {u"6", u"1007", 2, 2},
                 {u"7", u"1008", 2, 1},
                 {u"8", u"1009", 3, 2}}) {
    const Variant v = block(text(c.key), text(u"1"));
    ASSERT_TRUE(v.is_string()) << to_utf8(c.key);
    const std::u16string& html = v.as_string();
    EXPECT_EQ(testing::occurrences(html, u"<TR><TD height=20><IMG"), c.rows) << to_utf8(c.key);
    EXPECT_EQ(testing::occurrences(html, u"target=main>添加 </A>"), c.add_links) << to_utf8(c.key);
    EXPECT_EQ(testing::occurrences(html, c.menu_id), 2u) << to_utf8(c.key);
    EXPECT_TRUE(html.ends_with(u"</DIV></TD></TR></TBODY></TABLE>"));
  }
  const std::u16string news = block(text(u"4"), text(u"1")).as_string();
  EXPECT_NE(
      news.find(u"<A href=\"moban/index.asp?t1=/p_inc/Tag/pinglunlist.txt&t3=评论关键词过滤\" "
                u"target=main>评论关键词过滤 </A></TD></TR>"),
      std::u16string::npos);
}

TEST_F(ConsoleText, CustomersFlagIsATruthValueOthersWantOne) {
  EXPECT_TRUE(block(text(u"1"), text(u"1")).is_string());
  EXPECT_TRUE(block(text(u"1"), Variant::integer(2)).is_string());
  EXPECT_TRUE(block(text(u"1"), Variant::boolean(true)).is_string());
  for (Variant off : {Variant::integer(0), text(u"0"), Variant(), Variant::null()}) {
    EXPECT_TRUE(block(text(u"1"), off).is_empty());
  }
  EXPECT_THROW(block(text(u"1"), text(u"yes")), AutomationError);
  EXPECT_TRUE(block(text(u"3"), Variant::boolean(true)).is_empty());
  EXPECT_TRUE(block(text(u"3"), text(u"yes")).is_empty());  // only key 1 reads a truth value
  for (Variant off : {text(u"0"), Variant(), Variant::null()}) {
    EXPECT_TRUE(block(text(u"2"), off).is_empty());
  }
}

TEST_F(ConsoleText, KeysAreExactTexts) {
  EXPECT_TRUE(block(Variant::integer(7), text(u"1")).is_string());
  for (Variant key : {text(u"9"), text(u"10"), text(u"1002"), text(u""), Variant::null(),
                      text(u"07"), text(u" 7"), Variant()}) {
    EXPECT_TRUE(block(key, text(u"1")).is_empty()) << key;
  }
}

TEST_F(ConsoleText, MemberPanelsKeepTheirPlaceholders) {
  EXPECT_EQ(block(text(u"31"), text(u"1")),
            text(u"<h4 class='font-14'>联系管理员</h4><ul class='p10'><li><a "
                 u"href='./xx_list3.asp'>系统消息</a></li><li><a href='./xx_add.asp'>发小消息</a>"
                 u"</li><li><a href='./xx_list.asp'>我的消息</a></li><li>{#1}</li></ul>"));
  const std::u16string lottery = block(text(u"71"), text(u"1")).as_string();
  for (std::u16string_view placeholder : {u"{#1}", u"{#2}", u"{#3}"}) {
    EXPECT_NE(lottery.find(placeholder), std::u16string::npos);
  }
  const std::u16string tasks = block(Variant::integer(81), Variant::number(1)).as_string();
  EXPECT_NE(tasks.find(u"<a href='./Task_all.asp'>所有</a><br />{#1}<br/>"), std::u16string::npos);
  EXPECT_TRUE(block(text(u"81"), Variant::boolean(true)).is_empty());
}

}  // namespace
}  // namespace pelmo
