// The known group-buy category codes.
#pragma once

#include "pelmo/variant.h"

namespace pelmo::groupbuy {

// D1616_Tuan_ppk_2: the code as text when it is one of "1", "2", "3", "4", "6", else "".
Variant known_category(const Variant& v);

}  // namespace pelmo::groupbuy
