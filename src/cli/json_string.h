// The text of one JSON string, for the command's two readers of JSON: the batch line's and the
// probe file's. They differ only in what becomes of a lone surrogate.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pelmo::cli {

enum class LoneSurrogate {
  kRefuse,   // an error: a call's text must reach the method as written
  kReplace,  // U+FFFD: texts that are only compared
};

// Reads the string whose opening quote is at `at` into `out` as UTF-8 and moves `at` past its
// closing quote. On a malformed string returns what is wrong, with `at` where it was found;
// nullptr on success.
const char* read_json_string(std::string_view text, std::size_t& at, LoneSurrogate lone,
                             std::string& out);

}  // namespace pelmo::cli
