// One block found in a searched text.
#pragma once

#include <cstddef>

namespace pelmo::extract {

struct Block {
  std::size_t offset;  // code units into the searched text
  std::size_t length;
  friend bool operator==(const Block&, const Block&) = default;
};

}  // namespace pelmo::extract
