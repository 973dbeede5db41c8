#include "cli/probe_file.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "cli/arg_words.h"
#include "cli/probe_json.h"
#include "cli/result_records.h"

namespace pelmo::cli {

namespace {

[[noreturn]] void fail(std::size_t line, const std::string& what) {
  throw ProbeFileError("line " + std::to_string(line) + ": " + what);
}

const JsonValue* member(const JsonObject& object, std::string_view key) {
  for (const auto& [name, value] : object) {
    if (name == key) return &value;
  }
  return nullptr;
}

std::vector<std::string> texts(std::size_t line, const JsonValue& value, std::string_view what) {
  if (!value.is_array()) fail(line, std::string(what) + " must be an array of texts");
  std::vector<std::string> out;
  for (const JsonValue& item : std::get<JsonArray>(value.value)) {
    if (!item.is_string()) fail(line, std::string(what) + " must be an array of texts");
    out.push_back(std::get<std::string>(item.value));
  }
  return out;
}

double number(std::size_t line, const JsonObject& object, std::string_view key,
              std::string_view what) {
  const JsonValue* value = member(object, key);
  if (value == nullptr || !value->is_number()) {
    fail(line, std::string(what) + " needs a number \"" + std::string(key) + "\"");
  }
  const double n = std::get<double>(value->value);
  if (!(n >= 0))
    fail(line, std::string(what) + " \"" + std::string(key) + "\" must not be below 0");
  return n;
}

void only_keys(std::size_t line, const JsonObject& object, std::set<std::string_view> allowed,
               std::string_view what) {
  for (const auto& [key, value] : object) {
    if (!allowed.contains(key)) fail(line, std::string(what) + ": unknown word \"" + key + "\"");
  }
}

// {"warn": W, "crit": C}; `fewer_is_worse` says which way the two must lie.
Thresholds thresholds(std::size_t line, const JsonValue& value, std::string_view what,
                      bool fewer_is_worse) {
  if (!value.is_object()) fail(line, std::string(what) + " must be {\"warn\": N, \"crit\": M}");
  const JsonObject& object = std::get<JsonObject>(value.value);
  only_keys(line, object, {"warn", "crit"}, what);
  const Thresholds out{number(line, object, "warn", what), number(line, object, "crit", what)};
  if (fewer_is_worse ? out.warn < out.crit : out.warn > out.crit) {
    fail(line, std::string(what) + ": \"warn\" must be " +
                   (fewer_is_worse ? "at least" : "at most") + " \"crit\"");
  }
  return out;
}

void read_filled(std::size_t line, const JsonValue& value, ProbeCheck& check) {
  if (value.is_array()) {
    check.filled = texts(line, value, "filled");
  } else if (value.is_object()) {
    const JsonObject& object = std::get<JsonObject>(value.value);
    only_keys(line, object, {"fields", "warn", "crit"}, "filled");
    const JsonValue* fields = member(object, "fields");
    if (fields == nullptr) fail(line, "filled needs \"fields\"");
    check.filled = texts(line, *fields, "filled fields");
    if (member(object, "warn")) check.filled_percent.warn = number(line, object, "warn", "filled");
    if (member(object, "crit")) check.filled_percent.crit = number(line, object, "crit", "filled");
    if (check.filled_percent.warn > 100 || check.filled_percent.warn < check.filled_percent.crit) {
      fail(line, "filled: percentages from 0 to 100, \"warn\" at least \"crit\"");
    }
  } else {
    fail(line, "filled must be an array of field names or {\"fields\": [...], ...}");
  }
  if (check.filled.empty()) fail(line, "filled names no field");
}

ProbeCheck parse_check(std::size_t line, std::string_view text) {
  JsonValue value;
  try {
    value = parse_json(text);
  } catch (const JsonError& e) {
    fail(line, std::string("not JSON: ") + e.what());
  }
  if (!value.is_object()) fail(line, "a check is a JSON object");
  const JsonObject& object = std::get<JsonObject>(value.value);
  only_keys(line, object, {"name", "call", "records", "filled", "contains", "seconds"}, "check");

  ProbeCheck check;
  check.line = line;
  const JsonValue* name = member(object, "name");
  if (name == nullptr || !name->is_string() || std::get<std::string>(name->value).empty()) {
    fail(line, "a check needs a \"name\" text");
  }
  check.name = std::get<std::string>(name->value);
  const JsonValue* call = member(object, "call");
  if (call == nullptr) fail(line, "a check needs a \"call\"");
  check.words = texts(line, *call, "call");
  try {
    const std::vector<std::string_view> views(check.words.begin(), check.words.end());
    // Checked against the interface every face offers; the caller looks the method up again
    // on the object it reaches.
    static const std::vector<MethodShape> methods = catalogue_shapes();
    check.call = parse_method_call(methods, views);
  } catch (const UsageError& e) {
    fail(line, std::string("call: ") + e.what());
  }
  const std::string_view method = check.call.method->name;
  const auto fields = record_fields(method);
  if (const JsonValue* records = member(object, "records")) {
    if (!fields) fail(line, "records: " + std::string(method) + " returns no list of records");
    check.records = thresholds(line, *records, "records", true);
  }
  if (const JsonValue* filled = member(object, "filled")) {
    if (!fields) fail(line, "filled: " + std::string(method) + " returns no list of records");
    read_filled(line, *filled, check);
    for (const std::string& field : check.filled) {
      if (std::find(fields->begin(), fields->end(), field) == fields->end()) {
        fail(line, "filled: " + std::string(method) + " records have no field \"" + field + "\"");
      }
    }
  }
  if (const JsonValue* contains = member(object, "contains")) {
    check.contains = texts(line, *contains, "contains");
  }
  if (const JsonValue* seconds = member(object, "seconds")) {
    check.seconds = thresholds(line, *seconds, "seconds", false);
  }
  return check;
}

}  // namespace

std::vector<ProbeCheck> parse_probe_file(std::string_view text) {
  std::vector<ProbeCheck> checks;
  std::set<std::string> names;
  std::size_t line_number = 0;
  while (!text.empty()) {
    ++line_number;
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos || line[first] == '#') continue;
    ProbeCheck check = parse_check(line_number, line);
    if (!names.insert(check.name).second) {
      fail(line_number, "the name \"" + check.name + "\" is used twice");
    }
    checks.push_back(std::move(check));
  }
  if (checks.empty())
    throw ProbeFileError("line " + std::to_string(line_number) + ": no checks in the file");
  return checks;
}

std::vector<ProbeCheck> read_probe_file(const std::string& path) {
  // The path is UTF-8 on every platform; on Windows it opens by its wide name.
  std::ifstream in(std::filesystem::path(std::u8string(path.begin(), path.end())),
                   std::ios::binary);
  if (!in) throw ProbeFileError("line 0: cannot open " + path);
  std::string text;
  text.resize(kMaxProbeFileBytes + 1);
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (in.bad()) throw ProbeFileError("line 0: cannot read " + path);
  text.resize(static_cast<std::size_t>(in.gcount()));
  if (text.size() > kMaxProbeFileBytes) {
    throw ProbeFileError("line 0: " + path + " is larger than " +
                         std::to_string(kMaxProbeFileBytes >> 20) + " MiB");
  }
  return parse_probe_file(text);
}

}  // namespace pelmo::cli
