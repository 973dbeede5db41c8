// Every block between a start and an end marker, joined with a separator.
#pragma once

#include "pelmo/variant.h"

namespace pelmo::extract {

Variant collect_blocks(const Variant& text, const Variant& start, const Variant& over,
                       const Variant& separator, const Variant& strip_markers);

}  // namespace pelmo::extract
