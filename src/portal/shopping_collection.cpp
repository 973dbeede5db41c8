#include "portal/shopping_collection.h"

#include <string>
#include <string_view>
#include <vector>

#include "automation/inner_calls.h"
#include "automation/plus_join.h"
#include "pelmo/convert.h"
#include "pelmo/error.h"
#include "pelmo/text.h"
#include "util/output_escape.h"
#include "util/web_address.h"

namespace pelmo::portal {

namespace {

constexpr std::u16string_view kSeparator = u"#####";
constexpr std::size_t kLinksPerItem = 6;

// The k-th value of a list, trimmed and made safe for a single-quoted attribute.
std::u16string value_at(const std::vector<std::u16string>& list, std::size_t k) {
  if (k >= list.size()) throw_subscript_out_of_range();
  return util::escape_html_attribute(trim_spaces(list[k]));
}

// The same for an address, which may carry no script either.
std::u16string address_at(const std::vector<std::u16string>& list, std::size_t k) {
  if (k >= list.size()) throw_subscript_out_of_range();
  return util::escape_html_attribute(util::scriptless_address(trim_spaces(list[k])));
}

}  // namespace

Variant shopping_collection(_zaverer& self, Variant& page, Variant& block_id, bool with_pictures) {
  Variant start =
      util::plus_join({text(u"<div id=\""), block_id, text(u"\" style=\"display:none\">")});
  Variant end = text(u"</div>"), mode = Variant::integer(0), collection;
  // The page is passed on as the caller gave it; slicing never writes back.
  self.D1616_GetContent(page, start, end, mode, collection);

  Variant links = text(inner::blocks(self, collection, u"<span", u"</a>", kSeparator));
  auto values = [&](std::u16string_view marker) {
    return split(inner::blocks(self, links, marker, u"\"", kSeparator), kSeparator);
  };
  const std::vector<std::u16string> addresses = values(u"href=\"");
  const std::vector<std::u16string> pictures =
      with_pictures ? values(u"src=\"") : std::vector<std::u16string>();
  const std::vector<std::u16string> titles = values(u"title=\"");

  const std::size_t count = addresses.empty() ? 0 : addresses.size() - 1;
  std::u16string out;
  for (std::size_t k = 1; k <= count; ++k) {
    const std::u16string href = address_at(addresses, k - 1);
    const std::u16string picture = with_pictures ? address_at(pictures, k - 1) : std::u16string();
    const std::u16string title = value_at(titles, k - 1);
    if (k % kLinksPerItem == 1) out += u"<li>\r\n";
    out += k % kLinksPerItem == 0 ? u"<span class='b'><a href='" : u"<span class='a'><a href='";
    out += href + u"' target='_blank'  title='" + title;
    out += with_pictures ? u"'><img src='" + picture + u"' border='0' /></a>\r\n" : u"'></a>\r\n";
    out += u"<a href='" + href + u"' target='_blank'   title='" + title + u"'>" + title +
           u"</a></span>\r\n";
    if (k % kLinksPerItem == 0) out += u"</li>\r\n";
  }
  if (count % kLinksPerItem != 0) out += u"</li>\r\n";
  return Variant::string(std::move(out));
}

}  // namespace pelmo::portal
