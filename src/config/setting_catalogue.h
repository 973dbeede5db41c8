// Every operator setting the component reads, one row each: its environment variable, its
// stored (registry) value, what it accepts and its default. The readers of each setting and
// `pelmo info` take everything from here, so a new setting is one row.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace pelmo {

enum class SettingType {
  text,          // any text that is not empty
  whole_number,  // decimal digits from `minimum` to `maximum`, spaces around allowed
  choice,        // one of `choices` ("allow|deny"), letter case ignored
};

struct SettingRow {
  std::string_view group;        // "outside hosts", "fetch cache", ...
  std::string_view environment;  // e.g. "PELMO_NEWS_HOST"
  std::u16string_view stored;    // the registry value's name, e.g. u"NewsHost"
  SettingType type;
  std::string_view unit;  // "seconds", "MiB"; empty when the value has none
  std::string_view default_value;
  std::int64_t minimum = 0;
  std::int64_t maximum = 0;
  std::string_view choices;  // "|"-separated
  std::string_view meaning;  // what the value is used for, for people
};

// Every row, in the order people read them: grouped, the groups in a fixed order.
std::span<const SettingRow> setting_catalogue();

// The row of a setting by its environment variable; throws std::logic_error for a name that is
// not in the catalogue, which is a fault of the caller.
const SettingRow& setting_row(std::string_view environment);

// The registry value types the stored setting is read from, e.g. "REG_SZ, REG_EXPAND_SZ".
std::string_view stored_types(const SettingRow& row);

// What a valid value looks like, for messages: "a whole number from 0 to 31536000".
std::string expected_value(const SettingRow& row);

// The value as it is used (numbers without spaces or leading zeros, choices in their catalogue
// letter case), or nothing when the row does not accept the text.
std::optional<std::u16string> accepted_value(const SettingRow& row, std::u16string_view text);

// A whole number from 0 to `max`, spaces around it allowed; nothing for anything else.
std::optional<std::int64_t> parse_bounded_count(std::u16string_view text, std::int64_t max);

}  // namespace pelmo
