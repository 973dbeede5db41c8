#include "calling.h"

#include "pelmo/identity.h"
#include "pelmo/text.h"

namespace pelmo::testhost {

ComRef<IDispatch> create_zaverer() {
  ComRef<IDispatch> object;
  CLSID clsid{};
  const std::wstring progid = wide(identity::kProgId);
  if (SUCCEEDED(CLSIDFromProgID(progid.c_str(), &clsid))) {
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                     reinterpret_cast<void**>(object.put()));
  }
  return object;
}

std::int32_t script_number(HRESULT hr) {
  if (HRESULT_FACILITY(hr) == FACILITY_CONTROL) return HRESULT_CODE(hr);
  return static_cast<std::int32_t>(hr);
}

Outcome invoke(IDispatch* object, const std::wstring& method, Variables& vars, VARIANT& result,
               bool by_value) {
  Outcome outcome;
  DISPID id = DISPID_UNKNOWN;
  auto* name = const_cast<LPOLESTR>(method.c_str());
  outcome.hr = object->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(outcome.hr)) {
    outcome.number = script_number(outcome.hr);
    return outcome;
  }
  // Arguments travel last first.
  std::vector<VARIANT> args(vars.size());
  for (std::size_t i = 0; i < vars.size(); ++i) {
    VARIANT& arg = args[vars.size() - 1 - i];
    VariantInit(&arg);
    if (by_value) {
      VariantCopy(&arg, &vars[i]);
    } else {
      V_VT(&arg) = VT_BYREF | VT_VARIANT;
      V_VARIANTREF(&arg) = &vars[i];
    }
  }
  DISPPARAMS params = {args.data(), nullptr, static_cast<UINT>(args.size()), 0};
  EXCEPINFO info = {};
  UINT bad = 0;
  VariantClear(&result);
  outcome.hr =
      object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                     &params, &result, &info, &bad);
  if (by_value) {
    for (VARIANT& arg : args) VariantClear(&arg);
  }
  if (outcome.hr == DISP_E_EXCEPTION) {
    if (info.pfnDeferredFillIn != nullptr) info.pfnDeferredFillIn(&info);
    outcome.number = script_number(info.scode != 0 ? info.scode : info.wCode);
    if (info.bstrDescription != nullptr) {
      outcome.description = com::from_wide(info.bstrDescription);
    }
    if (info.bstrSource != nullptr) outcome.source = com::from_wide(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrHelpFile);
  } else if (FAILED(outcome.hr)) {
    outcome.number = script_number(outcome.hr);
  }
  return outcome;
}

std::string utf8(std::u16string_view s) { return to_utf8(s); }

std::wstring wide(std::string_view ascii) { return std::wstring(ascii.begin(), ascii.end()); }

}  // namespace pelmo::testhost
