// One slice of a text at markers found without regard to letter case, in one of ten modes.
#pragma once

#include "pelmo/variant.h"

namespace pelmo::extract {

Variant slice_at_markers(const Variant& text, const Variant& start, const Variant& last,
                         const Variant& mode);

}  // namespace pelmo::extract
