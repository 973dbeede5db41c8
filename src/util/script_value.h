// Values a caller hands in that the component writes unquoted into client script.
#pragma once

#include <string_view>

namespace pelmo::util {

// A name or dotted name (`[A-Za-z_$][A-Za-z0-9_$]*` parts joined by single dots), which only
// reads a value.
bool is_identifier_path(std::u16string_view s);

// A finite number written exactly as the component writes numbers ("-2.5", "1E+20", "1E-05"):
// no sign but "-", no leading or trailing zeros, no lower-case exponent.
bool is_component_number(std::u16string_view s);

// What may stand unquoted in a script: the empty text, an identifier path, a component number,
// or a single- or double-quoted literal whose inside holds no quote, "\", "<", ">", "&", control
// character or U+2028/U+2029, so it can end neither itself nor the script element.
bool is_plain_script_value(std::u16string_view s);

}  // namespace pelmo::util
