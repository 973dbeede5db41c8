#include "cli/info_command.h"

#include <algorithm>
#include <cstdio>

#include "cli/json_writer.h"
#include "config/operator_settings.h"
#include "host/stored_settings.h"
#include "pelmo/text.h"

namespace pelmo::cli {

namespace {

// The widest value column; a longer value overflows its row rather than every row.
constexpr std::size_t kMaxValueWidth = 32;

std::string_view origin_name(SettingOrigin origin) {
  switch (origin) {
    case SettingOrigin::environment:
      return "environment";
    case SettingOrigin::stored:
      return "registry";
    case SettingOrigin::default_value:
      break;
  }
  return "default";
}

std::string_view type_name(SettingType type) {
  switch (type) {
    case SettingType::whole_number:
      return "whole_number";
    case SettingType::choice:
      return "choice";
    case SettingType::text:
      break;
  }
  return "text";
}

// A value as a terminal shows it: control characters escaped, so a stray one cannot rewrite
// the screen.
std::string printable(std::u16string_view value) {
  std::string text;
  for (const char c : to_utf8(value)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      text += escaped;
    } else {
      text += c;
    }
  }
  return text;
}

std::size_t display_width(std::string_view utf8) {
  return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xc0) != 0x80;
  }));
}

std::string padded(std::string text, std::size_t width) {
  const std::size_t shown = display_width(text);
  if (shown < width) text.append(width - shown, ' ');
  return text;
}

std::string value_with_unit(const SettingReading& reading) {
  std::string text = printable(reading.value);
  if (!reading.row->unit.empty()) text += " " + std::string(reading.row->unit);
  return text;
}

std::string source_text(const SettingReading& reading) {
  const SettingRow& row = *reading.row;
  std::string text(origin_name(reading.origin));
  if (reading.origin == SettingOrigin::stored) text += " value " + to_utf8(row.stored);
  if (reading.rejected) {
    text += reading.rejected->origin == SettingOrigin::stored
                ? " (registry value " + to_utf8(row.stored) + " \""
                : std::string(" (environment \"");
    text +=
        printable(reading.rejected->text) + "\" is invalid: " + expected_value(row) + " expected)";
  }
  return text;
}

void write_text(const InfoSubject& subject, const std::vector<SettingReading>& readings,
                std::ostream& out) {
  out << "pelmo " << subject.version << "\n";
  if (subject.module) {
    out << "\nmodule\n";
    std::size_t width = 0;
    for (const InfoField& field : *subject.module) width = std::max(width, field.key.size());
    for (const InfoField& field : *subject.module) {
      std::string label = field.key;
      std::replace(label.begin(), label.end(), '_', ' ');
      out << "  " << padded(label, width) << "  " << field.value << "\n";
    }
  }
  out << "\nsettings: the environment variable when set, ";
  if (const std::optional<host::StoredSettingsPlace> place = host::stored_settings_place()) {
    out << "then the registry value under " << place->key << " (" << place->view << " view), ";
  }
  out << "then the default\n";
  std::size_t name_width = 0, value_width = 0;
  for (const SettingReading& reading : readings) {
    name_width = std::max(name_width, reading.row->environment.size());
    value_width = std::max(value_width, display_width(value_with_unit(reading)));
  }
  value_width = std::min(value_width, kMaxValueWidth);
  std::string_view group;
  for (const SettingReading& reading : readings) {
    if (reading.row->group != group) {
      group = reading.row->group;
      out << "\n" << group << "\n";
    }
    out << "  " << padded(std::string(reading.row->environment), name_width) << "  "
        << padded(value_with_unit(reading), value_width) << "  " << source_text(reading) << "\n";
  }
}

std::string json_text(std::string_view utf8) { return json_string(from_utf8(utf8)); }

// A whole number's value is a JSON number, anything else a string.
std::string json_setting_value(const SettingRow& row, std::u16string_view value) {
  return row.type == SettingType::whole_number ? to_utf8(value) : json_string(value);
}

std::string json_list(std::string_view items, std::string_view separators) {
  std::string list = "[";
  while (!items.empty()) {
    const std::size_t end = items.find_first_of(separators);
    if (list.size() > 1) list += ",";
    list += json_text(items.substr(0, end));
    items.remove_prefix(end == std::string_view::npos ? items.size() : end + 1);
    while (!items.empty() && items.front() == ' ') items.remove_prefix(1);
  }
  return list + "]";
}

std::string json_setting(const SettingReading& reading) {
  const SettingRow& row = *reading.row;
  std::string json = "{\"group\":" + json_text(row.group) +
                     ",\"registry_value\":" + json_string(row.stored) +
                     ",\"registry_types\":" + json_list(stored_types(row), ",") +
                     ",\"type\":" + json_text(type_name(row.type)) +
                     ",\"unit\":" + (row.unit.empty() ? std::string("null") : json_text(row.unit));
  if (row.type == SettingType::whole_number) {
    json += ",\"minimum\":" + std::to_string(row.minimum) +
            ",\"maximum\":" + std::to_string(row.maximum);
  }
  if (row.type == SettingType::choice) json += ",\"choices\":" + json_list(row.choices, "|");
  json += ",\"default\":" + json_setting_value(row, from_utf8(row.default_value)) +
          ",\"meaning\":" + json_text(row.meaning) +
          ",\"value\":" + json_setting_value(row, reading.value) +
          ",\"source\":" + json_text(origin_name(reading.origin)) + ",\"invalid\":";
  if (reading.rejected) {
    json += "{\"source\":" + json_text(origin_name(reading.rejected->origin)) +
            ",\"text\":" + json_string(reading.rejected->text) + "}";
  } else {
    json += "null";
  }
  return json + "}";
}

void write_json(const InfoSubject& subject, const std::vector<SettingReading>& readings,
                std::ostream& out) {
  out << "{\"command\":\"pelmo\",\"version\":" << json_text(subject.version) << ",\"module\":";
  if (subject.module) {
    out << "{";
    for (std::size_t i = 0; i < subject.module->size(); ++i) {
      const InfoField& field = (*subject.module)[i];
      out << (i == 0 ? "" : ",") << json_text(field.key) << ":" << json_text(field.value);
    }
    out << "}";
  } else {
    out << "null";
  }
  out << ",\"registry\":";
  if (const std::optional<host::StoredSettingsPlace> place = host::stored_settings_place()) {
    out << "{\"key\":" << json_text(place->key) << ",\"view\":" << json_text(place->view) << "}";
  } else {
    out << "null";
  }
  out << ",\"settings\":{";
  for (std::size_t i = 0; i < readings.size(); ++i) {
    out << (i == 0 ? "" : ",") << json_text(readings[i].row->environment) << ":"
        << json_setting(readings[i]);
  }
  out << "}}\n";
}

}  // namespace

int run_info(const std::vector<std::string_view>& words, const InfoSubject& subject,
             std::ostream& out, std::ostream& err) {
  const bool json = words.size() == 1 && words.front() == "--json";
  if (!words.empty() && !json) {
    err << "usage: pelmo info [--json]\n";
    return 2;
  }
  const std::vector<SettingReading> readings = read_settings();
  if (json) {
    write_json(subject, readings, out);
  } else {
    write_text(subject, readings, out);
  }
  return 0;
}

}  // namespace pelmo::cli
