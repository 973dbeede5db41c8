#include "util/script_value.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include "pelmo/convert.h"

namespace pelmo::util {

namespace {

bool is_identifier_start(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' || c == u'$';
}

bool is_identifier_part(char16_t c) { return is_identifier_start(c) || (c >= u'0' && c <= u'9'); }

bool is_quoted_literal_unit(char16_t c) {
  return c >= 0x20 && !(c >= 0x7F && c <= 0x9F) && c != u'"' && c != u'\'' && c != u'\\' &&
         c != u'<' && c != u'>' && c != u'&' && c != u'\u2028' && c != u'\u2029';
}

// Longer than any text number_to_text writes ("-1.23456789012345E-308" is 22).
constexpr std::size_t kLongestNumberText = 24;

}  // namespace

bool is_identifier_path(std::u16string_view s) {
  bool part_start = true;
  for (char16_t c : s) {
    if (c == u'.' && !part_start) {
      part_start = true;
    } else if (part_start ? is_identifier_start(c) : is_identifier_part(c)) {
      part_start = false;
    } else {
      return false;
    }
  }
  return !part_start;
}

bool is_component_number(std::u16string_view s) {
  if (s.empty() || s.size() > kLongestNumberText) return false;
  std::string ascii;
  for (char16_t c : s) {
    if (c > 0x7F) return false;
    ascii += static_cast<char>(c);
  }
  double value = 0;
  const auto [end, ec] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
  if (ec != std::errc() || end != ascii.data() + ascii.size() || !std::isfinite(value)) {
    return false;
  }
  // Whatever reads as this value in another spelling ("007", "1e5", "0x1p3", "-0") is refused:
  // in a script some of those mean something else.
  return number_to_text(value) == s;
}

bool is_plain_script_value(std::u16string_view s) {
  if (s.empty() || is_identifier_path(s) || is_component_number(s)) return true;
  if (s.size() < 2 || (s.front() != u'"' && s.front() != u'\'') || s.back() != s.front()) {
    return false;
  }
  const std::u16string_view inside = s.substr(1, s.size() - 2);
  return std::all_of(inside.begin(), inside.end(), is_quoted_literal_unit);
}

}  // namespace pelmo::util
