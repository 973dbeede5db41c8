#include "config/operator_settings.h"

#include <cstdlib>

#include "host/stored_settings.h"
#include "pelmo/text.h"

namespace pelmo {

std::optional<std::u16string> configured_setting(const SettingSource& source) {
  const char* value = std::getenv(source.environment);
  if (value != nullptr && *value != '\0') return from_utf8(value);
  return host::stored_setting(source.stored);
}

std::u16string setting_or(const SettingSource& source, std::u16string_view fallback) {
  std::optional<std::u16string> value = configured_setting(source);
  return value ? std::move(*value) : std::u16string(fallback);
}

}  // namespace pelmo
