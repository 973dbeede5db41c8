// Plain text operations on UTF-16 code units shared by every subsystem.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pelmo {

// Removes leading and trailing U+0020 only; tabs and line breaks stay.
std::u16string trim_spaces(std::u16string_view s);

// Replaces every occurrence of `from` left to right, without rescanning what was inserted.
// An empty `from` leaves the text unchanged.
std::u16string replace_all(std::u16string_view s, std::u16string_view from, std::u16string_view to);

// Splits at every occurrence of `sep`; the empty text gives an empty list, a trailing
// separator gives a last empty element.
std::vector<std::u16string> split(std::u16string_view s, std::u16string_view sep);

// Lower case of one code unit; never changes the length of a text.
char16_t lower_unit(char16_t c);
std::u16string lower(std::u16string_view s);
// The table behind lower_unit, 65,536 entries, for scans that fold every unit of a page.
const char16_t* lower_units();

// UTF-8 <-> UTF-16. Lone surrogates become U+FFFD in UTF-8; malformed UTF-8 gives U+FFFD.
std::string to_utf8(std::u16string_view s);
std::u16string from_utf8(std::string_view s);

}  // namespace pelmo
