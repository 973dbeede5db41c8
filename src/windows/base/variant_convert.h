// Between automation VARIANTs and the core's Variant, in both directions.
#pragma once

#include <oaidl.h>

#include <string>
#include <string_view>

#include "pelmo/variant.h"

namespace pelmo::com {

// A VARIANT that clears itself.
class OwnedVariant {
 public:
  OwnedVariant() noexcept { VariantInit(&v_); }
  OwnedVariant(OwnedVariant&& other) noexcept : v_(other.release()) {}
  OwnedVariant(const OwnedVariant&) = delete;
  OwnedVariant& operator=(const OwnedVariant&) = delete;
  OwnedVariant& operator=(OwnedVariant&&) = delete;
  ~OwnedVariant() { VariantClear(&v_); }
  VARIANT& get() noexcept { return v_; }
  const VARIANT& get() const noexcept { return v_; }
  VARIANT* operator&() noexcept { return &v_; }  // NOLINT: for out-parameters
  // Hands the value to the caller, who must clear it.
  VARIANT release() noexcept {
    VARIANT out = v_;
    VariantInit(&v_);
    return out;
  }

 private:
  VARIANT v_;
};

// UTF-16 text between the two worlds (wchar_t is a UTF-16 code unit on Windows).
std::wstring to_wide(std::u16string_view s);
std::u16string from_wide(std::wstring_view s);
// A new BSTR; throws std::bad_alloc when none can be had.
BSTR make_bstr(std::u16string_view s);

// The value a script's argument holds. Follows by-reference forms; an omitted optional argument
// (VT_ERROR) reads as Empty; a BSTR of odd byte length keeps its last byte; an object gives its
// default value; typed arrays read element by element. Types the component has no use for,
// records, and nesting or reference chains past a fixed depth fail with a type mismatch (13).
Variant from_variant(const VARIANT& v);

// A new VARIANT holding the value (strings as BSTR, byte arrays as VT_ARRAY|VT_UI1, arrays as
// VT_ARRAY|VT_VARIANT with lower bound 0). `out` is overwritten without being cleared.
void to_variant(const Variant& value, VARIANT& out);

// Stores the value where a by-reference argument points: through VT_BYREF|VT_VARIANT into the
// caller's variable, into a typed by-reference slot converted to its type, or, when the argument
// is no reference, into the VARIANT itself. A typed slot that cannot take the value is left as
// it was and the store fails with a type mismatch (13).
void write_back(VARIANT& arg, const Variant& value);

}  // namespace pelmo::com
