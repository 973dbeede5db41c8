// Where the pair table of code page 936 comes from: ICU on Linux, the system's own code page
// on Windows. Filled once, then every pair decodes with one lookup.
#pragma once

#include <cstddef>
#include <span>

namespace pelmo::fetch {

inline constexpr std::size_t kCp936Leads = 128;  // lead bytes 0x80 to 0xFF
inline constexpr std::size_t kCp936Trails = 256;
using Cp936PairSpan = std::span<char16_t, kCp936Leads * kCp936Trails>;

// Sets table[(lead - 0x80) * 256 + trail] to the one character that code page 936 reads for
// those two bytes, or U+FFFD when it reads them as anything else (an undefined code, two
// characters, a surrogate). Fails with an AutomationError when the code page is missing.
void platform_cp936_pairs(Cp936PairSpan table);

}  // namespace pelmo::fetch
