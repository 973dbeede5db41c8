// The JSON form of variants and call outcomes that `pelmo call` prints.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pelmo/variant.h"

namespace pelmo::cli {

// A JSON string literal: printable ASCII as is, everything else as \uXXXX code units.
std::string json_string(std::u16string_view s);
std::string json_variant(const Variant& v);

std::string json_success(const Variant& result, const std::vector<Variant>& args);
std::string json_failure(std::int32_t number, std::string_view description_utf8,
                         const std::vector<Variant>& args);

}  // namespace pelmo::cli
