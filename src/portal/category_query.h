// The category query of a tag block.
#pragma once

#include "pelmo/variant.h"
#include "pelmo/zaverer.h"

namespace pelmo::portal {

// Bq_x: an array of the SQL text and the page's own value.
Variant category_query(_zaverer& self, Variant& tag);

}  // namespace pelmo::portal
