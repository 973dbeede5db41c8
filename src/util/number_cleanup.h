// Number lists, whole numbers, digits only, line breaks.
#pragma once

#include <string>
#include <string_view>

#include "pelmo/variant.h"

namespace pelmo::util {

Variant clean_number_list(Variant& s);        // FNum, writes back
Variant whole_number(Variant& str);           // Bint, writes back
Variant digits_only(const Variant& content);  // StayNub
Variant without_line_breaks(Variant& v);      // Lnumbs, writes back

// The ASCII digits of the text, in order: what replacing "[^\d]*" by nothing leaves, since the
// pattern's "\d" is 0 to 9 only.
std::u16string keep_ascii_digits(std::u16string_view text);

}  // namespace pelmo::util
