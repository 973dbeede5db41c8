#include "util/virtual_root.h"

#include <algorithm>
#include <string>

#include "pelmo/convert.h"
#include "pelmo/text.h"

namespace pelmo::util {

namespace {

// Null counts as the empty text when the pieces are joined.
std::u16string joinable(const Variant& v) { return v.is_null() ? std::u16string() : to_text(v); }

}  // namespace

Variant virtual_root_path(const Variant& root_dir, const Variant& path) {
  const std::u16string js_path = joinable(path);
  if (js_path.starts_with(u"../")) return Variant::string(js_path);
  const std::u16string dir = joinable(root_dir);
  std::u16string joined = js_path.starts_with(u"/") ? dir + js_path : dir + u"/" + js_path;
  // The result is a path from the site root, so it starts with exactly one slash when there is
  // a directory: one given with its own leading slash ("/portal", or "/" alone) must not make
  // "//portal/..." or "//a.js", which a browser reads as a link to another host.
  if (!trim_spaces(dir).empty()) {
    joined.erase(0, std::min(joined.find_first_not_of(u'/'), joined.size()));
    joined.insert(joined.begin(), u'/');
  }
  return Variant::string(std::move(joined));
}

}  // namespace pelmo::util
