#include "inputs.h"

#include <array>
#include <initializer_list>
#include <vector>

#include "cli/charset_encode.h"
#include "pelmo/text.h"

namespace pelmo::bench {

namespace {

// Appends the pieces in order (GCC 12 misreads literal + string at -O3 as an overlapping copy).
std::u16string cat(std::initializer_list<std::u16string_view> pieces) {
  std::u16string out;
  for (std::u16string_view piece : pieces) out += piece;
  return out;
}

std::u16string num(std::size_t n) {
  const std::string digits = std::to_string(n);
  return std::u16string(digits.begin(), digits.end());
}

std::u16string two_digits(std::size_t n) { return n < 10 ? cat({u"0", num(n)}) : num(n); }

const std::u16string kHead =
    u"<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">"
    u"<title>团购导航</title></head><body>\n";

// Every piece below is written out identically in peer.py.

std::u16string offer(std::size_t i) {
  const std::u16string n = num(i);
  return cat({u"<div id=\"productlist\" class=\"item\"><span>【商家", n,
              u"】</span><a href=\"/deal/", n, u".html\"><img src=\"/img/", n,
              u".jpg\" title=\"双人套餐 ", n, u"\"></a><h3><a href=\"/d/", n, u"\">美食 ", n,
              u"</a></h3><div class=\"list_left\"><span>", num(120 + i), u"</span><h3>",
              num(35 + 7 * i), u"人已购买</h3></div><div class=\"list_right\"><h3> ",
              num(60 + i % 40), u"元 </h3></div><div class=\"cl\"></div>\n"});
}

std::u16string filler(std::size_t j) {
  const std::u16string n = num(j);
  return cat({u"<li class=\"nav\"><a href=\"/cate/", n,
              u".html\" target=\"_blank\">北京美食团购精选第", n, u"期优惠</a><span class=\"n\">(",
              num(j % 97), u")</span></li>\n"});
}

const std::u16string kListingTail =
    u"<div class=\"pager\"><i>pageCount : 7 </i><a href=\"/p/2\">下一页</a></div></body></html>\n";

std::u16string news_item(std::size_t i) {
  const std::u16string n = num(i);
  return cat({u"<div class=\"p2\"><a href=\"http://news.example/a/", n,
              u".shtml\" target=\"_blank\">第", n,
              u"条 城市交通建设取得新进展</a><span class=\"t\">10:", two_digits(i % 60),
              u"</span></div>\n"});
}

std::u16string shop_link(std::size_t k) {
  const std::u16string n = num(k);
  return cat({u"<span class=\"s\"><a href=\" http://shop", n, u".example/ \" title=\"商城 ", n,
              u"\"><img src=\"/logo/", n, u".gif\"></a></span>\n"});
}

std::u16string number_item(std::size_t j) {
  switch (j % 6) {
    case 0:
      return num(j);
    case 1:
      return cat({num(j % 1000), u".25"});
    case 2:
      return cat({u" ", num(j), u" "});
    case 3:
      return u"n/a";
    case 4:
      return u"";
    default:
      return cat({u"-", num(j)});
  }
}

}  // namespace

std::size_t gb_length(std::u16string_view text) {
  std::size_t n = 0;
  for (char16_t c : text) n += c < 0x80 ? 1 : 2;
  return n;
}

std::u16string listing_page(std::size_t target_bytes, std::size_t offers) {
  std::size_t fixed = gb_length(kHead) + gb_length(kListingTail);
  for (std::size_t i = 0; i < offers; ++i) fixed += gb_length(offer(i));
  const std::size_t budget = target_bytes > fixed ? target_bytes - fixed : 0;

  std::vector<std::u16string> lines;
  std::size_t used = 0;
  for (std::size_t j = 0;; ++j) {
    std::u16string line = filler(j);
    const std::size_t size = gb_length(line);
    if (used + size > budget) break;
    used += size;
    lines.push_back(std::move(line));
  }

  // Filler lines spread over the gaps before, between and after the offers.
  const std::size_t gaps = offers + 1;
  std::u16string page;
  page.reserve(target_bytes);
  page += kHead;
  for (std::size_t g = 0; g < gaps; ++g) {
    for (std::size_t j = g * lines.size() / gaps; j < (g + 1) * lines.size() / gaps; ++j) {
      page += lines[j];
    }
    if (g < offers) page += offer(g);
  }
  page.append(budget - used, u' ');
  page += kListingTail;
  return page;
}

std::u16string news_page() {
  std::u16string page = kHead;
  for (std::size_t j = 0; j < 300; ++j) page += filler(j);
  page += u"<div class=\"tit\"><a href=\"/gn\">国内新闻</a></div>\n";
  for (std::size_t i = 0; i < 100; ++i) page += news_item(i);
  page += u"<div class=\"tit\"><a href=\"/gj\">国际新闻</a></div>\n";
  for (std::size_t i = 100; i < 200; ++i) page += news_item(i);
  page += u"<div class=\"tit\"><a href=\"/js\">军事新闻</a></div>\n";
  for (std::size_t j = 300; j < 600; ++j) page += filler(j);
  page += u"</body></html>\n";
  return page;
}

std::u16string shopping_page() {
  std::u16string page = kHead;
  for (std::size_t j = 0; j < 200; ++j) page += filler(j);
  page += u"<div id=\"mall\" style=\"display:none\">\n";
  for (std::size_t k = 0; k < 500; ++k) page += shop_link(k);
  page += u"</div>\n<div id=\"other\" style=\"display:none\">x</div>\n";
  for (std::size_t j = 200; j < 400; ++j) page += filler(j);
  page += u"</body></html>\n";
  return page;
}

std::u16string item_listing(std::size_t target_bytes) {
  std::u16string page;
  page.reserve(target_bytes + 96);
  for (std::size_t n = 0; page.size() < target_bytes; ++n) {
    page += cat({u"<li class=\"item\"><a href=\"/p/", num(n), u"\">Name ", num(n), u"</a><span>",
                 num(n % 1000), u"</span></li>\n"});
  }
  return page;
}

std::u16string number_list(std::size_t target_bytes) {
  std::u16string list;
  list.reserve(target_bytes + 32);
  for (std::size_t j = 0; list.size() < target_bytes; ++j) {
    list += number_item(j);
    list += u',';
  }
  return list;
}

std::string gb2312(std::u16string_view text) { return cli::encode_text(text, "windows-936-2000"); }

std::string utf8(std::u16string_view text) { return to_utf8(text); }

std::string crc32_hex(std::string_view bytes) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char b : bytes) crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
  crc ^= 0xFFFFFFFFu;
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out(8, '0');
  for (int k = 7; k >= 0; --k, crc >>= 4) out[static_cast<std::size_t>(k)] = kHex[crc & 0xF];
  return out;
}

}  // namespace pelmo::bench
