// Quote replacement, tag stripping and single-line normalisation.
#pragma once

#include "host/platform.h"
#include "pelmo/variant.h"

namespace pelmo::util {

Variant replace_quotes(Variant& str);                                  // Rm, writes back
Variant strip_tags(host::Platform& platform, const Variant& content);  // Ltxt
Variant single_line(const Variant& info);                              // Str4Null

}  // namespace pelmo::util
