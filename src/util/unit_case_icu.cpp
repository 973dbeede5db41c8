#include <unicode/uchar.h>

#include "util/unit_case.h"

namespace pelmo {

char16_t platform_lower_unit(char16_t c) {
  const UChar32 folded = u_tolower(static_cast<UChar32>(c));
  return folded <= 0xFFFF ? static_cast<char16_t>(folded) : c;
}

}  // namespace pelmo
