#include "host/stored_settings.h"

namespace pelmo::host {

// Linux keeps its settings in the environment alone.
std::optional<std::u16string> stored_setting(std::u16string_view /*name*/) { return std::nullopt; }

std::optional<StoredSettingsPlace> stored_settings_place() { return std::nullopt; }

}  // namespace pelmo::host
