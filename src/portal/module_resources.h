// Addresses of the portal modules' resources.
#pragma once

#include "pelmo/variant.h"

namespace pelmo::portal {

// D1616_m: the address for the module key, also stored into `out` (the fifth argument).
Variant module_address(const Variant& key, const Variant& v2, const Variant& v3, const Variant& v4,
                       Variant& out);

}  // namespace pelmo::portal
