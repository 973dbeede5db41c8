// Number lists, whole numbers, digits only, line breaks.
#pragma once

#include "host/platform.h"
#include "pelmo/variant.h"

namespace pelmo::util {

Variant clean_number_list(Variant& s);                                  // FNum, writes back
Variant whole_number(Variant& str);                                     // Bint, writes back
Variant digits_only(host::Platform& platform, const Variant& content);  // StayNub
Variant without_line_breaks(Variant& v);                                // Lnumbs, writes back

}  // namespace pelmo::util
