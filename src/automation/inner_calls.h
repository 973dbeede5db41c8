// Calls that the scrapers make on the object's own interface, exactly as a page would, with
// temporaries of their own as arguments. The text is the caller's own temporary and is passed
// by reference, not copied: a page can be megabytes, and these callees never write back.
#pragma once

#include <string>
#include <string_view>

#include "pelmo/variant.h"
#include "pelmo/zaverer.h"

namespace pelmo::inner {

// D1616_GetContent in mode 0: the text between the first `start` and the next `end`.
std::u16string slice(_zaverer& self, Variant& text, std::u16string_view start,
                     std::u16string_view end);

// D1616_body2s with the markers removed: every block, each followed by `separator`.
std::u16string blocks(_zaverer& self, Variant& text, std::u16string_view start,
                      std::u16string_view over, std::u16string_view separator);

// Tarvessa_getHTTPPage: the page at `address`, decoded as GB2312.
Variant fetch_page(_zaverer& self, const Variant& address);

}  // namespace pelmo::inner
