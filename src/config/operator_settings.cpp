#include "config/operator_settings.h"

#include <cstdlib>

#include "host/stored_settings.h"
#include "pelmo/text.h"

namespace pelmo {

SettingReading read_setting(const SettingRow& row) {
  SettingReading reading{&row, from_utf8(row.default_value), SettingOrigin::default_value, {}};
  std::optional<std::u16string> text;
  SettingOrigin origin = SettingOrigin::environment;
  const std::string environment(row.environment);
  if (const char* value = std::getenv(environment.c_str()); value != nullptr && *value != '\0') {
    text = from_utf8(value);
  } else {
    text = host::stored_setting(row.stored);
    origin = SettingOrigin::stored;
  }
  if (!text) return reading;
  if (std::optional<std::u16string> accepted = accepted_value(row, *text)) {
    reading.value = std::move(*accepted);
    reading.origin = origin;
  } else {
    reading.rejected = SettingReading::Rejected{std::move(*text), origin};
  }
  return reading;
}

SettingReading read_setting(std::string_view environment) {
  return read_setting(setting_row(environment));
}

std::vector<SettingReading> read_settings() {
  std::vector<SettingReading> readings;
  for (const SettingRow& row : setting_catalogue()) readings.push_back(read_setting(row));
  return readings;
}

std::int64_t whole_number(const SettingReading& reading) {
  return parse_bounded_count(reading.value, reading.row->maximum).value_or(0);
}

std::optional<std::string> rejection_note(const SettingReading& reading) {
  if (!reading.rejected) return std::nullopt;
  const SettingRow& row = *reading.row;
  return std::string(row.environment) + " (or the stored value " + to_utf8(row.stored) + "): \"" +
         to_utf8(reading.rejected->text) + "\" is not " + expected_value(row) + "; ignored, " +
         to_utf8(reading.value) + " used";
}

}  // namespace pelmo
