// Joining texts with the automation "+" operator: the rule that address and marker builders
// follow when their pieces come from the caller.
#pragma once

#include <initializer_list>

#include "pelmo/variant.h"

namespace pelmo::util {

// Left to right: a text is appended and Empty counts as the empty text; a Null piece makes the
// whole result Null, after which later pieces are not examined; a number, Boolean or array
// piece met before any Null fails the call with a type mismatch (13).
Variant plus_join(std::initializer_list<Variant> pieces);

}  // namespace pelmo::util
