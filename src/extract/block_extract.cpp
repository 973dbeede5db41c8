#include "extract/block_extract.h"

#include <string>
#include <vector>

#include "automation/large_buffers.h"
#include "extract/block_paths.h"
#include "extract/marker_search.h"
#include "pelmo/convert.h"

namespace pelmo::extract {

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
  for (const Block& block : blocks) {
    joined.append(page.substr(block.offset, block.length));
    joined.append(sep);
  }

  if (to_truth(strip_markers)) {
    remove_all(joined, start_marker);
    remove_all(joined, over_marker);
  }
  return Variant::string(std::move(joined));
}

}  // namespace pelmo::extract
