// Encoding text into a named character set, for the demo's sample pages and the tests' pages.
#pragma once

#include <string>
#include <string_view>

namespace pelmo::cli {

// Throws std::runtime_error for an unknown charset; unmappable characters become the set's
// substitute byte.
std::string encode_text(std::u16string_view text, const char* charset);

}  // namespace pelmo::cli
