// The administration console's menu sections and the member-centre panels.
#pragma once

#include "pelmo/variant.h"

namespace pelmo::admin {

// pelmoConstStr: the block named by `key` when `flag` shows it, else Empty.
Variant console_block(const Variant& key, const Variant& flag);

}  // namespace pelmo::admin
