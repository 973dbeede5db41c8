// The platform's simple lower-case mapping of one code unit, behind the per-unit table in
// text.cpp. Linux asks ICU, Windows the system's own case tables.
#pragma once

namespace pelmo {

// Only called for units from U+0080 on that are not surrogate halves. A mapping that would
// leave the Basic Multilingual Plane or change the length gives the unit itself.
char16_t platform_lower_unit(char16_t c);

}  // namespace pelmo
