// Emailis on fuzzed texts (UTF-8, or UTF-16 units when the first byte is 0xFF), against the
// rules written out in order: exactly one "@"; each part non-empty, of allowed characters,
// not beginning or ending with "."; a "." in the domain; a final label of 2 or 3; no "..".
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz_input.h"
#include "pelmo/error.h"
#include "pelmo/object.h"

namespace pelmo::fuzz {
namespace {

_zaverer& object() {
  static const std::shared_ptr<_zaverer> instance = create_object("pelmo.zaverer");
  return *instance;
}

bool piece_passes(std::u16string_view piece) {
  if (piece.empty()) return false;
  for (char16_t c : piece) {
    const char16_t folded = (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
    const bool letter = folded >= u'a' && folded <= u'z';
    const bool digit = c >= u'0' && c <= u'9';
    if (!letter && !digit && c != u'_' && c != u'-' && c != u'.') return false;
  }
  return piece.front() != u'.' && piece.back() != u'.';
}

bool acceptable(std::u16string_view address) {
  const std::size_t at = address.find(u'@');
  if (at == std::u16string_view::npos || address.find(u'@', at + 1) != std::u16string_view::npos)
    return false;
  const std::u16string_view local = address.substr(0, at), domain = address.substr(at + 1);
  if (!piece_passes(local) || !piece_passes(domain)) return false;
  const std::size_t dot = domain.rfind(u'.');
  if (dot == std::u16string_view::npos) return false;
  const std::size_t label = domain.size() - dot - 1;
  if (label != 2 && label != 3) return false;
  return address.find(u"..") == std::u16string_view::npos;
}

}  // namespace
}  // namespace pelmo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelmo;
  using namespace pelmo::fuzz;
  const bool raw_units = size > 0 && data[0] == 0xFF;
  const std::string_view bytes = bytes_of(data, size);
  const std::u16string address = as_text(raw_units ? bytes.substr(1) : bytes, raw_units);
  Variant email = text(address), result;
  object().Emailis(email, result);
  check(email == text(address), "Emailis leaves its argument alone");
  if (result != Variant::boolean(acceptable(address))) {
    fail("Emailis says " + std::string(result.as_bool() ? "true" : "false") + " of \"" +
         shown(address) + "\"");
  }
  return 0;
}
