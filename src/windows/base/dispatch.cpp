#include "windows/base/dispatch.h"

#include <dispex.h>

#include <algorithm>
#include <vector>

#include "pelmo/error.h"
#include "pelmo/text.h"
#include "windows/base/identity_guids.h"

namespace pelmo::host::windows {

namespace {

// Not in the import libraries of every toolchain.
constexpr IID kIidDispatchEx = com::guid_from_text("{A6EF9860-C720-11D0-9337-00A0C90DCAA9}");

std::u16string hex_hresult(HRESULT hr) {
  constexpr char16_t kHex[] = u"0123456789ABCDEF";
  const auto value = static_cast<std::uint32_t>(hr);
  std::u16string out = u"0x";
  for (int shift = 28; shift >= 0; shift -= 4) out.push_back(kHex[(value >> shift) & 0xF]);
  return out;
}

std::u16string wide_name(const wchar_t* member) {
  return member == nullptr ? u"(default)" : com::from_wide(member);
}

// The number and text a failed Invoke reports: the exception's own when it raised one.
[[noreturn]] void throw_invoke_failure(HRESULT hr, EXCEPINFO& info, std::u16string context) {
  if (hr == DISP_E_EXCEPTION) {
    if (info.pfnDeferredFillIn != nullptr) info.pfnDeferredFillIn(&info);
    HRESULT raised = info.scode != 0   ? info.scode
                     : info.wCode != 0 ? MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, info.wCode)
                                       : E_FAIL;
    std::u16string description =
        info.bstrDescription != nullptr && SysStringLen(info.bstrDescription) != 0
            ? com::from_wide(
                  std::wstring_view(info.bstrDescription, SysStringLen(info.bstrDescription)))
            : context;
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    throw_failure(raised, std::move(description));
  }
  throw_failure(hr, std::move(context));
}

}  // namespace

std::int32_t error_number(HRESULT hr) {
  if (HRESULT_FACILITY(hr) == FACILITY_CONTROL && FAILED(hr)) return HRESULT_CODE(hr);
  return static_cast<std::int32_t>(hr);
}

void throw_failure(HRESULT hr, std::u16string description) {
  throw AutomationError(error_number(hr), to_utf8(description));
}

DISPID DispatchObject::id_of(const wchar_t* member) {
  if (member == nullptr) return DISPID_VALUE;
  DISPID id = DISPID_UNKNOWN;
  auto* name = const_cast<LPOLESTR>(member);
  HRESULT hr = object_->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) {
    // Objects of a script engine may answer names only through IDispatchEx.
    ComRef<IDispatchEx> expando;
    if (SUCCEEDED(
            object_->QueryInterface(kIidDispatchEx, reinterpret_cast<void**>(expando.put())))) {
      OwnedBstr wanted(com::from_wide(member));
      const HRESULT ex = expando->GetDispID(wanted.get(), fdexNameCaseInsensitive, &id);
      if (SUCCEEDED(ex)) return id;
    }
  }
  if (FAILED(hr)) {
    throw_failure(hr,
                  what_ + u" has no member " + wide_name(member) + u" (" + hex_hresult(hr) + u")");
  }
  return id;
}

OwnedVariant DispatchObject::invoke(DISPID id, const wchar_t* member, WORD flags,
                                    std::initializer_list<VARIANT> args, bool property_put) {
  // Positional arguments travel last first.
  std::vector<VARIANT> reversed(args.begin(), args.end());
  std::reverse(reversed.begin(), reversed.end());
  DISPID put_id = DISPID_PROPERTYPUT;
  DISPPARAMS params = {reversed.data(), property_put ? &put_id : nullptr,
                       static_cast<UINT>(reversed.size()), property_put ? 1u : 0u};
  OwnedVariant result;
  EXCEPINFO info = {};
  UINT bad_argument = 0;
  const HRESULT hr = object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                     property_put ? nullptr : &result.get(), &info, &bad_argument);
  if (FAILED(hr)) {
    throw_invoke_failure(hr, info,
                         what_ + u"." + wide_name(member) + u" failed (" + hex_hresult(hr) + u")");
  }
  return result;
}

OwnedVariant DispatchObject::call(const wchar_t* member, std::initializer_list<VARIANT> args) {
  return invoke(id_of(member), member, DISPATCH_METHOD, args, false);
}

OwnedVariant DispatchObject::get(const wchar_t* member, std::initializer_list<VARIANT> args) {
  return invoke(id_of(member), member, DISPATCH_PROPERTYGET | DISPATCH_METHOD, args, false);
}

OwnedVariant DispatchObject::get_default(std::initializer_list<VARIANT> args) {
  return invoke(DISPID_VALUE, nullptr, DISPATCH_PROPERTYGET | DISPATCH_METHOD, args, false);
}

void DispatchObject::put(const wchar_t* member, const VARIANT& value) {
  invoke(id_of(member), member, DISPATCH_PROPERTYPUT, {value}, true);
}

ComRef<IDispatch> object_of(const VARIANT& v, std::u16string_view what) {
  const VARIANT* value = &v;
  while (V_VT(value) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(value) != nullptr) {
    value = V_VARIANTREF(value);
  }
  IUnknown* unknown = nullptr;
  switch (V_VT(value)) {
    case VT_DISPATCH:
      unknown = V_DISPATCH(value);
      break;
    case VT_UNKNOWN:
      unknown = V_UNKNOWN(value);
      break;
    case VT_DISPATCH | VT_BYREF:
      unknown = *V_DISPATCHREF(value);
      break;
    case VT_UNKNOWN | VT_BYREF:
      unknown = *V_UNKNOWNREF(value);
      break;
    default:
      break;
  }
  ComRef<IDispatch> object;
  if (unknown == nullptr ||
      FAILED(unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(object.put())))) {
    throw AutomationError(424, "Object required: " + to_utf8(what));
  }
  return object;
}

ComRef<IDispatch> create_by_clsid(const CLSID& clsid, std::u16string_view what) {
  ComRef<IDispatch> object;
  const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                      IID_IDispatch, reinterpret_cast<void**>(object.put()));
  if (FAILED(hr)) {
    throw AutomationError(429, "ActiveX component can't create object: " + to_utf8(what) + " (" +
                                   to_utf8(hex_hresult(hr)) + ")");
  }
  return object;
}

VARIANT bstr_arg(BSTR b) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = b;
  return v;
}

VARIANT bool_arg(bool b) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_BOOL;
  V_BOOL(&v) = b ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

VARIANT long_arg(std::int32_t n) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_I4;
  V_I4(&v) = n;
  return v;
}

OwnedBstr::OwnedBstr(std::u16string_view s) : b_(com::make_bstr(s)) {}

}  // namespace pelmo::host::windows
