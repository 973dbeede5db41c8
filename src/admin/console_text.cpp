#include "admin/console_text.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "pelmo/convert.h"

namespace pelmo::admin {

namespace {

// Menu section markup, held once: the head around the menu id and title, one row per item,
// and the tail shared by every section.
constexpr std::u16string_view kHeadOpen =
    u"<TABLE cellSpacing=0 cellPadding=0 width=158 align=center><TBODY><TR><TD class=menu_title "
    u"id=menuTitle1 onmouseover=\"this.className='menu_title2';\" onclick=showsubmenu(";
constexpr std::u16string_view kHeadBeforeTitle =
    u") onmouseout=\"this.className='menu_title';\" "
    u"background=images/left_image/admin_left_9.gif height=25 style=\"CURSOR: hand\"><SPAN>";
constexpr std::u16string_view kHeadBeforeSubmenuId = u"</SPAN> </TD></TR><TR><TD id=submenu";
constexpr std::u16string_view kHeadClose =
    u"><DIV class=sec_menu style=\"WIDTH: 158px\"><TABLE cellSpacing=0 cellPadding=0 width=150 "
    u"align=center><TBODY><TR><TD height=5></TD></TR>";
constexpr std::u16string_view kRowOpen =
    u"<TR><TD height=20><IMG height=20 alt=\"\" src=\"images/left_image/bullet.gif\" width=15 "
    u"border=0>";
constexpr std::u16string_view kRowClose = u"</TD></TR>";
constexpr std::u16string_view kAddText = u"添加";
constexpr std::u16string_view kTail =
    u"<TBODY></TBODY></TABLE></DIV><DIV style=\"WIDTH: 158px\"><TABLE cellSpacing=0 "
    u"cellPadding=0 width=135 align=center><TBODY><TR><TD height=20></TD></TR></TBODY></TABLE>"
    u"</DIV></TD></TR></TBODY></TABLE>";

struct MenuItem {
  std::u16string_view text;
  std::u16string_view target;
  std::u16string_view add_target;  // empty when the row has no second link
};

struct MenuSection {
  std::u16string_view key;
  std::u16string_view menu_id;
  std::u16string_view title;
  std::vector<MenuItem> items;
};

const std::vector<MenuSection>& menu_sections() {
  static const std::vector<MenuSection> sections = {
      {u"1", u"1001", u"客户管理", {{u"客户管理", u"customer/", u""}}},
      {u"2",
       u"1003",
       u"公告系统管理",
       {{u"公告列表管理", u"tarvessa_gonggao/index.asp", u"tarvessa_gonggao/edit.asp"}}},
      {u"3",
       u"1004",
       u"消息系统管理",
       {{u"收到消息列表", u"tarvessa_xxiaoxi/index.asp", u""},
        {u"用户消息列表", u"tarvessa_xxiaoxi2/index.asp", u"tarvessa_xxiaoxi2/edit.asp"},
        {u"系统消息列表", u"tarvessa_xxiaoxi2/index2.asp", u"tarvessa_xxiaoxi2/edit.asp?iid=0"}}},
      {u"4",
       u"1005",
       u"新闻系统管理",
       {{u"新闻类别管理", u"tarvessa_news/type.asp",
         u"tarvessa_news/class_ok.asp?action=add_class_1"},
        {u"新闻列表管理", u"tarvessa_news/index.asp", u"tarvessa_news/edit.asp"},
        {u"新闻评论管理", u"tarvessa_c/index.asp", u""},
        {u"评论关键词过滤", u"moban/index.asp?t1=/p_inc/Tag/pinglunlist.txt&t3=评论关键词过滤",
         u""}}},
      {u"5",
       u"1006",
       u"点评系统管理",
       {{u"点评列表管理", u"brimlowe_dianping/index.asp", u""},
        {u"点评内容列表管理", u"brimlowe_dianping/uindex.asp", u""}}},
      {u"6",
       u"1007",
       u"产品系统管理",
       {{u"产品类别管理", u"tarvessa_product/type.asp",
         u"tarvessa_product/class_ok.asp?action=add_class_1"},
        {u"产品列表管理", u"tarvessa_product/index.asp", u"tarvessa_product/edit.asp"}}},
      {u"7",
       u"1008",
       u"彩票管理",
       {{u"310竟猜列表", u"tarvvessa_caipiao_310/index.asp", u"tarvvessa_caipiao_310/edit.asp"},
        {u"28竟猜列表", u"tarvvessa_caipiao_28/index.asp", u""}}},
      {u"8",
       u"1009",
       u"任务管理",
       {{u"全部类别列表", u"tarvessa_renwu_type1/index.asp", u"tarvessa_renwu_type1/edit.asp"},
        {u"全部任务列表", u"tarvessa_renwu/index.asp", u"tarvessa_renwu/edit.asp"},
        {u"用户任务审核", u"tarvessa_renwu_list/index.asp", u""}}},
  };
  return sections;
}

struct MemberPanel {
  std::u16string_view key;
  std::u16string_view html;  // placeholders {#1}..{#3} are filled by the member page
};

constexpr std::array<MemberPanel, 3> kMemberPanels = {{
    {u"31",
     u"<h4 class='font-14'>联系管理员</h4><ul class='p10'><li><a href='./xx_list3.asp'>系统消息</a>"
     u"</li><li><a href='./xx_add.asp'>发小消息</a></li><li><a href='./xx_list.asp'>我的消息</a>"
     u"</li><li>{#1}</li></ul>"},
    {u"71",
     u"<h4 class='font-14'>我的彩票</h4><ul class='p10'><li><a href='{#1}' target='_blank'>310竟猜"
     u"</a> <a href='./Cp_310.asp'>购买记录</a></li><li><a href='{#2}' target='_blank'>幸运28</a> "
     u"<a href='{#3}'>我的投注</a></li></ul>"},
    {u"81",
     u"<h4 class='font-14'>我的任务</h4><ul class='p10'><li><a href='./Task_my.asp?a=0'>审核中任务"
     u"</a></li><li><a href='./Task_my.asp?a=1'>已确认任务</a></li><li><a "
     u"href='./Task_my.asp?a=2'>已拒绝任务</a></li><li style='position:relative;'><a "
     u"href='./Task_all.asp'>系统所有任务</a> <span  onclick='$(this).next().slideToggle()'><a "
     u"href='javascript:void(0)'>分类</a></span><span class='task-content'><a "
     u"href='./Task_all.asp'>所有</a><br />{#1}<br/><span class='close-btn' "
     u"onclick='$(this).parent().slideUp();'>关闭</span></span></li></ul>"},
}};

void append_link(std::u16string& out, std::u16string_view target, std::u16string_view text) {
  out += u"<A href=\"";
  out += target;
  out += u"\" target=main>";
  out += text;
  out += u" </A>";
}

std::u16string render_section(const MenuSection& section) {
  std::u16string out;
  out += kHeadOpen;
  out += section.menu_id;
  out += kHeadBeforeTitle;
  out += section.title;
  out += kHeadBeforeSubmenuId;
  out += section.menu_id;
  out += kHeadClose;
  for (const MenuItem& item : section.items) {
    out += kRowOpen;
    append_link(out, item.target, item.text);
    if (!item.add_target.empty()) {
      out += u' ';
      append_link(out, item.add_target, kAddText);
    }
    out += kRowClose;
  }
  out += kTail;
  return out;
}

}  // namespace

Variant console_block(const Variant& key, const Variant& flag) {
  for (const MenuSection& section : menu_sections()) {
    if (!equals_text(key, section.key)) continue;
    // The customers section reads its flag as a truth value; every other block wants "1".
    const bool shown = section.key == u"1" ? to_truth(flag) : equals_text(flag, u"1");
    return shown ? Variant::string(render_section(section)) : Variant();
  }
  for (const MemberPanel& panel : kMemberPanels) {
    if (!equals_text(key, panel.key)) continue;
    return equals_text(flag, u"1") ? text(panel.html) : Variant();
  }
  return Variant();
}

}  // namespace pelmo::admin
