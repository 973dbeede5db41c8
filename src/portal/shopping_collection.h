// A hidden collection of shop links rendered as list markup.
#pragma once

#include "pelmo/variant.h"
#include "pelmo/zaverer.h"

namespace pelmo::portal {

// D1616_Gouwu_Cj_Pic (with pictures) and D1616_Gouwu_Cj_Txt (text only).
Variant shopping_collection(_zaverer& self, Variant& page, Variant& block_id, bool with_pictures);

}  // namespace pelmo::portal
