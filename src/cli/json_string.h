// The pieces of JSON text the command's two readers of JSON share, the batch line's and the
// probe file's: the space between tokens and the strings, which they read alike but for what
// becomes of a lone surrogate.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pelmo::cli {

// The first place at or after `at` that is not JSON white space.
std::size_t skip_json_space(std::string_view text, std::size_t at);

// Whether `c` stands at `at`; if so, `at` moves past it.
bool take_json_char(std::string_view text, std::size_t& at, char c);

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
