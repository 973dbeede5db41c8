// The rolling-news script data for the home page.
#pragma once

#include "pelmo/variant.h"
#include "pelmo/zaverer.h"

namespace pelmo::portal {

// D1616_New_index: an array of the script text and the index of the first international entry.
Variant rolling_news(_zaverer& self);

}  // namespace pelmo::portal
