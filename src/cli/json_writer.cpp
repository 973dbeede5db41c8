#include "cli/json_writer.h"

#include <charconv>
#include <cmath>
#include <sstream>

#include "pelmo/text.h"

namespace pelmo::cli {

namespace {

constexpr char kHex[] = "0123456789abcdef";

std::string json_number(double d) {
  if (!std::isfinite(d)) return "null";  // JSON has no infinities; never produced by the methods
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, d);
  return std::string(buffer, end);
}

template <typename Write>
std::string written(const Write& write) {
  std::ostringstream out;
  {
    JsonWriter json(out);
    write(json);
  }
  return std::move(out).str();
}

}  // namespace

void JsonWriter::flush() {
  out_.write(buffer_.data(), static_cast<std::streamsize>(used_));
  used_ = 0;
}

void JsonWriter::raw(std::string_view text) {
  for (char c : text) put(c);
}

void JsonWriter::string(std::u16string_view s) {
  put('"');
  for (char16_t c : s) {
    if (c == u'"' || c == u'\\') {
      put('\\');
      put(static_cast<char>(c));
    } else if (c >= 0x20 && c < 0x7F) {
      put(static_cast<char>(c));
    } else {
      put('\\');
      put('u');
      for (int shift = 12; shift >= 0; shift -= 4) put(kHex[(c >> shift) & 0xF]);
    }
  }
  put('"');
}

void JsonWriter::variant(const Variant& v) {
  switch (v.type()) {
    case VarType::Empty:
      return raw(R"({"type":"Empty"})");
    case VarType::Null:
      return raw(R"({"type":"Null"})");
    case VarType::Boolean:
      raw(R"({"type":"Boolean","value":)");
      raw(v.as_bool() ? "true" : "false");
      return put('}');
    case VarType::Integer:
      raw(R"({"type":"Integer","value":)");
      raw(std::to_string(v.as_integer()));
      return put('}');
    case VarType::Long:
      raw(R"({"type":"Long","value":)");
      raw(std::to_string(v.as_long()));
      return put('}');
    case VarType::Double:
      raw(R"({"type":"Double","value":)");
      raw(json_number(v.as_double()));
      return put('}');
    case VarType::String:
      raw(R"({"type":"String","value":)");
      string(v.as_string());
      return put('}');
    case VarType::Bytes:
      raw(R"({"type":"Bytes","hex":")");
      for (std::uint8_t b : v.as_bytes()) {
        put(kHex[b >> 4]);
        put(kHex[b & 0xF]);
      }
      return raw("\"}");
    case VarType::Array:
      raw(R"({"type":"Array","items":)");
      list(v.as_array());
      return put('}');
  }
  raw("null");
}

void JsonWriter::list(const std::vector<Variant>& items) {
  put('[');
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i != 0) put(',');
    variant(items[i]);
  }
  put(']');
}

void write_success(std::ostream& out, const Variant& result, const std::vector<Variant>& args) {
  JsonWriter json(out);
  json.raw(R"({"ok":true,"result":)");
  json.variant(result);
  json.raw(R"(,"args":)");
  json.list(args);
  json.raw("}");
}

void write_failure(std::ostream& out, std::int32_t number, std::string_view description_utf8,
                   const std::vector<Variant>& args) {
  JsonWriter json(out);
  json.raw(R"({"ok":false,"error":{"number":)");
  json.raw(std::to_string(number));
  json.raw(R"(,"description":)");
  json.string(from_utf8(description_utf8));
  json.raw(R"(},"args":)");
  json.list(args);
  json.raw("}");
}

std::string json_string(std::u16string_view s) {
  return written([&](JsonWriter& json) { json.string(s); });
}

std::string json_variant(const Variant& v) {
  return written([&](JsonWriter& json) { json.variant(v); });
}

std::string json_success(const Variant& result, const std::vector<Variant>& args) {
  std::ostringstream out;
  write_success(out, result, args);
  return std::move(out).str();
}

std::string json_failure(std::int32_t number, std::string_view description_utf8,
                         const std::vector<Variant>& args) {
  std::ostringstream out;
  write_failure(out, number, description_utf8, args);
  return std::move(out).str();
}

}  // namespace pelmo::cli
