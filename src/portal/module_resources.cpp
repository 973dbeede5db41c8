#include "portal/module_resources.h"

#include "automation/plus_join.h"
#include "automation/sub_site_address.h"
#include "config/outside_hosts.h"
#include "pelmo/convert.h"

namespace pelmo::portal {

namespace {

Variant build_address(const Variant& key, const Variant& v2, const Variant& v3, const Variant& v4) {
  if (equals_text(key, u"xingzuo2")) {
    if (!equals_text(v2, u"1")) return Variant();
    return util::plus_join(
        {text(u"/template/"), v3, text(u"/images/xingzuo2/data_bak/"), v4, text(u".js")});
  }
  if (equals_text(key, u"caipiao")) {
    return text(u"http://" + outside_hosts().lottery + u"/caipiao/js/caipiao_data.js");
  }
  if (equals_text(key, u"tuangou")) return text(u"pelmo_Chajian/Images16/1.gif");
  if (equals_text(key, u"tuangou2")) return text(u"../../pelmo_Chajian/Images16/2.gif");
  if (equals_text(key, u"tuangou3")) {
    return sub_site_address(v2, outside_hosts().shopnav_domain, u"/navigate.html");
  }
  return Variant();
}

}  // namespace

Variant module_address(const Variant& key, const Variant& v2, const Variant& v3, const Variant& v4,
                       Variant& out) {
  Variant address = build_address(key, v2, v3, v4);
  if (address.is_empty()) return Variant();  // no rule applies: the fifth argument stays
  out = address;
  return address;
}

}  // namespace pelmo::portal
