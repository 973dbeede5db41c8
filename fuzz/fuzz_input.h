// What every fuzz target shares: cutting the input into fields, turning bytes into text, and
// stopping loudly when an invariant breaks, so that libFuzzer keeps the input as a finding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "pelmo/text.h"
#include "pelmo/variant.h"

namespace pelmo::fuzz {

// Fields are separated by the byte 0xFF, which never occurs in UTF-8; the last field takes the
// rest of the input, separators included. Missing fields are empty.
inline std::vector<std::string_view> split_fields(std::string_view data, std::size_t count) {
  std::vector<std::string_view> fields;
  while (fields.size() + 1 < count) {
    const std::size_t cut = data.find('\xFF');
    if (cut == std::string_view::npos) break;
    fields.push_back(data.substr(0, cut));
    data.remove_prefix(cut + 1);
  }
  fields.push_back(data);
  fields.resize(count);
  return fields;
}

// Bytes as text: UTF-8 (so dictionary words and CJK markers read naturally), or, when
// `raw_units` is set, little-endian UTF-16 code units taken as they are (lone surrogates and
// every unit the UTF-8 path cannot produce); an odd last byte becomes a unit of its own.
inline std::u16string as_text(std::string_view bytes, bool raw_units) {
  if (!raw_units) return from_utf8(bytes);
  std::u16string out;
  out.reserve(bytes.size() / 2 + 1);
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    const auto low = static_cast<std::uint8_t>(bytes[i]);
    const auto high = i + 1 < bytes.size() ? static_cast<std::uint8_t>(bytes[i + 1]) : 0;
    out.push_back(static_cast<char16_t>(low | (high << 8)));
  }
  return out;
}

inline Bytes as_bytes(std::string_view bytes) { return Bytes(bytes.begin(), bytes.end()); }

// A readable form of a text for the report: printable ASCII as is, everything else \uXXXX.
inline std::string shown(std::u16string_view s) {
  std::string out;
  for (char16_t c : s.substr(0, 400)) {
    if (c >= 0x20 && c < 0x7F && c != u'\\') {
      out.push_back(static_cast<char>(c));
    } else {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(c));
      out += buffer;
    }
  }
  if (s.size() > 400) out += "...";
  return out;
}

// An invariant broke: say which and abort, which libFuzzer records as a crash with the input.
[[noreturn]] inline void fail(const std::string& what) {
  std::fprintf(stderr, "\n*** fuzz invariant broken: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

inline void check(bool condition, const char* what) {
  if (!condition) fail(what);
}

inline std::string_view bytes_of(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

}  // namespace pelmo::fuzz
