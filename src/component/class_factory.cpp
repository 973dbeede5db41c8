#include <algorithm>
#include <string>

#include "component/zaverer_object.h"
#include "pelmo/error.h"
#include "pelmo/identity.h"
#include "pelmo/object.h"

namespace pelmo {

namespace {

bool equal_ignoring_case(std::string_view a, std::string_view b) {
  auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return fold(x) == fold(y); });
}

}  // namespace

std::shared_ptr<_zaverer> create_object(std::string_view progid_or_clsid,
                                        std::shared_ptr<host::Platform> platform) {
  if (!equal_ignoring_case(progid_or_clsid, identity::kProgId) &&
      !equal_ignoring_case(progid_or_clsid, identity::kClsId)) {
    throw AutomationError(429, "Cannot create object: " + std::string(progid_or_clsid));
  }
  if (!platform) throw_invalid_call("No platform to create the object on");
  return std::make_shared<ZavererObject>(std::move(platform));
}

std::shared_ptr<_zaverer> create_object(std::string_view progid_or_clsid) {
  return create_object(progid_or_clsid, host::default_platform());
}

}  // namespace pelmo
