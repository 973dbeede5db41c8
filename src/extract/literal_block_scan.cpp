#include "extract/block_paths.h"
#include "extract/marker_search.h"

namespace pelmo::extract {

namespace {

// Characters that stay pattern syntax after escaping; "$" is escaped in the start marker only.
constexpr std::u16string_view kStartSyntax = u".^*+{}|";
constexpr std::u16string_view kOverSyntax = u".^$*+{}|";

}  // namespace

bool over_marker_is_literal(std::u16string_view over) {
  return over.find_first_of(kOverSyntax) == std::u16string_view::npos;
}

bool markers_are_literal(std::u16string_view start, std::u16string_view over) {
  return start.find_first_of(kStartSyntax) == std::u16string_view::npos &&
         over_marker_is_literal(over);
}

// The engine's leftmost-shortest match of start, any run, over is: the first start at or
// after the search position, through the first over after that start. If no over follows
// that start, none follows any later start either, so the search ends.
void literal_blocks(std::u16string_view text, std::u16string_view start, std::u16string_view over,
                    const BlockSink& sink) {
  const MarkerSearch start_search(start, UnitFold::AsciiLetters);
  const MarkerSearch over_search(over, UnitFold::AsciiLetters);
  std::size_t from = 0;
  while (from <= text.size()) {
    const std::size_t begin = start_search.find(text, from);
    if (begin == MarkerSearch::npos) break;
    const std::size_t over_at = over_search.find(text, begin + start_search.size());
    if (over_at == MarkerSearch::npos) break;
    const std::size_t end = over_at + over_search.size();
    sink({begin, end - begin});
    // After an empty match the engine moves on by one code unit.
    from = end > begin ? end : begin + 1;
  }
}

std::vector<Block> literal_blocks(std::u16string_view text, std::u16string_view start,
                                  std::u16string_view over) {
  std::vector<Block> blocks;
  literal_blocks(text, start, over, [&](const Block& block) { blocks.push_back(block); });
  return blocks;
}

}  // namespace pelmo::extract
