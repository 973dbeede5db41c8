// The client-script array of affiliate links to group-buy sites.
#pragma once

#include "pelmo/variant.h"
#include "pelmo/zaverer.h"

namespace pelmo::groupbuy {

// D1616_Tuan_Shezhi: writes the fetched search page back into `links`.
Variant affiliate_link_script(_zaverer& self, Variant& links, Variant& label);

}  // namespace pelmo::groupbuy
