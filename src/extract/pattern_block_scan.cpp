#include <array>
#include <optional>
#include <string>

#include "extract/block_paths.h"
#include "extract/bounded_matcher.h"
#include "extract/marker_program.h"
#include "extract/marker_search.h"

namespace pelmo::extract {

namespace {

std::u16string escape(std::u16string_view marker, std::u16string_view escape_set) {
  // Every unit of the set is ASCII: a table lookup per unit keeps a huge marker cheap.
  std::array<bool, 128> escaped{};
  for (char16_t c : escape_set) escaped[c] = true;
  auto needs = [&](char16_t c) { return c < escaped.size() && escaped[c]; };
  std::size_t escapes = 0;
  for (char16_t c : marker) escapes += needs(c) ? 1 : 0;
  std::u16string out;
  out.reserve(marker.size() + escapes);
  for (char16_t c : marker) {
    if (needs(c)) out.push_back(u'\\');
    out.push_back(c);
  }
  return out;
}

// Positions after a start without an open repeat where the end marker is compared directly.
constexpr std::size_t kLookNear = 8;
// Instructions of room left beyond the start's and one a unit of the end marker, should the
// escaping and the run be counted differently by the whole pattern.
constexpr std::size_t kSizeMargin = 16;

}  // namespace

std::u16string escape_start_marker(std::u16string_view marker) {
  return escape(marker, u"\\()?$[]");
}

std::u16string escape_over_marker(std::u16string_view marker) { return escape(marker, u"\\()?[]"); }

void pattern_blocks(std::u16string_view text, std::u16string_view start, std::u16string_view over,
                    const BlockSink& sink, std::uint64_t budget, std::size_t dfa_cache_bytes) {
  auto compile_whole = [&] {
    return compile_marker_program(escape_start_marker(start), escape_over_marker(over));
  };
  // With a literal end marker every block ends at an occurrence of it (unless a "|" in the start
  // marker splits the pattern), and nothing in the pattern looks past its own match, so the text
  // after the last one cannot change the blocks. Cut off, it spares the matcher a run to the end
  // of the page from every start marker there. The last occurrence is looked for with full
  // lower-case folding, wider than the pattern's ASCII letters, so it is never too early.
  if (!over_marker_is_literal(over) || over.empty() || start.find(u'|') != start.npos) {
    return bounded_matches(compile_whole(), text, sink, budget, dfa_cache_bytes);
  }
  const std::size_t last = MarkerSearch(over, UnitFold::Lower).find_last(text);
  const std::u16string_view searched =
      text.substr(0, last == MarkerSearch::npos ? 0 : last + over.size());
  // Such a block is the start pattern's own match taken on to the first end marker after it.
  // Alone, the start pattern keeps fewer threads alive than the whole: the ".*" inside quotes
  // no longer follows the run after it, and a plain line of units and dots needs no automaton
  // at all. Without an open repeat the start's match is short, and the end marker often stands
  // a few units after it.
  const bool open_repeat = start.find_first_of(u"*+") != start.npos;
  const MarkerProgram start_only = compile_marker_program(escape_start_marker(start), u"");
  // The whole pattern is compiled only if the start alone cannot finish the call. The end
  // marker adds one instruction a unit: near the size cap it is compiled now, so that a pattern
  // past the cap fails with 28 before any block, as it always has.
  std::optional<MarkerProgram> whole;
  if (start_only.code.size() + over.size() + kSizeMargin > kMaxProgramSize) whole = compile_whole();
  bounded_matches_to_literal(
      [&]() -> const MarkerProgram& { return whole ? *whole : whole.emplace(compile_whole()); },
      start_only, over, searched, open_repeat ? 0 : kLookNear, sink, budget, dfa_cache_bytes);
}

std::vector<Block> pattern_blocks(std::u16string_view text, std::u16string_view start,
                                  std::u16string_view over, std::uint64_t budget,
                                  std::size_t dfa_cache_bytes) {
  std::vector<Block> blocks;
  pattern_blocks(
      text, start, over, [&](const Block& block) { blocks.push_back(block); }, budget,
      dfa_cache_bytes);
  return blocks;
}

}  // namespace pelmo::extract
