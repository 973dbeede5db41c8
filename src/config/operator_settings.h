// Where an operator's setting comes from, the same way for every setting and platform: its
// environment variable when set and not empty, then the system's stored setting (the registry
// on Windows), then the catalogue's default. A value the setting does not accept is set aside
// and the default taken, so a typing mistake cannot switch a feature on or unbound it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/setting_catalogue.h"

namespace pelmo {

enum class SettingOrigin { environment, stored, default_value };

struct SettingReading {
  const SettingRow* row;
  std::u16string value;  // as used: accepted_value() of the configured text, or the default
  SettingOrigin origin;  // where `value` came from
  struct Rejected {
    std::u16string text;
    SettingOrigin origin;
  };
  std::optional<Rejected> rejected;  // the configured text that was not accepted
};

// Reads the setting afresh: cheap enough for every call, so a change takes effect at once.
SettingReading read_setting(const SettingRow& row);
SettingReading read_setting(std::string_view environment);

// Every setting of the catalogue, in its order.
std::vector<SettingReading> read_settings();

// The value of a whole-number setting.
std::int64_t whole_number(const SettingReading& reading);

// One line telling the operator a value was set aside ("PELMO_FETCH_CACHE_SECONDS (or the
// stored value FetchCacheSeconds): "60s" is not a whole number from 0 to 31536000; ignored, 0
// used"), or nothing when the configured value was taken.
std::optional<std::string> rejection_note(const SettingReading& reading);

}  // namespace pelmo
