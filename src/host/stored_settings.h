// Settings an administrator keeps with the system rather than in the environment: the registry
// on Windows (HKLM\SOFTWARE\pelmo, string values); the Linux build keeps none.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pelmo::host {

// The stored value of a setting, or nothing when it is absent or empty. Cheap enough for every
// call: an implementation that reads a slow store keeps what it read and refreshes it itself.
std::optional<std::u16string> stored_setting(std::u16string_view name);

}  // namespace pelmo::host
