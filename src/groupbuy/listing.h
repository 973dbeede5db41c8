// A group-buy listing page turned into JSON-shaped offer text.
#pragma once

#include "pelmo/variant.h"
#include "pelmo/zaverer.h"

namespace pelmo::groupbuy {

// D1616_Tuan_Smain.
Variant listing_json(_zaverer& self, Variant& url, Variant& city, Variant& category, Variant& page);

}  // namespace pelmo::groupbuy
