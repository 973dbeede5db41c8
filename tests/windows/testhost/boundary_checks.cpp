// What a compiled client can hand the module that no script can: typed arrays of every element
// type, arrays nested without end, references to themselves, typed variables that cannot take
// a write-back. None may corrupt memory or hang; each reads as its value or fails with 13.
#include <objbase.h>

#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "calling.h"
#include "modes.h"
#include "pelmo/error.h"
#include "windows/page/page_context.h"

namespace pelmo::testhost {

using page::make_page;
using page::make_text_object;
using page::PageLog;
using page::PageSettings;

namespace {

// A one-element vector of `type` holding `element` (copied in by SafeArrayPutElement).
SAFEARRAY* vector_of(VARTYPE type, void* element) {
  SAFEARRAY* sa = SafeArrayCreateVector(type, 0, 1);
  LONG index = 0;
  if (sa != nullptr) SafeArrayPutElement(sa, &index, element);
  return sa;
}

// The value the conversion reads, or "13" for a type mismatch, as text for the table.
std::string read_as(const VARIANT& v) {
  try {
    std::ostringstream out;
    out << com::from_variant(v);
    return out.str();
  } catch (const AutomationError& e) {
    return std::to_string(e.number());
  }
}

VARIANT array_variant(VARTYPE type, SAFEARRAY* sa) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = static_cast<VARTYPE>(VT_ARRAY | type);
  V_ARRAY(&v) = sa;
  return v;
}

// Arrays of one variant inside each other, `depth` deep, the innermost holding 1.
VARIANT nested(int depth) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_I4;
  V_I4(&v) = 1;
  for (int i = 0; i < depth; ++i) {
    SAFEARRAY* sa = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    void* data = nullptr;
    SafeArrayAccessData(sa, &data);
    *static_cast<VARIANT*>(data) = v;  // moved in: the new array owns it
    SafeArrayUnaccessData(sa);
    v = array_variant(VT_VARIANT, sa);
  }
  return v;
}

void check_typed_arrays(Checks& checks) {
  DECIMAL decimal{};
  VARIANT from;
  VariantInit(&from);
  V_VT(&from) = VT_R8;
  V_R8(&from) = 12.5;
  VARIANT as_decimal;
  VariantInit(&as_decimal);
  VariantChangeType(&as_decimal, &from, 0, VT_DECIMAL);
  decimal = V_DECIMAL(&as_decimal);
  short small = 7;
  float single = 0.5F;
  CY currency{};
  currency.int64 = 25000;  // 2.5
  LONGLONG wide = 40000;
  BSTR text = SysAllocString(L"x");
  IDispatch* object = make_text_object(L"dflt");
  IUnknown* unknown = nullptr;
  object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown));
  DECIMAL decimals[2] = {decimal, decimal};

  struct Row {
    const char* what;
    std::function<VARIANT()> make;
    std::string expected;
  };
  const std::vector<Row> rows = {
      {"VT_I2 elements", [&] { return array_variant(VT_I2, vector_of(VT_I2, &small)); },
       "Array(Integer 7)"},
      {"VT_R4 elements", [&] { return array_variant(VT_R4, vector_of(VT_R4, &single)); },
       "Array(Double 0.5)"},
      {"VT_CY elements", [&] { return array_variant(VT_CY, vector_of(VT_CY, &currency)); },
       "Array(Double 2.5)"},
      {"VT_I8 elements", [&] { return array_variant(VT_I8, vector_of(VT_I8, &wide)); },
       "Array(Double 40000)"},
      {"VT_BSTR elements", [&] { return array_variant(VT_BSTR, vector_of(VT_BSTR, text)); },
       "Array(String \"x\")"},
      {"VT_DECIMAL elements read as their number",
       [&] {
         SAFEARRAY* sa = SafeArrayCreateVector(VT_DECIMAL, 0, 2);
         void* data = nullptr;
         SafeArrayAccessData(sa, &data);
         std::memcpy(data, decimals, sizeof decimals);
         SafeArrayUnaccessData(sa);
         return array_variant(VT_DECIMAL, sa);
       },
       "Array(Double 12.5, Double 12.5)"},
      {"VT_DISPATCH elements read as their default value",
       [&] { return array_variant(VT_DISPATCH, vector_of(VT_DISPATCH, object)); },
       "Array(String \"dflt\")"},
      {"VT_UNKNOWN elements: 13",
       [&] { return array_variant(VT_UNKNOWN, vector_of(VT_UNKNOWN, unknown)); }, "13"},
      {"VT_RECORD elements: 13",
       [&] { return array_variant(VT_RECORD, SafeArrayCreateVector(VT_I4, 0, 1)); }, "13"},
      // The VARIANT's type and the array's layout disagree: sixteen-byte elements would be
      // copied over an eight-byte member.
      {"VT_I2 claimed over decimal elements: 13",
       [&] { return array_variant(VT_I2, vector_of(VT_DECIMAL, &decimal)); }, "13"},
      {"VT_I4 claimed over string elements: 13",
       [&] { return array_variant(VT_I4, vector_of(VT_BSTR, text)); }, "13"},
      {"arrays nested 20 deep read", [] { return nested(20); }, ""},
      {"arrays nested 1000 deep: 13", [] { return nested(1000); }, "13"},
  };
  for (const Row& row : rows) {
    VARIANT v = row.make();
    const std::string got = read_as(v);
    VariantClear(&v);
    const bool ok = row.expected.empty() ? got.rfind("Array(Array(", 0) == 0 : got == row.expected;
    checks.check(ok, std::string(row.what) + (ok ? "" : ": got " + got));
  }
  VariantClear(&as_decimal);
  SysFreeString(text);
  unknown->Release();
  object->Release();

  VARIANT self;
  VariantInit(&self);
  V_VT(&self) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&self) = &self;
  checks.check(read_as(self) == "13", "a VT_BYREF|VT_VARIANT that points at itself: 13");
}

// The same arguments through the module: the caller sees 13 and its variables intact.
void check_through_module(Checks& checks, IDispatch* object) {
  OwnedVariant result;
  Variables decimal_list(1);
  {
    DECIMAL d{};
    d.Lo32 = 5;
    SAFEARRAY* sa = SafeArrayCreateVector(VT_DECIMAL, 0, 3);
    void* data = nullptr;
    SafeArrayAccessData(sa, &data);
    for (int i = 0; i < 3; ++i) static_cast<DECIMAL*>(data)[i] = d;
    SafeArrayUnaccessData(sa);
    decimal_list[0] = array_variant(VT_DECIMAL, sa);
  }
  Outcome a = invoke(object, L"Str4Null", decimal_list, result.get());
  checks.check(a.number == 13 && V_VT(&decimal_list[0]) == (VT_ARRAY | VT_DECIMAL),
               "a decimal array argument: 13, the caller's array intact");

  Variables deep(1);
  deep[0] = nested(1000);
  Outcome b = invoke(object, L"Str4Null", deep, result.get());
  checks.check(b.number == 13, "an argument nested 1000 deep: 13");

  VARIANT self;
  VariantInit(&self);
  V_VT(&self) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&self) = &self;
  DISPID id = 0;
  wchar_t name[] = L"Str4Null";
  LPOLESTR names[] = {name};
  object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  DISPPARAMS params = {&self, nullptr, 1, 0};
  EXCEPINFO info = {};
  const HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                    &result.get(), &info, nullptr);
  checks.check(hr == DISP_E_EXCEPTION && script_number(info.scode) == 13,
               "an argument that refers to itself: 13, no endless loop");
  SysFreeString(info.bstrDescription);
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrHelpFile);

  // A Byte() variable cannot hold the byte string the method stores back: the method ran, and
  // the call fails with 13 rather than report a write-back that did not happen.
  SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, 3);
  void* data = nullptr;
  SafeArrayAccessData(bytes, &data);
  std::memcpy(data, "\xC4\xE3\x41", 3);
  SafeArrayUnaccessData(bytes);
  VARIANT typed;
  VariantInit(&typed);
  V_VT(&typed) = VT_BYREF | VT_ARRAY | VT_UI1;
  V_ARRAYREF(&typed) = &bytes;
  wchar_t convert_name[] = L"Tarvessa_BytesToBstr_new";
  names[0] = convert_name;
  object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  params = {&typed, nullptr, 1, 0};
  info = {};
  const HRESULT refused = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                         &params, &result.get(), &info, nullptr);
  LONG upper = -1;
  SafeArrayGetUBound(bytes, 1, &upper);
  checks.check(refused == DISP_E_EXCEPTION && script_number(info.scode) == 13 && upper == 2 &&
                   V_VT(&result.get()) == VT_EMPTY,
               "a Byte() variable that cannot take the write-back: 13, the bytes unchanged");
  SysFreeString(info.bstrDescription);
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrHelpFile);
  SafeArrayDestroy(bytes);

  // A Single variable can: it takes the number in its own type.
  float single = 0.0F;
  VARIANT number;
  VariantInit(&number);
  V_VT(&number) = VT_BYREF | VT_R4;
  V_R4REF(&number) = &single;
  wchar_t fnum_name[] = L"Bint";
  names[0] = fnum_name;
  object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  single = 2.0F;
  params = {&number, nullptr, 1, 0};
  const HRESULT kept = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                      &result.get(), nullptr, nullptr);
  checks.check(kept == S_OK && single == 2.0F, "Bint on a Single variable succeeds and keeps it");
}

// One item of the user's number format, changed while it lives.
struct UserNumberFormat {
  LCTYPE item;
  wchar_t saved[8] = L"";
  UserNumberFormat(LCTYPE changed, const wchar_t* value) : item(changed) {
    GetLocaleInfoW(LOCALE_USER_DEFAULT, item, saved, 8);
    SetLocaleInfoW(LOCALE_USER_DEFAULT, item, value);
  }
  ~UserNumberFormat() { SetLocaleInfoW(LOCALE_USER_DEFAULT, item, saved); }
};

// Numbers written into typed variables cross as the component's own text, whatever the user's
// number format (here a decimal comma and a thousands point, as the web server's account may
// have it): a Double into a String variable, a number's text back into a Double.
void check_write_backs_in_comma_locale(Checks& checks, IDispatch* object) {
  const UserNumberFormat comma(LOCALE_SDECIMAL, L","), point(LOCALE_STHOUSAND, L".");
  BSTR system = nullptr;  // unless the system itself now writes a comma, nothing is proved
  VarBstrFromR8(2.5, LOCALE_USER_DEFAULT, 0, &system);
  const bool in_effect = system != nullptr && std::wstring(system) == L"2,5";
  SysFreeString(system);
  if (!checks.check(in_effect, "the user's number format writes 2.5 as 2,5")) return;

  BSTR text = SysAllocString(L"before");
  VARIANT slot{};
  V_VT(&slot) = VT_BYREF | VT_BSTR;
  V_BSTRREF(&slot) = &text;
  com::write_back(slot, Variant::number(2.5));
  checks.check(
      std::wstring(text) == L"2.5",
      "a Double written into a String variable reads 2.5, got " + utf8(com::from_wide(text)));
  SysFreeString(text);

  // Bint writes its argument's trimmed text back: into a Double variable as the same number.
  double number = 2.5;
  Variables vars(1);
  V_VT(&vars[0]) = VT_BYREF | VT_R8;
  V_R8REF(&vars[0]) = &number;
  OwnedVariant result;
  const Outcome bint = invoke(object, L"Bint", vars, result.get());
  checks.check(bint.hr == S_OK && number == 2.5,
               "Bint on a Double variable of 2.5 leaves it 2.5 (got " + std::to_string(number) +
                   ", error " + std::to_string(bint.number) + ")");
}

}  // namespace

void check_boundary(Checks& checks, IDispatch* object) {
  check_typed_arrays(checks);
  check_through_module(checks, object);
  check_write_backs_in_comma_locale(checks, object);
}

}  // namespace pelmo::testhost
