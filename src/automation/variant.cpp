#include "pelmo/variant.h"

#include "automation/large_buffers.h"
#include "pelmo/convert.h"
#include "pelmo/text.h"

namespace pelmo {

Variant Variant::byte_string(const Bytes& raw) {
  std::u16string units;
  util::reserve_large(units, raw.size() / 2);
  units.resize(raw.size() / 2);
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(raw[2 * i] | (raw[2 * i + 1] << 8));
  }
  Variant v = string(std::move(units));
  if (raw.size() % 2 != 0) v.odd_byte_ = raw.back();
  return v;
}

std::u16string Variant::take_string() && {
  if (is_string()) return std::move(std::get<std::u16string>(value_));
  return to_text(*this);
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

std::ostream& operator<<(std::ostream& out, const Variant& v) {
  switch (v.type()) {
    case VarType::Empty:
      return out << "Empty";
    case VarType::Null:
      return out << "Null";
    case VarType::Boolean:
      return out << "Boolean " << (v.as_bool() ? "True" : "False");
    case VarType::Integer:
      return out << "Integer " << v.as_integer();
    case VarType::Long:
      return out << "Long " << v.as_long();
    case VarType::Double:
      return out << "Double " << v.as_double();
    case VarType::String:
      return out << "String \"" << to_utf8(v.as_string()) << '"';
    case VarType::Bytes:
      return out << "Bytes[" << v.as_bytes().size() << "]";
    case VarType::Array: {
      out << "Array(";
      for (std::size_t i = 0; i < v.as_array().size(); ++i)
        out << (i ? ", " : "") << v.as_array()[i];
      return out << ")";
    }
  }
  return out;
}

}  // namespace pelmo
