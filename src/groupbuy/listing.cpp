#include "groupbuy/listing.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "automation/inner_calls.h"
#include "pelmo/convert.h"
#include "pelmo/error.h"
#include "pelmo/text.h"
#include "util/output_escape.h"
#include "util/script_value.h"
#include "util/web_address.h"

namespace pelmo::groupbuy {

namespace {

constexpr std::u16string_view kBlockStart = u"<div id=\"productlist\"";
constexpr std::u16string_view kBlockEnd = u"<div class=\"cl\"></div>";
constexpr std::u16string_view kBlockSeparator = u"#####";
constexpr std::u16string_view kLeftColumn = u"<div class=\"list_left\">";
constexpr std::u16string_view kRightColumn = u"<div class=\"list_right\">";
constexpr std::u16string_view kCrLf = u"\r\n";
constexpr std::size_t kMaxRecords = 15;
constexpr long kRecordsPerPage = 16;
constexpr long kMaxCount = 1500;

struct Offer {
  std::u16string name, url, price, list_price, ratio, orders, source_url, thumb, title;
};

std::u16string removed(std::u16string_view s, std::u16string_view what) {
  return replace_all(s, what, u"");
}

std::u16string cleaned(_zaverer& self, const std::u16string& value) {
  Variant info = text(value), result;
  self.Str4Null(info, result);
  return to_text(result);
}

// The first three characters of the automation text of price / list price.
std::u16string price_ratio(const std::u16string& price, const std::u16string& list_price) {
  const double numerator = to_number(text(price));
  const double denominator = to_number(text(list_price));
  if (denominator == 0) throw_division_by_zero();
  const double quotient = numerator / denominator;
  if (!std::isfinite(quotient)) throw_overflow();
  return number_to_text(quotient).substr(0, 3);
}

Offer read_offer(_zaverer& self, std::u16string_view block_text) {
  Variant block = text(block_text);
  auto cut = [&](Variant& from, std::u16string_view a, std::u16string_view b) {
    return inner::slice(self, from, a, b);
  };
  Offer offer;
  offer.name = removed(cut(block, u"<span>【", u"】</span>"), u"\"");
  offer.url = util::scriptless_address(cut(block, u"<a href=\"", u"\""));
  Variant right = text(cut(block, kRightColumn, u"</div>"));
  offer.price = removed(cleaned(self, cut(right, u"<h3>", u"</h3>")), u"元");
  Variant left = text(cut(block, kLeftColumn, u"</div>"));
  offer.list_price = cut(left, u"<span>", u"</span>");
  offer.orders = removed(cleaned(self, cut(left, u"<h3>", u"</h3>")), u"人已购买");
  offer.thumb = util::scriptless_address(cut(block, u"src=\"", u"\""));
  offer.title = removed(cut(block, u"title=\"", u"\""), u"\"");
  Variant heading = text(cut(block, u"<h3>", u"</h3>"));
  offer.source_url = util::scriptless_address(removed(cut(heading, u"href=\"", u"\""), u"\""));
  offer.ratio = price_ratio(offer.price, offer.list_price);
  return offer;
}

void append_record(std::u16string& out, const Offer& offer) {
  const std::pair<std::u16string_view, std::u16string_view> fields[] = {
      {u"VC2COMNAME", offer.name},
      {u"VC2COMURL", offer.url},
      {u"VC2CLASSCODE", u""},
      {u"VC2CITY", u""},
      {u"VC2PINGYIN", u""},
      {u"VC2TITLE", offer.title},
      {u"NUMPRICE", offer.price},
      {u"NUMDISPRICE", offer.list_price},
      {u"NUMDISPER", offer.ratio},
      {u"NUMORDERS", offer.orders},
      {u"VC2SOURCEURL", offer.source_url},
      {u"DATOFFLINE", u""},
      {u"VC2THUMB", offer.thumb},
      {u"VC2BEFOREURL", u""},
  };
  out += u"{";
  out += kCrLf;
  for (const auto& [key, value] : fields) {
    out += u"\"";
    out += key;
    out += u"\": \"";
    out += util::escape_script_string(value);
    out += key == u"VC2BEFOREURL" ? u"\"" : u"\",";
    out += kCrLf;
  }
  out += u"}";
}

// 16 records a listing page, at most 1500; the digits may be any number of them.
long offer_count(const std::u16string& digits) {
  std::size_t first = digits.find_first_not_of(u'0');
  if (first == std::u16string::npos) return 0;
  const std::u16string_view significant = std::u16string_view(digits).substr(first);
  // From 134,217,728 pages on, sixteen times the count leaves the 32-bit range.
  long pages = 0;
  for (char16_t d : significant) {
    pages = pages * 10 + (d - u'0');
    if (pages >= 134217728L) throw_overflow();
  }
  return std::min(pages * kRecordsPerPage, kMaxCount);
}

// Checked before the fetch. A Null, or a value that has no text, keeps failing when the header
// is built, after the fetch, as it always has.
void require_plain_script_value(const Variant& value, const char* name) {
  switch (value.type()) {
    case VarType::Null:
    case VarType::Bytes:
    case VarType::Array:
      return;
    default:
      // Written unquoted into the text, which pages run as script.
      if (!util::is_plain_script_value(to_text(value))) {
        throw_invalid_call(std::string(name) +
                           " must be empty, a name or dotted name, a number or a plain quoted "
                           "literal");
      }
  }
}

}  // namespace

Variant listing_json(_zaverer& self, Variant& url, Variant& city, Variant& category,
                     Variant& page) {
  require_plain_script_value(city, "pcity");
  require_plain_script_value(page, "ppage");
  Variant listing = inner::fetch_page(self, url);

  std::u16string joined = inner::blocks(self, listing, kBlockStart, kBlockEnd, kBlockSeparator);
  if (!joined.empty()) joined.resize(joined.size() - kBlockSeparator.size());
  // Only the first blocks become records, so the rest of the list is never split off.
  std::u16string records;
  std::u16string_view rest = joined;
  for (std::size_t i = 0; i < kMaxRecords && !joined.empty(); ++i) {
    const std::size_t end = rest.find(kBlockSeparator);
    if (i != 0) records += u",";
    append_record(records, read_offer(self, rest.substr(0, end)));
    if (end == std::u16string_view::npos) break;
    rest.remove_prefix(end + kBlockSeparator.size());
  }

  Variant page_digits = text(inner::slice(self, listing, u"pageCount : ", u">"));
  Variant digits;
  self.StayNub(page_digits, digits);
  const long count = offer_count(digits.is_empty() ? std::u16string() : to_text(digits));

  Variant category_code;
  self.D1616_Tuan_ppk_2(category, category_code);

  std::u16string out;
  out.reserve(records.size() + 128);
  out += u"{\r\n\"count\": \"" + number_to_text(static_cast<double>(count)) + u"\",\r\n";
  out += u"\"city\": " + to_text(city) + u",\r\n";
  out += u"\"cate\": \"" + to_text(category_code) + u"\",\r\n";
  out += u"\"page\": " + to_text(page) + u",\r\n";
  out += u"\"list\": [\r\n" + records + u"]\r\n}\r\n";
  return Variant::string(std::move(out));
}

}  // namespace pelmo::groupbuy
