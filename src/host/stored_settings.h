// Settings an administrator keeps with the system rather than in the environment: the registry
// on Windows (HKLM\SOFTWARE\pelmo, in the view of the process's own bitness); the Linux build
// keeps none.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pelmo::host {

// The stored value of a setting, or nothing when it is absent or empty. Cheap enough for every
// call: an implementation that reads a slow store keeps what it read and refreshes it itself.
std::optional<std::u16string> stored_setting(std::u16string_view name);

// Where the stored values live, for an operator to find them.
struct StoredSettingsPlace {
  std::string key;   // e.g. "HKLM\SOFTWARE\pelmo"
  std::string view;  // e.g. "64-bit"
};

// Nothing when this build keeps no stored settings.
std::optional<StoredSettingsPlace> stored_settings_place();

}  // namespace pelmo::host
