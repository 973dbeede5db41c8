#include "extract/block_extract.h"

#include <algorithm>
#include <string>
#include <vector>

#include "automation/large_buffers.h"
#include "extract/block_paths.h"
#include "extract/marker_search.h"
#include "pelmo/convert.h"

namespace pelmo::extract {

namespace {

// Units joined between two removals of the markers: well inside the processor's own cache.
constexpr std::size_t kStripStretch = 16 * 1024;
// How many blocks ahead of the copy their units are fetched, and how many cache lines of
// 32 units each a block's fetch covers at most.
constexpr std::size_t kBlocksAhead = 8;
constexpr std::size_t kUnitsPerLine = 32;
constexpr std::size_t kLinesFetched = 4;

}  // namespace

Variant collect_blocks(const Variant& text, const Variant& start, const Variant& over,
                       const Variant& separator, const Variant& strip_markers) {
  const std::u16string start_marker = to_text(start);
  const std::u16string over_marker = to_text(over);
  std::u16string page_scratch;
  const std::u16string_view page = text_view(text, page_scratch);

  // The callers' markers are plain text: the two-step search answers as the pattern would,
  // in linear time.
  const std::vector<Block> blocks = markers_are_literal(start_marker, over_marker)
                                        ? literal_blocks(page, start_marker, over_marker)
                                        : pattern_blocks(page, start_marker, over_marker);

  std::u16string sep_scratch;
  const std::u16string_view sep = text_view(separator, sep_scratch);
  std::size_t total = 0;
  for (const Block& block : blocks) total += block.length + sep.size();
  std::u16string joined;
  util::reserve_large(joined, total);
  // The markers are removed as the text grows, a stretch at a time, while it is still in the
  // cache; the end marker from what the start marker's removal has settled.
  const bool strip = to_truth(strip_markers);
  MarkerRemoval starts(start_marker), overs(over_marker);
  auto remove_markers = [&](bool last) {
    starts.advance(joined.data(), joined.size(), last);
    overs.advance(joined.data(), starts.settled(), last);
  };
  std::size_t unstripped = 0;
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    const Block& block = blocks[i];
    // The page was read long before, when the blocks were found: ask for the next blocks' units
    // now, so that each copy finds them in the cache.
    if (i + kBlocksAhead < blocks.size()) {
      const Block& next = blocks[i + kBlocksAhead];
      const std::size_t lines =
          std::min<std::size_t>(next.length / kUnitsPerLine + 1, kLinesFetched);
      for (std::size_t line = 0; line < lines; ++line)
        __builtin_prefetch(page.data() + next.offset + line * kUnitsPerLine);
    }
    joined.append(page.substr(block.offset, block.length));
    joined.append(sep);
    if (strip && joined.size() - unstripped >= kStripStretch) {
      remove_markers(false);
      unstripped = joined.size();
    }
  }
  if (strip) {
    remove_markers(true);
    joined.resize(overs.settled());
  }
  return Variant::string(std::move(joined));
}

}  // namespace pelmo::extract
