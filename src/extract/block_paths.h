// The two ways of finding the blocks between a start and an end marker. The pattern path runs
// the pattern the markers make; the literal path gives the same blocks faster when neither
// marker holds pattern syntax. Both take the markers as the caller gave them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "extract/block.h"
#include "extract/bounded_matcher.h"

namespace pelmo::extract {

// Each character of the marker's escape set gets one backslash in front of it.
std::u16string escape_start_marker(std::u16string_view marker);  // \ ( ) ? $ [ ]
std::u16string escape_over_marker(std::u16string_view marker);   // \ ( ) ? [ ]

// True when both markers, once escaped, are plain literal text in the pattern.
bool markers_are_literal(std::u16string_view start, std::u16string_view over);
// The same for the end marker alone.
bool over_marker_is_literal(std::u16string_view over);

// The pattern path: start, any run (line feeds included, shortest first), over, case-insensitive
// and global, as a backtracking engine would find them, on a matcher whose work is bounded by
// `budget` (error 28 when it runs out). A pattern such an engine refuses fails with 5017.
// `dfa_cache_bytes` as for bounded_matches.
std::vector<Block> pattern_blocks(std::u16string_view text, std::u16string_view start,
                                  std::u16string_view over, std::uint64_t budget = kMatchBudget,
                                  std::size_t dfa_cache_bytes = kDfaCacheBytes);
// The same, each block given to `sink` as it is found.
void pattern_blocks(std::u16string_view text, std::u16string_view start, std::u16string_view over,
                    const BlockSink& sink, std::uint64_t budget = kMatchBudget,
                    std::size_t dfa_cache_bytes = kDfaCacheBytes);

// The two-step search; only valid when markers_are_literal(start, over).
std::vector<Block> literal_blocks(std::u16string_view text, std::u16string_view start,
                                  std::u16string_view over);
void literal_blocks(std::u16string_view text, std::u16string_view start, std::u16string_view over,
                    const BlockSink& sink);

}  // namespace pelmo::extract
