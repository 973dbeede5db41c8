#include "extract/block_extract.h"

#include <algorithm>
#include <optional>
#include <string>

#include "automation/large_buffers.h"
#include "extract/block_paths.h"
#include "extract/marker_search.h"
#include "pelmo/convert.h"

namespace pelmo::extract {

namespace {

// Units joined between two removals of the markers: well inside the processor's own cache.
constexpr std::size_t kStripStretch = 16 * 1024;

}  // namespace

Variant collect_blocks(const Variant& text, const Variant& start, const Variant& over,
                       const Variant& separator, const Variant& strip_markers) {
  const std::u16string start_marker = to_text(start);
  const std::u16string over_marker = to_text(over);
  std::u16string page_scratch;
  const std::u16string_view page = text_view(text, page_scratch);
  std::u16string sep_scratch;
  const std::u16string_view sep = text_view(separator, sep_scratch);

  // Each block is copied as soon as it is found, while the search has its units in the cache:
  // on a large page, copied later, every block waited on memory. The blocks together are no
  // longer than the page, so room for it and a quarter more for the separators is asked for at
  // once and the text seldom moves as it grows; room never written is never given memory.
  std::u16string joined;
  util::reserve_large(joined, page.size() + page.size() / 4 + sep.size());
  // The markers are removed as the text grows, a stretch at a time, while it is still in the
  // cache; the end marker from what the start marker's removal has settled.
  // They are set up with the first removal: a marker that fails the call (a pattern past the
  // size cap, millions of units long) must fail it before its search tables are built.
  const bool strip = to_truth(strip_markers);
  std::optional<MarkerRemoval> starts, overs;
  auto remove_markers = [&](bool last) {
    if (!starts) {
      starts.emplace(start_marker);
      overs.emplace(over_marker);
    }
    starts->advance(joined.data(), joined.size(), last);
    overs->advance(joined.data(), starts->settled(), last);
  };
  std::size_t unstripped = 0;
  const BlockSink join = [&](const Block& block) {
    const std::size_t needed = joined.size() + block.length + sep.size();
    if (needed > joined.capacity()) {
      util::reserve_large(joined, std::max(needed, 2 * joined.capacity()));
    }
    joined.append(page.substr(block.offset, block.length));
    joined.append(sep);
    if (strip && joined.size() - unstripped >= kStripStretch) {
      remove_markers(false);
      unstripped = joined.size();
    }
  };
  // The callers' markers are plain text: the two-step search answers as the pattern would,
  // in linear time.
  if (markers_are_literal(start_marker, over_marker)) {
    literal_blocks(page, start_marker, over_marker, join);
  } else {
    pattern_blocks(page, start_marker, over_marker, join);
  }
  if (strip) {
    remove_markers(true);
    joined.resize(overs->settled());
  }
  return Variant::string(std::move(joined));
}

}  // namespace pelmo::extract
