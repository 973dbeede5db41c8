#include "cli/call_target.h"

#include <algorithm>

#include "pelmo/catalogue.h"

namespace pelmo::cli {

namespace {

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::vector<MethodShape> catalogue_shapes() {
  std::vector<MethodShape> shapes;
  for (const MethodEntry& entry : catalogue()) {
    shapes.push_back({entry.slot, std::string(entry.name),
                      std::vector<std::string>(entry.params.begin(), entry.params.end()),
                      std::string(entry.summary), entry.is_page_hook()});
  }
  return shapes;
}

const MethodShape* find_shape(const std::vector<MethodShape>& methods, std::string_view name) {
  const auto same = [](char a, char b) { return ascii_lower(a) == ascii_lower(b); };
  for (const MethodShape& method : methods) {
    if (std::ranges::equal(method.name, name, same)) return &method;
  }
  return nullptr;
}

}  // namespace pelmo::cli
