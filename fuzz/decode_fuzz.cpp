// The pair decoder and the stream decoder on any bytes. The pair decoder fails exactly when
// the walk ends on a lead byte with no trail, whether the bytes come as an array or as a byte
// string of odd or even length; the stream decoder never fails on bytes in "GB2312" or
// "UTF-8", and agrees with the pair decoder and with our own UTF-8 reading where the bytes
// leave no room for interpretation.
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz_input.h"
#include "pelmo/error.h"
#include "pelmo/local_page.h"
#include "pelmo/object.h"

namespace pelmo::fuzz {
namespace {

_zaverer& object() {
  static const std::shared_ptr<_zaverer> instance = [] {
    auto o = create_object("pelmo.zaverer");
    o->OnStartPage(host::make_local_page());
    return o;
  }();
  return *instance;
}

struct Outcome {
  Variant result;
  int error = 0;
};

Outcome decode_pairs(Variant& argument) {
  Outcome out;
  out.result = text(u"stale");
  try {
    object().Tarvessa_BytesToBstr_new(argument, out.result);
  } catch (const AutomationError& e) {
    out.error = e.number();
  }
  return out;
}

Outcome decode_stream(const Bytes& raw, std::u16string_view charset) {
  Outcome out;
  Variant body = Variant::bytes(raw), set = text(charset);
  try {
    object().Tarvessa_BytesToBstr(body, set, out.result);
  } catch (const AutomationError& e) {
    out.error = e.number();
  }
  return out;
}

// Our own check of well-formed UTF-8 (shortest forms, no surrogates, at most U+10FFFF).
bool well_formed_utf8(const Bytes& b) {
  std::size_t i = 0;
  while (i < b.size()) {
    const std::uint8_t c = b[i];
    std::size_t length = 0;
    std::uint32_t low = 0x80, high = 0xBF;
    if (c < 0x80) {
      ++i;
      continue;
    } else if (c >= 0xC2 && c <= 0xDF) {
      length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      length = 3;
      if (c == 0xE0) low = 0xA0;
      if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 4;
      if (c == 0xF0) low = 0x90;
      if (c == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (i + length > b.size()) return false;
    if (b[i + 1] < low || b[i + 1] > high) return false;
    for (std::size_t k = 2; k < length; ++k) {
      if (b[i + k] < 0x80 || b[i + k] > 0xBF) return false;
    }
    i += length;
  }
  return true;
}

}  // namespace
}  // namespace pelmo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelmo;
  using namespace pelmo::fuzz;
  const Bytes raw = as_bytes(bytes_of(data, size));

  // The walk: a byte below 0x80 is one character, any other leads a pair with the next one.
  std::size_t characters = 0;
  bool lone_lead = false;
  for (std::size_t i = 0; i < raw.size(); ++i, ++characters) {
    if (raw[i] < 0x80) continue;
    if (i + 1 == raw.size()) lone_lead = true;
    ++i;
  }

  Variant as_array = Variant::bytes(raw);
  const Outcome pairs = decode_pairs(as_array);
  check(as_array == Variant::byte_string(raw), "the byte string is written back, on any path");
  if (lone_lead) {
    check(pairs.error == 5, "a lone lead byte at the end fails with an invalid argument");
    check(pairs.result.is_empty(), "a failed call leaves its result Empty");
  } else {
    check(pairs.error == 0, "the pair decoder fails only on a lone last lead byte");
    const std::u16string& decoded = pairs.result.as_string();
    check(decoded.size() == characters, "one character per ASCII byte or pair");
    for (std::size_t i = 0, k = 0; i < raw.size(); ++i, ++k) {
      if (raw[i] < 0x80) {
        check(decoded[k] == raw[i], "an ASCII byte decodes to itself");
      } else {
        ++i;
      }
    }
  }

  // The same bytes as a byte string, odd byte included, decode the same way.
  Variant as_string = Variant::byte_string(raw);
  const Outcome again = decode_pairs(as_string);
  check(again.error == pairs.error, "a byte string fails as its byte array does");
  check(again.result == pairs.result, "a byte string decodes as its byte array does");
  check(as_string == Variant::byte_string(raw), "a byte string is written back unchanged");

  const Outcome gb = decode_stream(raw, u"GB2312");
  if (gb.error != 0) fail("the stream refused bytes in GB2312: " + std::to_string(gb.error));
  const Outcome utf8 = decode_stream(raw, u"UTF-8");
  if (utf8.error != 0) fail("the stream refused bytes in UTF-8: " + std::to_string(utf8.error));

  // Where every pair is a defined two-byte code (0x80 is a one-byte code to the stream), both
  // decoders read the same characters.
  bool plain_pairs = !lone_lead;
  for (std::size_t i = 0; plain_pairs && i < raw.size(); ++i) {
    if (raw[i] < 0x80) continue;
    plain_pairs = raw[i] != 0x80 && i + 1 < raw.size() && raw[i + 1] >= 0x40 &&
                  raw[i + 1] != 0x7F && raw[i + 1] != 0xFF;
    ++i;
  }
  if (plain_pairs && !raw.empty()) {
    const std::u16string& decoded = pairs.result.as_string();
    if (decoded.find(u'\uFFFD') == std::u16string::npos && gb.result != pairs.result) {
      fail("stream and pair decoders differ on well-formed GB2312: " + shown(decoded) + " / " +
           shown(gb.result.as_string()));
    }
  }
  if (well_formed_utf8(raw)) {
    const std::u16string expected = from_utf8(std::string(raw.begin(), raw.end()));
    if (utf8.result.as_string() != expected) {
      fail("the stream reads well-formed UTF-8 differently: " + shown(utf8.result.as_string()) +
           " / " + shown(expected));
    }
  }
  return 0;
}
