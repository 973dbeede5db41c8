// The method reference's sections as plain text, embedded at build time from docs/methods.md
// (cmake/embed_method_reference.cmake writes their definition), for `pelmo help METHOD`.
#pragma once

#include <span>
#include <string_view>

namespace pelmo::cli {

struct MethodSection {
  std::string_view name;
  std::string_view text;  // the heading, the summary line, then the rest, lines ended by LF
};

// In the reference's order, which is slot order.
std::span<const MethodSection> method_sections();

}  // namespace pelmo::cli
