#include <windows.h>

#include <string>

#include "fetch/cp936_source.h"
#include "pelmo/error.h"

namespace pelmo::fetch {

void platform_cp936_pairs(Cp936PairSpan table) {
  if (!IsValidCodePage(936)) {
    throw AutomationError(err::kInvalidCall, "Code page 936 is not installed on this system");
  }
  for (std::size_t lead = 0; lead < kCp936Leads; ++lead) {
    for (std::size_t trail = 0; trail < kCp936Trails; ++trail) {
      const char pair[2] = {static_cast<char>(0x80 + lead), static_cast<char>(trail)};
      wchar_t out[4] = {};
      // With MB_ERR_INVALID_CHARS an undefined code fails instead of becoming a default char.
      const int length = MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, pair, 2, out, 4);
      const bool one_unit = length == 1 && !(out[0] >= 0xD800 && out[0] <= 0xDFFF);
      table[lead * kCp936Trails + trail] = one_unit ? static_cast<char16_t>(out[0]) : u'\uFFFD';
    }
  }
}

}  // namespace pelmo::fetch
