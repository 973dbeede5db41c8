// Fetch-then-decode, each step a call through the object's own interface with temporaries of
// our own, so inner write-backs never reach the caller's variables.
#include "fetch/fetch.h"

namespace pelmo::fetch {

Variant get_page(_zaverer& self, Variant& path, std::u16string_view charset) {
  Variant body;
  self.Tarvessa_GetBody_s(path, body);
  Variant cset = text(charset);
  Variant decoded;
  self.Tarvessa_BytesToBstr(body, cset, decoded);
  return decoded;
}

Variant get_page_pairs(_zaverer& self, Variant& path) {
  Variant body;
  self.Tarvessa_GetBody_s_new(path, body);
  Variant decoded;
  self.Tarvessa_BytesToBstr_new(body, decoded);
  return decoded;
}

Variant get_page_pairs_as_utf8(_zaverer& self, Variant& path) {
  Variant page;
  self.Tarvessa_getHTTPPage_new(path, page);
  // The stream takes only byte arrays in binary mode, so this refuses the text (3001).
  Variant cset = text(u"UTF-8");
  Variant decoded;
  self.Tarvessa_BytesToBstr(page, cset, decoded);
  return decoded;
}

}  // namespace pelmo::fetch
