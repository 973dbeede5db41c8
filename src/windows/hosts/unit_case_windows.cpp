#include <windows.h>

#include "util/unit_case.h"

namespace pelmo {

char16_t platform_lower_unit(char16_t c) {
  // The invariant locale's simple mapping, one unit in, one unit out.
  wchar_t in = static_cast<wchar_t>(c);
  wchar_t out = in;
  const int n =
      LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, &in, 1, &out, 1, nullptr, nullptr, 0);
  return n == 1 ? static_cast<char16_t>(out) : c;
}

}  // namespace pelmo
