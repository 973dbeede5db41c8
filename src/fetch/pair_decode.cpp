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
  const Bytes raw = byte_string_bytes(bytes);
  bytes = Variant::byte_string(raw);

  std::u16string text;
  text.reserve(raw.size());
  const std::size_t n = raw.size();
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint8_t c = raw[i];
    if (c < 0x80) {
      text.push_back(static_cast<char16_t>(c));
      continue;
    }
    // Every byte from 0x80 on leads a pair, whatever the code page says about it.
    if (i + 1 == n) {
      throw_invalid_call("the byte 0x" + std::string(1, "0123456789ABCDEF"[c >> 4]) +
                         "0123456789ABCDEF"[c & 0xF] + " at the end of the body has no trail byte");
    }
    text.push_back(cp936_pair(c, raw[i + 1]));
    ++i;
  }
  return Variant::string(std::move(text));
}

}  // namespace pelmo::fetch
