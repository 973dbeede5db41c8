// Addresses on the sub-sites of the shopping-navigation domain: http://LABEL.DOMAIN/PATH.
#pragma once

#include <string_view>

#include "pelmo/variant.h"

namespace pelmo {

// Joined with the "+" rule (a Null label gives Null, a number fails with 13); a label text
// that is not 1 to 63 ASCII letters, digits or hyphens fails with 5, so the caller's label
// can never point the address at another host, port or path.
Variant sub_site_address(const Variant& label, std::u16string_view domain,
                         std::u16string_view path);

}  // namespace pelmo
