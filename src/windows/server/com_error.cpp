#include "windows/server/com_error.h"

#include "pelmo/identity.h"
#include "pelmo/text.h"
#include "windows/base/com_ref.h"
#include "windows/base/variant_convert.h"

namespace pelmo::com {

namespace {

const std::u16string& source_name() {
  static const std::u16string name = from_utf8(identity::kProgId);
  return name;
}

BSTR bstr_or_null(std::u16string_view s) {
  return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(s.data()), static_cast<UINT>(s.size()));
}

}  // namespace

HRESULT hresult_for(std::int32_t number) {
  if (number > 0 && number <= 0xFFFF) {
    return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, static_cast<unsigned>(number));
  }
  const auto hr = static_cast<HRESULT>(number);
  return FAILED(hr) ? hr : E_FAIL;
}

HRESULT raise(const Failure& failure, REFIID iid) {
  ComRef<ICreateErrorInfo> create;
  if (SUCCEEDED(CreateErrorInfo(create.put()))) {
    const std::wstring description = to_wide(failure.description);
    const std::wstring source = to_wide(source_name());
    create->SetGUID(iid);
    create->SetSource(const_cast<LPOLESTR>(source.c_str()));
    create->SetDescription(const_cast<LPOLESTR>(description.c_str()));
    ComRef<IErrorInfo> info;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(info.put())))) {
      SetErrorInfo(0, info.get());
    }
  }
  return failure.hr;
}

void fill_excepinfo(EXCEPINFO& info, const Failure& failure) {
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);
  SysFreeString(info.bstrHelpFile);
  info = EXCEPINFO{};
  info.scode = failure.hr;
  info.bstrSource = bstr_or_null(source_name());
  info.bstrDescription = bstr_or_null(failure.description);
}

}  // namespace pelmo::com
