// Counting a text's occurrences in generated markup.
#pragma once

#include <string>
#include <string_view>

namespace pelmo::testing {

inline std::size_t occurrences(std::u16string_view s, std::u16string_view what) {
  std::size_t n = 0;
  for (std::size_t at = s.find(what); at != std::u16string_view::npos; at = s.find(what, at + 1))
    ++n;
  return n;
}

}  // namespace pelmo::testing
