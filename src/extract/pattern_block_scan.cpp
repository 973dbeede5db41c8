#include <array>
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

}  // namespace

std::u16string escape_start_marker(std::u16string_view marker) {
  return escape(marker, u"\\()?$[]");
}

std::u16string escape_over_marker(std::u16string_view marker) { return escape(marker, u"\\()?[]"); }

std::vector<Block> pattern_blocks(std::u16string_view text, std::u16string_view start,
                                  std::u16string_view over, std::uint64_t budget,
                                  std::size_t dfa_cache_bytes) {
  const MarkerProgram program =
      compile_marker_program(escape_start_marker(start), escape_over_marker(over));
  // With a literal end marker every block ends at an occurrence of it (unless a "|" in the start
  // marker splits the pattern), and nothing in the pattern looks past its own match, so the text
  // after the last one cannot change the blocks. Cut off, it spares the matcher a run to the end
  // of the page from every start marker there. The last occurrence is looked for with full
  // lower-case folding, wider than the pattern's ASCII letters, so it is never too early.
  if (!over_marker_is_literal(over) || over.empty() || start.find(u'|') != start.npos) {
    return bounded_matches(program, text, budget, dfa_cache_bytes);
  }
  const std::size_t last = MarkerSearch(over, UnitFold::Lower).find_last(text);
  const std::u16string_view searched =
      text.substr(0, last == MarkerSearch::npos ? 0 : last + over.size());
  // Such a block is the start pattern's own match taken on to the first end marker after it.
  // Where the start pattern holds an open repeat (".*" inside quotes), the automaton of the
  // whole pattern follows the repeat and the run after it at once, stopping wherever either
  // may move on; the start pattern alone passes its repeat in one scan. Without one, the start
  // pattern's part of a block is short, and walking it whole costs less than a search for the
  // end marker from where it ends.
  if (start.find_first_of(u"*+") == start.npos) {
    return bounded_matches(program, searched, budget, dfa_cache_bytes);
  }
  const MarkerProgram start_only = compile_marker_program(escape_start_marker(start), u"");
  return bounded_matches_to_literal(program, start_only, over, searched, budget, dfa_cache_bytes);
}

}  // namespace pelmo::extract
