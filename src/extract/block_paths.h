// The two ways of finding the blocks between a start and an end marker. The engine path runs
// the regular expression the markers make; the literal path gives the same blocks in linear
// time when neither marker holds pattern syntax. Both take the markers as the caller gave them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "host/platform.h"

namespace pelmo::extract {

struct Block {
  std::size_t offset;  // code units into the searched text
  std::size_t length;
  friend bool operator==(const Block&, const Block&) = default;
};

// Each character of the marker's escape set gets one backslash in front of it.
std::u16string escape_start_marker(std::u16string_view marker);  // \ ( ) ? $ [ ]
std::u16string escape_over_marker(std::u16string_view marker);   // \ ( ) ? [ ]

// True when both markers, once escaped, are plain literal text in the pattern.
bool markers_are_literal(std::u16string_view start, std::u16string_view over);
// The same for the end marker alone.
bool over_marker_is_literal(std::u16string_view over);

// The regular-expression path: start, any run (line feeds included, shortest first), over,
// case-insensitive and global. Fails with the engine's errors.
std::vector<Block> engine_blocks(host::Platform& platform, std::u16string_view text,
                                 std::u16string_view start, std::u16string_view over);

// The two-step search; only valid when markers_are_literal(start, over).
std::vector<Block> literal_blocks(std::u16string_view text, std::u16string_view start,
                                  std::u16string_view over);

}  // namespace pelmo::extract
