#include "host/stored_settings.h"

namespace pelmo::host {

// The registry reader comes with the module's configuration; until then the environment and
// the build's defaults decide, as on Linux.
std::optional<std::u16string> stored_setting(std::u16string_view /*name*/) { return std::nullopt; }

}  // namespace pelmo::host
