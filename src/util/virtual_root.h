// Resource paths placed under the portal's virtual directory.
#pragma once

#include "pelmo/variant.h"

namespace pelmo::util {

Variant virtual_root_path(const Variant& root_dir, const Variant& path);  // aDir

}  // namespace pelmo::util
