#include "util/validation.h"

#include <string>

#include "pelmo/convert.h"
#include "pelmo/text.h"

namespace pelmo::util {

namespace {

constexpr std::u16string_view kAllowed = u"abcdefghijklmnopqrstuvwxyz_-.";

// Letters fold in ASCII only, so no other script's letter can pose as an allowed one.
bool allowed_character(char16_t c) {
  const char16_t folded = (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
  return kAllowed.find(folded) != std::u16string_view::npos ||
         is_numeric_text(std::u16string_view(&c, 1));
}

bool acceptable_piece(const std::u16string& piece) {
  if (piece.empty()) return false;
  for (char16_t c : piece) {
    if (!allowed_character(c)) return false;
  }
  return piece.front() != u'.' && piece.back() != u'.';
}

}  // namespace

Variant is_email_address(const Variant& email) {
  const std::u16string address = to_text(email);
  const std::vector<std::u16string> pieces = split(address, u"@");
  if (pieces.size() != 2) return Variant::boolean(false);
  if (!acceptable_piece(pieces[0]) || !acceptable_piece(pieces[1])) return Variant::boolean(false);
  const std::u16string& domain = pieces[1];
  const std::size_t last_dot = domain.rfind(u'.');
  if (last_dot == std::u16string::npos) return Variant::boolean(false);
  const std::size_t final_label = domain.size() - (last_dot + 1);
  if (final_label != 2 && final_label != 3) return Variant::boolean(false);
  return Variant::boolean(address.find(u"..") == std::u16string::npos);
}

Variant is_form_post(host::RequestObject& request) {
  return Variant::boolean(equals_text(request.ServerVariables(u"REQUEST_METHOD"), u"POST"));
}

}  // namespace pelmo::util
