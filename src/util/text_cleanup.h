// Quote replacement, tag stripping and single-line normalisation.
#pragma once

#include <string>
#include <string_view>

#include "pelmo/variant.h"

namespace pelmo::util {

Variant replace_quotes(Variant& str);        // Rm, writes back
Variant strip_tags(const Variant& content);  // Ltxt
// What Ltxt makes of a text: every match of "<\/*[^<>]*>" removed, in linear time.
std::u16string remove_tags(std::u16string_view text);
Variant single_line(const Variant& info);  // Str4Null

}  // namespace pelmo::util
