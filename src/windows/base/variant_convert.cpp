#include "windows/base/variant_convert.h"

#include <cstring>
#include <new>

#include "pelmo/error.h"

namespace pelmo::com {

namespace {

// Objects handing out objects as their default value: stop before a cycle runs away.
constexpr int kMaxDefaultValueDepth = 8;

struct SafeArrayData {
  explicit SafeArrayData(SAFEARRAY* sa) : sa_(sa) {
    if (FAILED(SafeArrayAccessData(sa_, &data_))) throw_type_mismatch();
  }
  SafeArrayData(const SafeArrayData&) = delete;
  SafeArrayData& operator=(const SafeArrayData&) = delete;
  ~SafeArrayData() { SafeArrayUnaccessData(sa_); }
  void* get() const { return data_; }

 private:
  SAFEARRAY* sa_;
  void* data_ = nullptr;
};

std::size_t element_count(SAFEARRAY* sa) {
  if (SafeArrayGetDim(sa) != 1) throw_type_mismatch();  // the component's arrays are lists
  LONG lower = 0, upper = -1;
  if (FAILED(SafeArrayGetLBound(sa, 1, &lower)) || FAILED(SafeArrayGetUBound(sa, 1, &upper))) {
    throw_type_mismatch();
  }
  return upper < lower ? 0 : static_cast<std::size_t>(upper - lower) + 1;
}

Variant from_variant_at(const VARIANT& v, int depth);

Variant from_safearray(SAFEARRAY* sa, VARTYPE element_type, int depth) {
  if (element_type == VT_UI1) {
    if (sa == nullptr) return Variant::bytes({});
    const std::size_t n = element_count(sa);
    Bytes bytes(n);
    SafeArrayData data(sa);
    if (n != 0) std::memcpy(bytes.data(), data.get(), n);
    return Variant::bytes(std::move(bytes));
  }
  if (sa == nullptr) return Variant::array({});
  const std::size_t n = element_count(sa);
  VariantArray items;
  items.reserve(n);
  if (element_type == VT_VARIANT) {
    SafeArrayData data(sa);
    const auto* elements = static_cast<const VARIANT*>(data.get());
    for (std::size_t i = 0; i < n; ++i) items.push_back(from_variant_at(elements[i], depth));
    return Variant::array(std::move(items));
  }
  // Typed arrays (of strings, numbers) from compiled clients: element by element.
  LONG lower = 0;
  SafeArrayGetLBound(sa, 1, &lower);
  for (std::size_t i = 0; i < n; ++i) {
    OwnedVariant element;
    LONG index = lower + static_cast<LONG>(i);
    // Every member of the VARIANT union starts at the same address.
    if (FAILED(SafeArrayGetElement(sa, &index, &V_UI1(&element.get())))) throw_type_mismatch();
    V_VT(&element.get()) = element_type;
    items.push_back(from_variant_at(element.get(), depth));
  }
  return Variant::array(std::move(items));
}

Variant from_bstr_value(BSTR b) {
  if (b == nullptr) return Variant::string({});
  const UINT bytes = SysStringByteLen(b);
  if (bytes % 2 == 0) {
    return Variant::string(std::u16string(reinterpret_cast<const char16_t*>(b), bytes / 2));
  }
  const auto* raw = reinterpret_cast<const std::uint8_t*>(b);
  return Variant::byte_string(Bytes(raw, raw + bytes));
}

Variant changed_to(const VARIANT& v, VARTYPE type) {
  OwnedVariant converted;
  if (FAILED(VariantChangeType(&converted.get(), const_cast<VARIANT*>(&v), 0, type))) {
    throw_type_mismatch();
  }
  return from_variant_at(converted.get(), 0);
}

Variant default_value(IDispatch* object, int depth) {
  if (object == nullptr || depth >= kMaxDefaultValueDepth) throw_type_mismatch();
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  OwnedVariant value;
  const HRESULT hr =
      object->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT,
                     DISPATCH_PROPERTYGET | DISPATCH_METHOD, &none, &value.get(), nullptr, nullptr);
  if (FAILED(hr)) throw_type_mismatch();
  return from_variant_at(value.get(), depth + 1);
}

Variant from_variant_at(const VARIANT& in, int depth) {
  const VARIANT* v = &in;
  while (V_VT(v) == (VT_BYREF | VT_VARIANT)) {
    v = V_VARIANTREF(v);
    if (v == nullptr) throw_type_mismatch();
  }
  const VARTYPE vt = V_VT(v);
  const bool by_ref = (vt & VT_BYREF) != 0;
  const VARTYPE type = static_cast<VARTYPE>(vt & ~VT_BYREF);
  if (by_ref && V_BYREF(v) == nullptr) throw_type_mismatch();

  if ((type & VT_ARRAY) != 0) {
    SAFEARRAY* sa = by_ref ? *V_ARRAYREF(v) : V_ARRAY(v);
    return from_safearray(sa, static_cast<VARTYPE>(type & VT_TYPEMASK), depth);
  }
  switch (type) {
    case VT_EMPTY:
    case VT_ERROR:  // an omitted optional argument
      return Variant();
    case VT_NULL:
      return Variant::null();
    case VT_BOOL:
      return Variant::boolean((by_ref ? *V_BOOLREF(v) : V_BOOL(v)) != VARIANT_FALSE);
    case VT_I2:
      return Variant::integer(by_ref ? *V_I2REF(v) : V_I2(v));
    case VT_UI1:
      return Variant::integer(by_ref ? *V_UI1REF(v) : V_UI1(v));
    case VT_I4:
      return Variant::long_(by_ref ? *V_I4REF(v) : V_I4(v));
    case VT_R8:
      return Variant::number(by_ref ? *V_R8REF(v) : V_R8(v));
    case VT_BSTR:
      return from_bstr_value(by_ref ? *V_BSTRREF(v) : V_BSTR(v));
    case VT_I1:
    case VT_UI2:
      return changed_to(*v, VT_I4);
    case VT_R4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_I8:
    case VT_UI8:
    case VT_CY:
    case VT_DECIMAL:
      return changed_to(*v, VT_R8);
    case VT_DATE:
      return changed_to(*v, VT_BSTR);  // the date's text, as a script would read it
    case VT_DISPATCH:
      return default_value(by_ref ? *V_DISPATCHREF(v) : V_DISPATCH(v), depth);
    default:
      throw_type_mismatch();
  }
}

SAFEARRAY* new_vector(VARTYPE type, std::size_t n) {
  if (n > static_cast<std::size_t>(0x7FFFFFFF)) throw std::bad_alloc();
  SAFEARRAY* sa = SafeArrayCreateVector(type, 0, static_cast<ULONG>(n));
  if (sa == nullptr) throw std::bad_alloc();
  return sa;
}

BSTR make_byte_bstr(const Variant& value) {
  const std::u16string& units = value.as_string();
  std::string raw;
  raw.reserve(units.size() * 2 + 1);
  for (char16_t unit : units) {
    raw.push_back(static_cast<char>(unit & 0xFF));
    raw.push_back(static_cast<char>(unit >> 8));
  }
  raw.push_back(static_cast<char>(*value.odd_byte()));
  BSTR b = SysAllocStringByteLen(raw.data(), static_cast<UINT>(raw.size()));
  if (b == nullptr) throw std::bad_alloc();
  return b;
}

// Converts into a typed by-reference slot. False when the slot's type is not one the
// component writes, or the value does not convert to it.
bool store_typed(VARIANT& slot, const Variant& value) {
  const auto type = static_cast<VARTYPE>(V_VT(&slot) & ~VT_BYREF);
  OwnedVariant fresh;
  to_variant(value, fresh.get());
  if ((type & VT_ARRAY) != 0) {
    if (V_VT(&fresh.get()) != type) return false;
    SAFEARRAY** target = V_ARRAYREF(&slot);
    if (*target != nullptr) SafeArrayDestroy(*target);
    *target = V_ARRAY(&fresh.get());
    V_VT(&fresh.get()) = VT_EMPTY;
    return true;
  }
  OwnedVariant converted;
  switch (type) {
    case VT_BSTR:
    case VT_I2:
    case VT_I4:
    case VT_R8:
    case VT_BOOL:
      break;
    default:
      return false;
  }
  if (V_VT(&fresh.get()) == type) {
    VariantCopy(&converted.get(), &fresh.get());
  } else if (FAILED(VariantChangeType(&converted.get(), &fresh.get(), 0, type))) {
    return false;
  }
  switch (type) {
    case VT_BSTR:
      SysFreeString(*V_BSTRREF(&slot));
      *V_BSTRREF(&slot) = V_BSTR(&converted.get());
      V_VT(&converted.get()) = VT_EMPTY;
      break;
    case VT_I2:
      *V_I2REF(&slot) = V_I2(&converted.get());
      break;
    case VT_I4:
      *V_I4REF(&slot) = V_I4(&converted.get());
      break;
    case VT_R8:
      *V_R8REF(&slot) = V_R8(&converted.get());
      break;
    default:
      *V_BOOLREF(&slot) = V_BOOL(&converted.get());
      break;
  }
  return true;
}

}  // namespace

std::wstring to_wide(std::u16string_view s) { return std::wstring(s.begin(), s.end()); }

std::u16string from_wide(std::wstring_view s) {
  std::u16string out(s.size(), u'\0');
  for (std::size_t i = 0; i < s.size(); ++i) out[i] = static_cast<char16_t>(s[i]);
  return out;
}

BSTR make_bstr(std::u16string_view s) {
  if (s.size() > 0x7FFFFFF0u) throw std::bad_alloc();
  BSTR b =
      SysAllocStringLen(reinterpret_cast<const OLECHAR*>(s.data()), static_cast<UINT>(s.size()));
  if (b == nullptr) throw std::bad_alloc();
  return b;
}

Variant from_variant(const VARIANT& v) { return from_variant_at(v, 0); }

void to_variant(const Variant& value, VARIANT& out) {
  VariantInit(&out);
  switch (value.type()) {
    case VarType::Empty:
      return;
    case VarType::Null:
      V_VT(&out) = VT_NULL;
      return;
    case VarType::Boolean:
      V_VT(&out) = VT_BOOL;
      V_BOOL(&out) = value.as_bool() ? VARIANT_TRUE : VARIANT_FALSE;
      return;
    case VarType::Integer:
      V_VT(&out) = VT_I2;
      V_I2(&out) = value.as_integer();
      return;
    case VarType::Long:
      V_VT(&out) = VT_I4;
      V_I4(&out) = value.as_long();
      return;
    case VarType::Double:
      V_VT(&out) = VT_R8;
      V_R8(&out) = value.as_double();
      return;
    case VarType::String:
      V_BSTR(&out) = value.odd_byte() ? make_byte_bstr(value) : make_bstr(value.as_string());
      V_VT(&out) = VT_BSTR;
      return;
    case VarType::Bytes: {
      const Bytes& bytes = value.as_bytes();
      SAFEARRAY* sa = new_vector(VT_UI1, bytes.size());
      if (!bytes.empty()) {
        SafeArrayData data(sa);
        std::memcpy(data.get(), bytes.data(), bytes.size());
      }
      V_VT(&out) = VT_ARRAY | VT_UI1;
      V_ARRAY(&out) = sa;
      return;
    }
    case VarType::Array: {
      const VariantArray& items = value.as_array();
      SAFEARRAY* sa = new_vector(VT_VARIANT, items.size());
      // Owned by `out` from here on, so a failure below leaves nothing behind.
      V_VT(&out) = VT_ARRAY | VT_VARIANT;
      V_ARRAY(&out) = sa;
      if (!items.empty()) {
        SafeArrayData data(sa);
        auto* elements = static_cast<VARIANT*>(data.get());
        for (std::size_t i = 0; i < items.size(); ++i) to_variant(items[i], elements[i]);
      }
      return;
    }
  }
}

void write_back(VARIANT& arg, const Variant& value) {
  VARIANT* target = &arg;
  while (V_VT(target) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(target) != nullptr) {
    target = V_VARIANTREF(target);
  }
  if ((V_VT(target) & VT_BYREF) != 0 && V_BYREF(target) != nullptr && store_typed(*target, value)) {
    return;
  }
  OwnedVariant fresh;
  to_variant(value, fresh.get());
  VariantClear(target);
  *target = fresh.release();
}

}  // namespace pelmo::com
