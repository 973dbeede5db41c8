#include "util/number_cleanup.h"

#include <cmath>
#include <string>
#include <utility>

#include "pelmo/convert.h"
#include "pelmo/text.h"

namespace pelmo::util {

Variant clean_number_list(Variant& s) {
  std::u16string list = replace_all(to_text(s), u" ", u"");
  s = Variant::string(list);
  if (list.empty()) return Variant::integer(0);
  std::u16string joined;
  joined.reserve(list.size());
  bool first = true;
  for (const std::u16string& item : split(list, u",")) {
    if (!first) joined.push_back(u',');
    first = false;
    joined += is_numeric_text(item) ? item : std::u16string(u"0");
  }
  return Variant::string(std::move(joined));
}

Variant whole_number(Variant& str) {
  if (!str.is_null()) str = Variant::string(trim_spaces(to_text(str)));
  // All three tests run; none of them fails on Null.
  const bool blank = equals_text(str, u"");
  const bool null = str.is_null();
  const bool not_number = !is_numeric(str);
  if (blank || null || not_number) str = Variant::string(u"0");
  str = Variant::string(replace_all(to_text(str), u"'", u""));
  // The default rounding mode sends halves to the even neighbour.
  return Variant::number(std::nearbyint(to_number(str)));
}

std::u16string keep_ascii_digits(std::u16string_view text) {
  std::u16string digits;
  for (char16_t c : text) {
    if (c >= u'0' && c <= u'9') digits.push_back(c);
  }
  return digits;
}

// One pass, on both platforms: the system's regular-expression object would take the whole
// page through a global replace, and some copies of it never return from a pattern that
// matches the empty text.
Variant digits_only(const Variant& content) {
  if (content.is_null() || equals_text(content, u"")) return Variant();
  std::u16string scratch;
  return Variant::string(keep_ascii_digits(text_view(content, scratch)));
}

Variant without_line_breaks(Variant& v) {
  if (v.is_null() || equals_text(v, u"")) return Variant::string(u"");
  v = Variant::string(replace_all(to_text(v), u"\r", u""));
  v = Variant::string(replace_all(v.as_string(), u"\n", u""));
  return Variant::string(v.as_string());
}

}  // namespace pelmo::util
