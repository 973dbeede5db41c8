#include "pelmo/variant.h"

namespace pelmo {

Variant Variant::byte_string(const Bytes& raw) {
  std::u16string units(raw.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(raw[2 * i] | (raw[2 * i + 1] << 8));
  }
  Variant v = string(std::move(units));
  if (raw.size() % 2 != 0) v.odd_byte_ = raw.back();
  return v;
}

bool Variant::is_numeric_type() const noexcept {
  switch (type()) {
    case VarType::Integer:
    case VarType::Long:
    case VarType::Double:
      return true;
    default:
      return false;
  }
}

}  // namespace pelmo
