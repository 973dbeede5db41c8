#include "windows/base/variant_convert.h"

#include <cstring>
#include <new>
#include <optional>
#include <type_traits>

#include "pelmo/convert.h"
#include "pelmo/error.h"

namespace pelmo::com {

namespace {

// Objects handing out objects as their default value: stop before a cycle runs away.
constexpr int kMaxDefaultValueDepth = 8;
// Arrays inside arrays and references to references: deep enough for any list a page builds,
// shallow enough that hostile nesting or a reference to itself ends as a type mismatch.
constexpr int kMaxNesting = 64;
constexpr int kMaxReferenceHops = 16;

// How deep the reading of one argument is: arrays opened and default values asked for.
struct Depth {
  int nesting = 0;
  int default_values = 0;
  Depth inner_array() const {
    if (nesting + 1 >= kMaxNesting) throw_type_mismatch();
    return {nesting + 1, default_values};
  }
};

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

// The array's elements are what the caller's type says, in size and in how the system copies
// them (strings, interfaces, variants, records): anything else would be copied past the member
// that receives it, or freed twice. The copy flags present must be among `allowed` and include
// one of `required` (0: none needed, for elements read in place).
void expect_layout(SAFEARRAY* sa, std::size_t element_size, USHORT allowed, USHORT required) {
  constexpr USHORT kKinds = FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH | FADF_VARIANT | FADF_RECORD;
  const USHORT kinds = sa->fFeatures & kKinds;
  if (SafeArrayGetElemsize(sa) != element_size || (kinds & ~allowed) != 0 ||
      (required != 0 && (kinds & required) == 0)) {
    throw_type_mismatch();
  }
}

Variant from_variant_at(const VARIANT& v, Depth depth);

// One element of a typed array, read into a member of its own type and handed on as a VARIANT
// of that type.
template <typename T>
Variant read_element(SAFEARRAY* sa, LONG index, VARTYPE type, Depth depth, USHORT kind = 0) {
  expect_layout(sa, sizeof(T), kind, kind);
  T value{};
  if (FAILED(SafeArrayGetElement(sa, &index, &value))) throw_type_mismatch();
  OwnedVariant element;
  if constexpr (std::is_same_v<T, DECIMAL>) {
    V_DECIMAL(&element.get()) = value;  // overlaps the type field: set that afterwards
  } else {
    std::memcpy(&V_UI1(&element.get()), &value, sizeof value);
  }
  V_VT(&element.get()) = type;  // the element (a string, an interface) is the VARIANT's now
  return from_variant_at(element.get(), depth);
}

Variant typed_array_element(SAFEARRAY* sa, LONG index, VARTYPE type, Depth depth) {
  switch (type) {
    case VT_I2:
      return read_element<SHORT>(sa, index, type, depth);
    case VT_I4:
    case VT_ERROR:
      return read_element<LONG>(sa, index, type, depth);
    case VT_R4:
      return read_element<FLOAT>(sa, index, type, depth);
    case VT_R8:
    case VT_DATE:
      return read_element<DOUBLE>(sa, index, type, depth);
    case VT_CY:
      return read_element<CY>(sa, index, type, depth);
    case VT_BSTR:
      return read_element<BSTR>(sa, index, type, depth, FADF_BSTR);
    case VT_BOOL:
      return read_element<VARIANT_BOOL>(sa, index, type, depth);
    case VT_DECIMAL:
      return read_element<DECIMAL>(sa, index, type, depth);
    case VT_I1:
      return read_element<CHAR>(sa, index, type, depth);
    case VT_UI2:
      return read_element<USHORT>(sa, index, type, depth);
    case VT_UI4:
      return read_element<ULONG>(sa, index, type, depth);
    case VT_I8:
      return read_element<LONGLONG>(sa, index, type, depth);
    case VT_UI8:
      return read_element<ULONGLONG>(sa, index, type, depth);
    case VT_INT:
      return read_element<INT>(sa, index, type, depth);
    case VT_UINT:
      return read_element<UINT>(sa, index, type, depth);
    case VT_DISPATCH:
      return read_element<IDispatch*>(sa, index, type, depth, FADF_DISPATCH | FADF_UNKNOWN);
    case VT_UNKNOWN:
      return read_element<IUnknown*>(sa, index, type, depth, FADF_UNKNOWN);
    default:  // records and anything else
      throw_type_mismatch();
  }
}

Variant from_safearray(SAFEARRAY* sa, VARTYPE element_type, Depth depth) {
  if (element_type == VT_UI1) {
    if (sa == nullptr) return Variant::bytes({});
    const std::size_t n = element_count(sa);
    expect_layout(sa, 1, 0, 0);
    Bytes bytes(n);
    SafeArrayData data(sa);
    if (n != 0) std::memcpy(bytes.data(), data.get(), n);
    return Variant::bytes(std::move(bytes));
  }
  if (sa == nullptr) return Variant::array({});
  const Depth inner = depth.inner_array();
  const std::size_t n = element_count(sa);
  VariantArray items;
  items.reserve(n);
  if (element_type == VT_VARIANT) {
    expect_layout(sa, sizeof(VARIANT), FADF_VARIANT, 0);
    SafeArrayData data(sa);
    const auto* elements = static_cast<const VARIANT*>(data.get());
    for (std::size_t i = 0; i < n; ++i) items.push_back(from_variant_at(elements[i], inner));
    return Variant::array(std::move(items));
  }
  // Typed arrays (of strings, numbers) from compiled clients: element by element.
  LONG lower = 0;
  SafeArrayGetLBound(sa, 1, &lower);
  for (std::size_t i = 0; i < n; ++i) {
    items.push_back(typed_array_element(sa, lower + static_cast<LONG>(i), element_type, inner));
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
  return from_variant_at(converted.get(), Depth{});
}

Variant default_value(IDispatch* object, Depth depth) {
  if (object == nullptr || depth.default_values >= kMaxDefaultValueDepth) throw_type_mismatch();
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  OwnedVariant value;
  const HRESULT hr =
      object->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT,
                     DISPATCH_PROPERTYGET | DISPATCH_METHOD, &none, &value.get(), nullptr, nullptr);
  if (FAILED(hr)) throw_type_mismatch();
  ++depth.default_values;
  return from_variant_at(value.get(), depth);
}

// Where a chain of VT_BYREF|VT_VARIANT ends: the caller's own variable.
const VARIANT* referenced(const VARIANT* v) {
  for (int hops = 0; V_VT(v) == (VT_BYREF | VT_VARIANT); ++hops) {
    if (hops == kMaxReferenceHops || V_VARIANTREF(v) == nullptr) throw_type_mismatch();
    v = V_VARIANTREF(v);
  }
  return v;
}

Variant from_variant_at(const VARIANT& in, Depth depth) {
  const VARIANT* v = referenced(&in);
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

// The value as it crosses into a typed slot between text and number: in the component's own
// invariant form ("2.5", "1E+20", "True"), as the rest of the component reads and writes them,
// never in the user's number format (a decimal comma would turn "2.5" into 25). Anything else
// crosses as it is (nothing returned). Fails (13, 94) when the value has no such form.
std::optional<Variant> crossing_form(VARTYPE slot, const Variant& value) {
  if (slot == VT_BSTR) {
    if (value.is_string()) return std::nullopt;
    return Variant::string(to_text(value));
  }
  if (!value.is_string()) return std::nullopt;
  switch (slot) {
    case VT_BOOL:
      return Variant::boolean(to_truth(value));
    case VT_I2:
    case VT_I4:
    case VT_R8:
    case VT_UI1:
    case VT_R4:
    case VT_CY:
      return Variant::number(to_number(value));
    default:  // a date's text is read in the user's format, as it was written
      return std::nullopt;
  }
}

// Converts into a typed by-reference slot. False when the slot's type is not one the
// component writes, or the value does not convert to it.
bool store_typed(VARIANT& slot, const Variant& value) {
  const auto type = static_cast<VARTYPE>(V_VT(&slot) & ~VT_BYREF);
  OwnedVariant fresh;
  if ((type & VT_ARRAY) != 0) {
    to_variant(value, fresh.get());
    if (V_VT(&fresh.get()) != type) return false;
    SAFEARRAY** target = V_ARRAYREF(&slot);
    if (*target != nullptr) SafeArrayDestroy(*target);
    *target = V_ARRAY(&fresh.get());
    V_VT(&fresh.get()) = VT_EMPTY;
    return true;
  }
  switch (type) {
    case VT_BSTR:
    case VT_I2:
    case VT_I4:
    case VT_R8:
    case VT_BOOL:
    case VT_UI1:
    case VT_R4:
    case VT_CY:
    case VT_DATE:
      break;
    default:
      return false;
  }
  try {
    const std::optional<Variant> crossing = crossing_form(type, value);
    to_variant(crossing ? *crossing : value, fresh.get());
  } catch (const AutomationError&) {
    return false;
  }
  // What is left is between numbers (range and rounding) or a date's text: no number format.
  OwnedVariant converted;
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
    case VT_UI1:
      *V_UI1REF(&slot) = V_UI1(&converted.get());
      break;
    case VT_R4:
      *V_R4REF(&slot) = V_R4(&converted.get());
      break;
    case VT_CY:
      *V_CYREF(&slot) = V_CY(&converted.get());
      break;
    case VT_DATE:
      *V_DATEREF(&slot) = V_DATE(&converted.get());
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

Variant from_variant(const VARIANT& v) { return from_variant_at(v, Depth{}); }

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
  for (int hops = 0; V_VT(target) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(target) != nullptr;
       ++hops) {
    if (hops == kMaxReferenceHops) throw_type_mismatch();
    target = V_VARIANTREF(target);
  }
  if ((V_VT(target) & VT_BYREF) != 0 && V_BYREF(target) != nullptr) {
    // The caller's typed variable keeps its value when it cannot take this one, and the call
    // says so rather than pretend the value arrived.
    if (!store_typed(*target, value)) throw_type_mismatch();
    return;
  }
  OwnedVariant fresh;
  to_variant(value, fresh.get());
  VariantClear(target);
  *target = fresh.release();
}

}  // namespace pelmo::com
