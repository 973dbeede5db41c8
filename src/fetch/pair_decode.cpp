#include "automation/large_buffers.h"
#include "fetch/cp936_pairs.h"
#include "fetch/fetch.h"
#include "pelmo/convert.h"
#include "pelmo/error.h"

namespace pelmo::fetch {

namespace {

// The bytes a value's byte string holds: a byte array its bytes, a text its code units low
// byte first (and the odd byte it may carry), anything else the code units of its text.
Bytes byte_string_bytes(const Variant& v) {
  if (v.type() == VarType::Bytes) return v.as_bytes();
  const std::u16string units = to_text(v);  // Null fails here, before any write-back
  Bytes raw;
  raw.reserve(units.size() * 2 + 1);
  for (char16_t unit : units) {
    raw.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    raw.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  if (v.is_string() && v.odd_byte()) raw.push_back(*v.odd_byte());
  return raw;
}

}  // namespace

Variant decode_pairs(Variant& bytes) {
  // A byte array is read where it is; anything else is turned into its bytes first.
  Bytes converted_bytes;
  const bool is_array = bytes.type() == VarType::Bytes;
  if (!is_array) converted_bytes = byte_string_bytes(bytes);
  const Bytes& raw = is_array ? bytes.as_bytes() : converted_bytes;

  // The argument becomes its byte string whether or not the decoding below succeeds.
  struct WriteBack {
    Variant& argument;
    Variant value;
    ~WriteBack() { argument = std::move(value); }
  } write_back{bytes, Variant::byte_string(raw)};

  const std::size_t n = raw.size();
  std::u16string text;
  util::reserve_large(text, n);
  text.resize(n);  // never more characters than bytes
  char16_t* out = text.data();
  const char16_t* pairs = cp936_pair_table();
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint8_t c = raw[i];
    if (c < 0x80) {
      *out++ = c;
      continue;
    }
    // Every byte from 0x80 on leads a pair, whatever the code page says about it.
    if (i + 1 == n) {
      throw_invalid_call("the byte 0x" + std::string(1, "0123456789ABCDEF"[c >> 4]) +
                         "0123456789ABCDEF"[c & 0xF] + " at the end of the body has no trail byte");
    }
    *out++ = pairs[static_cast<std::size_t>(c - 0x80) * 256 + raw[i + 1]];
    ++i;
  }
  text.resize(static_cast<std::size_t>(out - text.data()));
  return Variant::string(std::move(text));
}

}  // namespace pelmo::fetch
