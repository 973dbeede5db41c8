// One block found in a searched text.
#pragma once

#include <cstddef>
#include <functional>

namespace pelmo::extract {

struct Block {
  std::size_t offset;  // code units into the searched text
  std::size_t length;
  friend bool operator==(const Block&, const Block&) = default;
};

// Takes each block as a search finds it, left to right: the caller may copy it out while the
// search has just read its units.
using BlockSink = std::function<void(const Block&)>;

}  // namespace pelmo::extract
