// D1616_GetContent in every mode. Input: a mode byte, a flags byte, then start 0xFF last 0xFF
// text. The result is compared with the ten modes written out plainly over lower-cased copies
// (naive searches, no shared search code); beyond that, the result is Empty only when the mode
// is none of 0..9, and the only failure is mode 0's end marker missing after the start.
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "fuzz_input.h"
#include "pelmo/convert.h"
#include "pelmo/error.h"
#include "pelmo/object.h"

namespace pelmo::fuzz {
namespace {

_zaverer& object() {
  static const std::shared_ptr<_zaverer> instance = create_object("pelmo.zaverer");
  return *instance;
}

// The mode argument in one of the shapes a page may pass.
Variant mode_variant(std::uint8_t selector) {
  const int value = selector & 0x0F;
  switch (selector >> 4) {
    case 6:
      return Variant::long_(value);
    case 7:
      return Variant::number(value);
    case 8:
      return Variant::number(value + 0.5);
    case 9:
      return text(from_utf8(std::to_string(value)));
    case 10:
      return text(u" " + from_utf8(std::to_string(value)) + u".0 ");
    case 11:
      return text(u"x");
    case 12:
      return Variant::null();
    case 13:
      return Variant();
    case 14:
      return Variant::boolean((value & 1) != 0);
    case 15:
      return Variant::number((value & 1) != 0 ? std::nan("") : value * 1e300);
    default:
      return Variant::integer(static_cast<std::int16_t>(value - 3));
  }
}

std::optional<int> expected_mode(const Variant& n) {
  if (n.is_null()) return std::nullopt;
  if (n.is_string() && !is_numeric_text(n.as_string())) return std::nullopt;
  const double value = to_number(n);
  for (int mode = 0; mode <= 9; ++mode) {
    if (value == mode) return mode;
  }
  return std::nullopt;
}

// InStr from a 0-based offset, relative to it: 0 when not found or the rest is empty.
std::size_t instr(const std::u16string& hay, const std::u16string& needle, std::size_t from) {
  if (from >= hay.size()) return 0;
  const std::size_t at = hay.find(needle, from);
  return at == std::u16string::npos ? 0 : at - from + 1;
}

std::u16string left(const std::u16string& s, std::size_t k) { return s.substr(0, k); }
std::u16string right(const std::u16string& s, std::size_t k) {
  return k >= s.size() ? s : s.substr(s.size() - k);
}

// Result, or error 5 as nullopt with `failed` set, or Empty.
Variant reference(const std::u16string& S, const std::u16string& A, const std::u16string& B,
                  const Variant& n, bool& failed) {
  failed = false;
  const std::u16string s = lower(S), a = lower(A), b = lower(B);
  const std::size_t p = instr(s, a, 0);
  if (p == 0 || instr(s, b, 0) == 0) return text(u"");
  const std::optional<int> mode = expected_mode(n);
  if (!mode) return Variant();
  const std::size_t L = S.size(), la = A.size(), lb = B.size();
  const std::size_t r = la == 0 ? L : s.rfind(a) + 1;
  switch (*mode) {
    case 0: {
      const std::u16string T = right(S, L - p - la + 1);
      const std::size_t q = instr(lower(T), b, 0);
      if (q == 0) {
        failed = true;
        return Variant();
      }
      return text(left(T, q - 1));
    }
    case 1: {
      const std::u16string T = right(S, L - p + 1);
      const std::size_t q = instr(lower(T), b, 0);
      return text(left(T, q + lb - 1));
    }
    case 2:
      return text(right(S, L - p - la + 1));
    case 3:
      return text(right(S, L - p + 1));
    case 4:
      return text(left(S, r + la - 1));
    case 5:
      return text(left(S, r - 1));
    case 6:
      return text(left(S, p + la - 1));
    case 7:
      return text(right(S, L - r + 1));
    case 8:
      return text(left(S, p - 1));
    default:
      return text(right(S, L - r));
  }
}

}  // namespace
}  // namespace pelmo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelmo;
  using namespace pelmo::fuzz;
  if (size < 2) return 0;
  const Variant mode = mode_variant(data[0]);
  const std::uint8_t flags = data[1];
  const auto fields = split_fields(bytes_of(data + 2, size - 2), 3);
  const bool raw_units = (flags & 1) != 0;
  const std::u16string A = as_text(fields[0], raw_units);
  const std::u16string B = as_text(fields[1], raw_units);
  const std::u16string S = as_text(fields[2], raw_units);

  Variant str = text(S), start = text(A), last = text(B), n = mode, result = text(u"stale");
  if ((flags & 2) != 0) str = Variant::null();
  if ((flags & 4) != 0) last = Variant::null();
  int error = 0;
  try {
    object().D1616_GetContent(str, start, last, n, result);
  } catch (const AutomationError& e) {
    error = e.number();
    check(result.is_empty(), "a failed call leaves its result Empty");
  }
  const bool same_mode = n == mode || (n.type() == VarType::Double && std::isnan(n.as_double()) &&
                                       std::isnan(mode.as_double()));
  check(str == ((flags & 2) != 0 ? Variant::null() : text(S)) && start == text(A) && same_mode,
        "the arguments are left alone");

  if ((flags & 6) != 0) {
    check(error == 0 && result == text(u""), "a Null text or end marker gives the empty text");
    return 0;
  }
  bool failed = false;
  const Variant expected = reference(S, A, B, mode, failed);
  if (failed) {
    if (error != 5) fail("mode 0 without an end marker after the start did not fail with 5");
    return 0;
  }
  if (error != 0) fail("D1616_GetContent failed with " + std::to_string(error));
  if (result != expected) {
    std::string got = result.is_empty() ? "Empty" : shown(result.as_string());
    std::string want = expected.is_empty() ? "Empty" : shown(expected.as_string());
    fail("D1616_GetContent gave \"" + got + "\" where \"" + want + "\" was due");
  }
  return 0;
}
