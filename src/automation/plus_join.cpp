#include "automation/plus_join.h"

#include <string>

#include "pelmo/error.h"

namespace pelmo::util {

Variant plus_join(std::initializer_list<Variant> pieces) {
  std::u16string joined;
  for (const Variant& piece : pieces) {
    switch (piece.type()) {
      case VarType::Null:
        return Variant::null();
      case VarType::Empty:
        break;
      case VarType::String:
        joined += piece.as_string();
        break;
      default:
        throw_type_mismatch();
    }
  }
  return Variant::string(std::move(joined));
}

}  // namespace pelmo::util
