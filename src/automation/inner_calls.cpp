#include "automation/inner_calls.h"

#include "pelmo/convert.h"

namespace pelmo::inner {

std::u16string slice(_zaverer& self, Variant& text, std::u16string_view start,
                     std::u16string_view end) {
  Variant a = pelmo::text(start), b = pelmo::text(end), mode = Variant::integer(0), result;
  self.D1616_GetContent(text, a, b, mode, result);
  return std::move(result).take_string();
}

std::u16string blocks(_zaverer& self, Variant& text, std::u16string_view start,
                      std::u16string_view over, std::u16string_view separator) {
  Variant a = pelmo::text(start), b = pelmo::text(over), sep = pelmo::text(separator);
  Variant strip = Variant::boolean(true), result;
  self.D1616_body2s(text, a, b, sep, strip, result);
  return std::move(result).take_string();
}

Variant fetch_page(_zaverer& self, const Variant& address) {
  Variant path = address, result;
  self.Tarvessa_getHTTPPage(path, result);
  return result;
}

}  // namespace pelmo::inner
