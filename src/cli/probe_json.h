// A small reader of JSON values for the probe file and for the JSON-shaped texts the scrapers
// return: objects keep their members in order, numbers are doubles, strings UTF-8.
#pragma once

#include <cstddef>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace pelmo::cli {

struct JsonValue;
struct JsonMember;
using JsonArray = std::vector<JsonValue>;
using JsonObject = std::vector<JsonMember>;

struct JsonValue {
  std::variant<std::nullptr_t, bool, double, std::string, JsonArray, JsonObject> value;

  bool is_string() const { return std::holds_alternative<std::string>(value); }
  bool is_number() const { return std::holds_alternative<double>(value); }
  bool is_array() const { return std::holds_alternative<JsonArray>(value); }
  bool is_object() const { return std::holds_alternative<JsonObject>(value); }
};

struct JsonMember {
  std::string key;
  JsonValue value;
};

class JsonError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads one value from `text` starting at `at`, and moves `at` past it (and the spaces after).
// Nesting deeper than 64 levels and any other malformation throw JsonError naming the column.
JsonValue read_json_value(std::string_view text, std::size_t& at);

// The whole text as one value, nothing after it.
JsonValue parse_json(std::string_view text);

}  // namespace pelmo::cli
