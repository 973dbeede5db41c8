// The regular-expression object on PCRE2 (16-bit code units, JIT).
#pragma once

#include <memory>

#include "host/regexp.h"

namespace pelmo::host {

std::unique_ptr<RegExp> make_pcre2_regexp();

}  // namespace pelmo::host
