// The GUIDs of include/pelmo/identity.h as binary GUIDs, read at compile time so the COM layer
// cannot disagree with the catalogue's identity.
#pragma once

#include <guiddef.h>

#include <string_view>

#include "pelmo/identity.h"

namespace pelmo::com {

namespace detail {

constexpr unsigned hex_value(char c) {
  return c >= '0' && c <= '9'   ? static_cast<unsigned>(c - '0')
         : c >= 'a' && c <= 'f' ? static_cast<unsigned>(c - 'a' + 10)
         : c >= 'A' && c <= 'F' ? static_cast<unsigned>(c - 'A' + 10)
                                : throw "not a hex digit";
}

constexpr unsigned long hex_field(std::string_view s, std::size_t pos, std::size_t digits) {
  unsigned long value = 0;
  for (std::size_t i = 0; i < digits; ++i) value = value * 16 + hex_value(s[pos + i]);
  return value;
}

}  // namespace detail

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
constexpr GUID guid_from_text(std::string_view s) {
  if (s.size() != 38 || s[0] != '{' || s[9] != '-' || s[14] != '-' || s[19] != '-' ||
      s[24] != '-' || s[37] != '}') {
    throw "not a GUID in braces";
  }
  GUID g{};
  g.Data1 = detail::hex_field(s, 1, 8);
  g.Data2 = static_cast<unsigned short>(detail::hex_field(s, 10, 4));
  g.Data3 = static_cast<unsigned short>(detail::hex_field(s, 15, 4));
  g.Data4[0] = static_cast<unsigned char>(detail::hex_field(s, 20, 2));
  g.Data4[1] = static_cast<unsigned char>(detail::hex_field(s, 22, 2));
  for (std::size_t i = 0; i < 6; ++i) {
    g.Data4[2 + i] = static_cast<unsigned char>(detail::hex_field(s, 25 + 2 * i, 2));
  }
  return g;
}

inline constexpr GUID kLibId = guid_from_text(identity::kLibId);
inline constexpr GUID kClsId = guid_from_text(identity::kClsId);
inline constexpr GUID kIid = guid_from_text(identity::kIid);

}  // namespace pelmo::com
