// Large buffers (a whole page's bytes or text) are touched for the first time right after they
// are allocated. Where the kernel offers transparent huge pages on request, asking for them
// turns hundreds of thousands of small page faults of a large page into a few hundred: on a
// virtual machine those faults are most of the time a large fetch-and-decode takes.
#pragma once

#include <cstddef>

namespace pelmo::util {

// Below this a buffer is left alone: it spans too few huge pages to matter.
inline constexpr std::size_t kLargeBufferBytes = 4u << 20;

// A hint only: does nothing where huge pages cannot be asked for, or for small buffers.
void advise_huge_pages(const void* data, std::size_t bytes) noexcept;

// Reserves room for `count` elements, then gives the hint for the whole reservation before any
// of it is written.
template <typename Container>
void reserve_large(Container& buffer, std::size_t count) {
  buffer.reserve(count);
  advise_huge_pages(buffer.data(), buffer.capacity() * sizeof(*buffer.data()));
}

}  // namespace pelmo::util
