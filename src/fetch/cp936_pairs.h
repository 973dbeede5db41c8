// Two-byte codes of code page 936 as single characters, for the pair decoder.
#pragma once

#include <cstdint>

namespace pelmo::fetch {

// The character whose code page 936 code is lead * 256 + trail (lead 0x80 or more), or U+FFFD
// when the code page does not read those two bytes as one character.
char16_t cp936_pair(std::uint8_t lead, std::uint8_t trail);

// The same for every pair at once: entry (lead - 0x80) * 256 + trail, built on first use.
const char16_t* cp936_pair_table();

}  // namespace pelmo::fetch
