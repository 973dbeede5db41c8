#include "windows/server/com_error.h"

#include "pelmo/identity.h"
#include "windows/base/com_ref.h"

namespace pelmo::com {

namespace {

constexpr char16_t kSource[] = u"pelmo.zaverer";
constexpr char16_t kOutOfMemoryText[] = u"Out of memory";
constexpr std::int32_t kOutOfMemory = 7;

constexpr bool same_ascii(std::u16string_view wide, std::string_view narrow) {
  if (wide.size() != narrow.size()) return false;
  for (std::size_t i = 0; i < wide.size(); ++i) {
    if (wide[i] != static_cast<char16_t>(narrow[i])) return false;
  }
  return true;
}
static_assert(same_ascii(kSource, identity::kProgId), "the error source is the ProgID");

BSTR bstr_or_null(std::u16string_view s) noexcept {
  return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(s.data()), static_cast<UINT>(s.size()));
}

LPOLESTR ole_text(std::u16string_view zero_terminated) noexcept {
  return const_cast<LPOLESTR>(reinterpret_cast<const OLECHAR*>(zero_terminated.data()));
}

}  // namespace

std::u16string_view Failure::text() const noexcept {
  return out_of_memory ? std::u16string_view(kOutOfMemoryText) : std::u16string_view(description);
}

Failure out_of_memory_failure() noexcept { return {hresult_for(kOutOfMemory), {}, true}; }

HRESULT hresult_for(std::int32_t number) noexcept {
  if (number > 0 && number <= 0xFFFF) {
    return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, static_cast<unsigned>(number));
  }
  const auto hr = static_cast<HRESULT>(number);
  return FAILED(hr) ? hr : E_FAIL;
}

HRESULT raise(const Failure& failure, REFIID iid) noexcept {
  ComRef<ICreateErrorInfo> create;
  if (SUCCEEDED(CreateErrorInfo(create.put()))) {
    create->SetGUID(iid);
    create->SetSource(ole_text(kSource));
    create->SetDescription(ole_text(failure.text()));
    ComRef<IErrorInfo> info;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(info.put())))) {
      SetErrorInfo(0, info.get());
    }
  }
  return failure.hr;
}

void fill_excepinfo(EXCEPINFO& info, const Failure& failure) noexcept {
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);
  SysFreeString(info.bstrHelpFile);
  info = EXCEPINFO{};
  info.scode = failure.hr;
  info.bstrSource = bstr_or_null(kSource);
  info.bstrDescription = bstr_or_null(failure.text());
}

}  // namespace pelmo::com
