#include "cli/demo_site.h"

#include <chrono>
#include <stdexcept>
#include <string_view>

#include "cli/charset_encode.h"
#include "pelmo/text.h"

namespace pelmo::cli {

namespace {

constexpr const char* kGb2312 = "windows-936-2000";

std::u16string number(int n) { return from_utf8(std::to_string(n)); }

// A listing page of `offers` offers over 12 pages; only the first 15 offers become records.
std::u16string listing_page(int offers) {
  const std::u16string_view shops[] = {u"美味团", u"乐享团", u"城市团"};
  const std::u16string_view dishes[] = {u"双人火锅套餐", u"四人自助晚餐", u"精品咖啡两杯",
                                        u"日式料理套餐", u"电影票两张",   u"温泉门票一张"};
  std::u16string page =
      u"<html><head><meta charset=\"gb2312\"><title>团购列表</title></head><body>\r\n";
  for (int i = 0; i < offers; ++i) {
    const int list_price = 100 + 20 * i, price = 40 + 7 * i, buyers = 35 + 13 * i;
    const std::u16string id = number(1000 + i);
    page += u"<div id=\"productlist\" class=\"deal\">\r\n<span>【" + std::u16string(shops[i % 3]) +
            u"】</span>\r\n<a href=\"/deal/" + id + u"\"><img src=\"/img/" + id +
            u".jpg\" title=\"" + std::u16string(dishes[i % 6]) + u"\"></a>\r\n<h3><a href=\"/go/" +
            id + u"\">" + std::u16string(dishes[i % 6]) +
            u"</a></h3>\r\n<div class=\"list_left\"><span>" + number(list_price) + u"</span><h3>" +
            number(buyers) + u"人已购买</h3></div>\r\n<div class=\"list_right\"><h3>" +
            number(price) + u"元</h3></div>\r\n<div class=\"cl\"></div>\r\n";
  }
  return page + u"<script>var pager = { pageCount : 12 };</script>\r\n</body></html>\r\n";
}

// The same listing after the site changed its markup: no block starts as the scraper expects.
std::u16string redesigned_listing_page(int offers) {
  std::u16string page = listing_page(offers);
  const std::u16string_view old_block = u"<div id=\"productlist\" class=\"deal\">";
  const std::u16string_view new_block = u"<article class=\"deal-card\">";
  for (std::size_t at = page.find(old_block); at != std::u16string::npos;
       at = page.find(old_block, at + new_block.size())) {
    page.replace(at, old_block.size(), new_block);
  }
  return page;
}

std::u16string news_item(std::u16string_view address, std::u16string_view headline) {
  return u"<div class=\"p2\"><a href=\"" + std::u16string(address) + u"\" target=\"_blank\">" +
         std::u16string(headline) + u"</a></div>\r\n";
}

std::u16string news_page() {
  return u"<html><body>\r\n<div class=\"t\"><a href=\"/gn\">国内新闻</a></div>\r\n" +
         news_item(u"/n/101.html", u"全国铁路迎来客流高峰") +
         news_item(u"/n/102.html", u"多地发布\"暖冬\"预报") +
         news_item(u"/n/103.html", u"  城市公园新增健身步道  ") +
         u"<div class=\"t\"><a href=\"/gj\">国际新闻</a></div>\r\n" +
         news_item(u"/n/201.html", u"国际航线陆续恢复") +
         news_item(u"/n/202.html", u"海外市场年末促销开启") +
         u"<div class=\"t\"><a href=\"/js\">军事新闻</a></div>\r\n" +
         news_item(u"/n/301.html", u"不属于本模块的新闻") + u"</body></html>\r\n";
}

std::u16string search_page() {
  return u"<html><head><script>\r\nvar siteid = '71234';\r\nvar earnerid = 'ue-5678';\r\n"
         u"</script></head><body>团购搜索</body></html>\r\n";
}

std::u16string navigation_page() {
  const std::u16string_view shops[] = {u"书店",   u"数码城", u"服饰馆", u"家居馆",
                                       u"母婴店", u"运动馆", u"美妆店", u"食品馆"};
  std::u16string links;
  for (int i = 0; i < 8; ++i) {
    const std::u16string id = number(i + 1);
    links += u"<span><a href=\"http://shop" + id + u".example/\" title=\"" +
             std::u16string(shops[i]) + u"\"><img src=\"/logo/" + id + u".gif\"></a></span>\r\n";
  }
  return u"<html><body><div id=\"visible\">导航</div>\r\n<div id=\"mall\" "
         u"style=\"display:none\">\r\n" +
         links + u"</div>\r\n</body></html>\r\n";
}

void serve(httplib::Server& server, const std::string& path, const std::u16string& page,
           const char* charset = kGb2312, const std::string& type = "text/html; charset=gb2312") {
  server.Get(path, [body = encode_text(page, charset), type](const httplib::Request&,
                                                             httplib::Response& response) {
    response.set_content(body, type);
  });
}

}  // namespace

DemoSite::DemoSite() {
  serve(server_, "/tuan/list.html", listing_page(18));
  // Small pages for the method reference's examples (docs/methods.md).
  serve(server_, "/tuan/list1.html", listing_page(1));
  // The listing as it drifts, for the probe's examples and tests: fewer offers, none, and
  // markup that changed under the scraper.
  serve(server_, "/tuan/list-few.html", listing_page(8));
  serve(server_, "/tuan/list-none.html", listing_page(0));
  serve(server_, "/tuan/list-redesigned.html", redesigned_listing_page(18));
  serve(server_, "/hello.html", u"<p>你好</p>");
  serve(server_, "/hello-utf8.html", u"<p>你好</p>", "UTF-8", "text/html; charset=utf-8");
  server_.Get("/tuan/links.js", [this](const httplib::Request&, httplib::Response& response) {
    const std::u16string here = from_utf8("127.0.0.1:" + std::to_string(port_));
    response.set_content(encode_text(affiliate_link_text(here), kGb2312),
                         "application/javascript; charset=gb2312");
  });
  serve(server_, "/n", news_page());
  serve(server_, "/tuan/searchproduct.do", search_page());
  serve(server_, "/navigate.html", navigation_page());
  port_ = server_.bind_to_any_port("127.0.0.1");
  if (port_ <= 0) throw std::runtime_error("cannot bind a loopback port for the demo site");
  thread_ = std::thread([this] { server_.listen_after_bind(); });
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!server_.is_running() && std::chrono::steady_clock::now() < give_up) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

DemoSite::~DemoSite() {
  server_.stop();
  if (thread_.joinable()) thread_.join();
}

std::string DemoSite::listing_url() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/tuan/list.html?city=bj&page=1";
}

std::u16string DemoSite::affiliate_link_text(std::u16string_view affiliate_host) {
  std::u16string out = u"var tuan_sites = \"";
  for (int i = 1; i <= 49; ++i) {
    const std::u16string id = number(i);
    out += u"<li><a href=\\\"http://" + std::u16string(affiliate_host) + u"/gc?site=" + id +
           u"&wid=lianmengwid&uid=lianmenguid\\\" onclick=\\\"go('TUAN')\\\">团购网" + id +
           u"</a></li>";
  }
  return out + u"\";";
}

}  // namespace pelmo::cli
