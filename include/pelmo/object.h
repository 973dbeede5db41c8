// The class factory of zaverer.
#pragma once

#include <memory>
#include <string_view>

#include "pelmo/zaverer.h"

namespace pelmo {

namespace host {
// What the object creates for itself (HTTP clients); the build's own
// platform unless a host injects another.
class Platform;
}  // namespace host

// Creates a new object in the created state (no page objects held) by ProgID
// ("pelmo.zaverer", any letter case) or by CLSID in braces. An unknown name fails with an
// AutomationError. The platform supplies the HTTP clients.
std::shared_ptr<_zaverer> create_object(std::string_view progid_or_clsid,
                                        std::shared_ptr<host::Platform> platform);
std::shared_ptr<_zaverer> create_object(std::string_view progid_or_clsid);

}  // namespace pelmo
