#include "cli/arg_words.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

#include "cli/argument_file.h"
#include "pelmo/text.h"

namespace pelmo::cli {

namespace {

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

Bytes parse_hex_bytes(std::string_view hex, std::string_view word) {
  if (hex.size() % 2 != 0) throw UsageError("odd number of hex digits in: " + std::string(word));
  Bytes out;
  out.reserve(hex.size() / 2);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    int hi = hex_digit(hex[i]), lo = hex_digit(hex[i + 1]);
    if (hi < 0 || lo < 0) throw UsageError("not a hex digit in: " + std::string(word));
    out.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
  }
  return out;
}

std::u16string parse_code_units(std::string_view hex, std::string_view word) {
  if (hex.size() % 4 != 0)
    throw UsageError("code units need four hex digits each: " + std::string(word));
  std::u16string out;
  for (std::size_t i = 0; i < hex.size(); i += 4) {
    int unit = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      int d = hex_digit(hex[i + k]);
      if (d < 0) throw UsageError("not a hex digit in: " + std::string(word));
      unit = unit * 16 + d;
    }
    out.push_back(static_cast<char16_t>(unit));
  }
  return out;
}

template <typename Int>
Int parse_integer(std::string_view digits, std::string_view word) {
  long long value = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() ||
      value < std::numeric_limits<Int>::min() || value > std::numeric_limits<Int>::max()) {
    throw UsageError("not a whole number in range: " + std::string(word));
  }
  return static_cast<Int>(value);
}

double parse_double(std::string_view digits, std::string_view word) {
  double value = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() ||
      !std::isfinite(value)) {
    throw UsageError("not a number: " + std::string(word));
  }
  return value;
}

}  // namespace

Variant parse_arg_word(std::string_view word) {
  if (word == "empty") return Variant();
  if (word == "null") return Variant::null();
  if (word == "b:true") return Variant::boolean(true);
  if (word == "b:false") return Variant::boolean(false);
  const std::size_t colon = word.find(':');
  if (colon == std::string_view::npos)
    throw UsageError("unknown argument word: " + std::string(word));
  const std::string_view kind = word.substr(0, colon);
  const std::string_view rest = word.substr(colon + 1);
  if (kind == "s") return Variant::string(from_utf8(rest));
  if (kind == "u") return Variant::string(parse_code_units(rest, word));
  if (kind == "sf") return Variant::string(from_utf8(read_argument_file(rest)));
  if (kind == "n") return Variant::number(parse_double(rest, word));
  if (kind == "i") return Variant::integer(parse_integer<std::int16_t>(rest, word));
  if (kind == "l") return Variant::long_(parse_integer<std::int32_t>(rest, word));
  if (kind == "x") return Variant::bytes(parse_hex_bytes(rest, word));
  if (kind == "xf") {
    std::string raw = read_argument_file(rest);
    return Variant::bytes(Bytes(raw.begin(), raw.end()));
  }
  throw UsageError("unknown argument word: " + std::string(word));
}

}  // namespace pelmo::cli
