// Escaping of scraped text for the places the component writes it: inside a double-quoted
// string of client script or JSON-shaped text, or inside a single-quoted HTML attribute.
#pragma once

#include <string>
#include <string_view>

namespace pelmo::util {

// Backslash, double quote, CR, LF and other controls, U+2028/U+2029 and every "<" are escaped,
// so the text can neither end the string nor touch the script element around it.
std::u16string escape_script_string(std::u16string_view s);

// ' < > become character references; & stays, since the values come from HTML already.
std::u16string escape_html_attribute(std::u16string_view s);

}  // namespace pelmo::util
