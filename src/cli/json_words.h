// The calls of `pelmo batch`: one JSON array of strings a line, read strictly.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pelmo::cli {

// The strings of a JSON array of strings, as UTF-8; whitespace around the tokens allowed, nothing
// after the array. Anything else (another value, a bad escape, a lone surrogate, a raw control
// character) throws UsageError.
std::vector<std::string> parse_json_words(std::string_view line);

}  // namespace pelmo::cli
