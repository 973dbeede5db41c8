#include "util/web_address.h"

#include <algorithm>

namespace pelmo::util {

namespace {

bool starts_with_ascii_folded(std::u16string_view s, std::u16string_view lower_prefix) {
  if (s.size() < lower_prefix.size()) return false;
  for (std::size_t i = 0; i < lower_prefix.size(); ++i) {
    const char16_t c = (s[i] >= u'A' && s[i] <= u'Z') ? static_cast<char16_t>(s[i] + 32) : s[i];
    if (c != lower_prefix[i]) return false;
  }
  return true;
}

bool is_ascii_letter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

// A letter, then letters, digits, "+", "-" and ".": what a browser reads as a scheme.
bool is_scheme(std::u16string_view s) {
  if (s.empty() || !is_ascii_letter(s[0])) return false;
  for (char16_t c : s.substr(1)) {
    if (!is_ascii_letter(c) && !(c >= u'0' && c <= u'9') && c != u'+' && c != u'-' && c != u'.') {
      return false;
    }
  }
  return true;
}

}  // namespace

bool is_web_address(std::u16string_view address) {
  return starts_with_ascii_folded(address, u"http://") ||
         starts_with_ascii_folded(address, u"https://");
}

std::u16string scriptless_address(std::u16string address) {
  // The address as a browser reads it: tabs and line breaks dropped, leading blanks and
  // controls skipped.
  std::u16string read;
  read.reserve(address.size());
  for (char16_t c : address) {
    if (c == u'\t' || c == u'\r' || c == u'\n' || (read.empty() && c <= u' ')) continue;
    read += c;
  }
  if (is_web_address(read)) return address;
  const std::u16string_view head = std::u16string_view(read).substr(0, read.find_first_of(u"/?#"));
  const std::size_t colon = head.find(u':');
  if (head.find(u'&') != std::u16string_view::npos) return u"#";
  if (colon == std::u16string_view::npos) return address;
  // Some readers skip other controls inside the scheme too ("java\0script:").
  const bool has_control =
      std::any_of(head.begin(), head.end(), [](char16_t c) { return c < u' '; });
  return has_control || is_scheme(head.substr(0, colon)) ? u"#" : address;
}

}  // namespace pelmo::util
