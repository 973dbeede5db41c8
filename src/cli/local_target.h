// The Linux command's object: the core object of this process, with the command's local page.
#pragma once

#include <memory>

#include "cli/call_target.h"

namespace pelmo::cli {

std::unique_ptr<CallTarget> make_local_target();

}  // namespace pelmo::cli
