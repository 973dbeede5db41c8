// Where an operator's setting comes from, the same way for every setting and platform: its
// environment variable when set and not empty, then the system's stored setting (the registry
// on Windows), then the build's default.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pelmo {

struct SettingSource {
  const char* environment;     // e.g. "PELMO_NEWS_HOST"
  std::u16string_view stored;  // e.g. u"NewsHost"
};

// The configured text, or nothing when neither the environment nor the store sets it.
std::optional<std::u16string> configured_setting(const SettingSource& source);

// The configured text, or the fallback.
std::u16string setting_or(const SettingSource& source, std::u16string_view fallback);

}  // namespace pelmo
