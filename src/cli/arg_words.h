// The argument words of `pelmo call`: one shell word per variant.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

#include "pelmo/variant.h"

namespace pelmo::cli {

// A word the command cannot take; reported as a usage error.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The largest file an sf: or xf: word reads; larger ones, and anything but a regular file, are
// usage errors.
constexpr std::size_t kMaxArgumentFileBytes = std::size_t{256} << 20;

// empty, null, s:TEXT, u:HHHH..., sf:PATH, n:NUMBER, i:NUMBER, l:NUMBER, b:true|false,
// x:HEX, xf:PATH. Anything else throws UsageError.
Variant parse_arg_word(std::string_view word);

}  // namespace pelmo::cli
