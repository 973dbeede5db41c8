#include "groupbuy/affiliate_links.h"

#include <string>
#include <vector>

#include "automation/inner_calls.h"
#include "automation/sub_site_address.h"
#include "config/outside_hosts.h"
#include "pelmo/convert.h"
#include "pelmo/error.h"
#include "pelmo/text.h"
#include "util/output_escape.h"

namespace pelmo::groupbuy {

namespace {

constexpr int kEntries = 49;

const std::u16string& element(const std::vector<std::u16string>& list, int i) {
  if (i >= static_cast<int>(list.size())) throw_subscript_out_of_range();
  return list[static_cast<std::size_t>(i)];
}

}  // namespace

Variant affiliate_link_script(_zaverer& self, Variant& links, Variant& label) {
  const OutsideHosts hosts = outside_hosts();
  const std::u16string redirect = u"http://" + hosts.affiliate + u"/gc";

  // The link text is script source, so its quotes arrive escaped with a backslash.
  const std::vector<std::u16string> tails =
      split(inner::blocks(self, links, u"<a href=\\\"" + redirect, u"\\\"", u"###"), u"###");
  const std::vector<std::u16string> names = split(
      replace_all(inner::blocks(self, links, u"'TUAN'", u"</a>", u"###"), u")\\\">", u""), u"###");

  std::u16string list;
  for (int i = 0; i < kEntries; ++i) {
    list += u"[\"" + element(names, i) + u"\",\"" + redirect + element(tails, i) + u"\"],";
  }
  list.pop_back();
  std::u16string script = u"var a1 = [" + list + u"]";

  const Variant address = sub_site_address(label, hosts.shopnav_domain, u"/tuan/searchproduct.do");
  Variant page = inner::fetch_page(self, address);
  links = page;

  // The identifiers come from an outside page and land inside the script's strings.
  const std::u16string site_id =
      util::escape_script_string(inner::slice(self, page, u"var siteid = '", u"'"));
  const std::u16string earner_id =
      util::escape_script_string(inner::slice(self, page, u"var earnerid = '", u"'"));
  script = replace_all(script, u"lianmengwid", site_id);
  script = replace_all(script, u"lianmenguid", earner_id);
  return Variant::string(std::move(script));
}

}  // namespace pelmo::groupbuy
