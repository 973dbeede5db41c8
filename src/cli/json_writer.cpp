#include "cli/json_writer.h"

#include <charconv>
#include <cmath>

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

std::string json_list(const std::vector<Variant>& items) {
  std::string out = "[";
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i != 0) out += ',';
    out += json_variant(items[i]);
  }
  return out + "]";
}

}  // namespace

std::string json_string(std::u16string_view s) {
  std::string out = "\"";
  out.reserve(s.size() + 2);
  for (char16_t c : s) {
    if (c == u'"') {
      out += "\\\"";
    } else if (c == u'\\') {
      out += "\\\\";
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      out += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(c >> shift) & 0xF];
    }
  }
  return out + "\"";
}

std::string json_variant(const Variant& v) {
  switch (v.type()) {
    case VarType::Empty:
      return R"({"type":"Empty"})";
    case VarType::Null:
      return R"({"type":"Null"})";
    case VarType::Boolean:
      return std::string(R"({"type":"Boolean","value":)") + (v.as_bool() ? "true" : "false") + "}";
    case VarType::Integer:
      return R"({"type":"Integer","value":)" + std::to_string(v.as_integer()) + "}";
    case VarType::Long:
      return R"({"type":"Long","value":)" + std::to_string(v.as_long()) + "}";
    case VarType::Double:
      return R"({"type":"Double","value":)" + json_number(v.as_double()) + "}";
    case VarType::String:
      return R"({"type":"String","value":)" + json_string(v.as_string()) + "}";
    case VarType::Bytes: {
      std::string hex;
      hex.reserve(v.as_bytes().size() * 2);
      for (std::uint8_t b : v.as_bytes()) {
        hex += kHex[b >> 4];
        hex += kHex[b & 0xF];
      }
      return R"({"type":"Bytes","hex":")" + hex + "\"}";
    }
    case VarType::Array:
      return R"({"type":"Array","items":)" + json_list(v.as_array()) + "}";
  }
  return "null";
}

std::string json_success(const Variant& result, const std::vector<Variant>& args) {
  return R"({"ok":true,"result":)" + json_variant(result) + R"(,"args":)" + json_list(args) + "}";
}

std::string json_failure(std::int32_t number, std::string_view description_utf8,
                         const std::vector<Variant>& args) {
  return R"({"ok":false,"error":{"number":)" + std::to_string(number) + R"(,"description":)" +
         json_string(from_utf8(description_utf8)) + R"(},"args":)" + json_list(args) + "}";
}

}  // namespace pelmo::cli
