#include "automation/sub_site_address.h"

#include <algorithm>
#include <string>

#include "automation/plus_join.h"
#include "pelmo/error.h"

namespace pelmo {

namespace {

bool is_host_label(std::u16string_view label) {
  return !label.empty() && label.size() <= 63 &&
         std::all_of(label.begin(), label.end(), [](char16_t c) {
           return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                  (c >= u'0' && c <= u'9') || c == u'-';
         });
}

}  // namespace

Variant sub_site_address(const Variant& label, std::u16string_view domain,
                         std::u16string_view path) {
  Variant address = util::plus_join(
      {text(u"http://"), label, text(u"." + std::u16string(domain) + std::u16string(path))});
  if (address.is_string() && !is_host_label(label.is_empty() ? u"" : label.as_string())) {
    throw_invalid_call("a sub-site label is 1 to 63 ASCII letters, digits or hyphens");
  }
  return address;
}

}  // namespace pelmo
