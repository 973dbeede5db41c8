// The HTTP client the system provides under the ProgID "MSXML2.XMLHTTP", driven by name.
#include <objbase.h>

#include "pelmo/convert.h"
#include "pelmo/error.h"
#include "windows/base/dispatch.h"
#include "windows/hosts/windows_hosts.h"

namespace pelmo::host::windows {

namespace {

constexpr std::u16string_view kProgId = u"MSXML2.XMLHTTP";

class XmlHttpClient final : public HttpClient {
 public:
  explicit XmlHttpClient(ComRef<IDispatch> object)
      : client_(std::move(object), std::u16string(kProgId)) {}

  void Open(const std::u16string& method, const std::u16string& url, bool async,
            const std::u16string& user, const std::u16string& password) override {
    OwnedBstr m(method), u(url), n(user), p(password);
    client_.call(L"Open", {bstr_arg(m.get()), bstr_arg(u.get()), bool_arg(async), bstr_arg(n.get()),
                           bstr_arg(p.get())});
  }

  void Send() override { client_.call(L"Send"); }

  int Status() override {
    OwnedVariant status = client_.get(L"Status");
    return static_cast<int>(to_number(com::from_variant(status.get())));
  }

  Bytes ResponseBody() override {
    OwnedVariant body = client_.get(L"ResponseBody");
    const Variant value = com::from_variant(body.get());
    if (value.is_empty()) return {};
    if (value.type() != VarType::Bytes) throw_type_mismatch();
    return value.as_bytes();
  }

 private:
  DispatchObject client_;
};

}  // namespace

std::unique_ptr<HttpClient> make_xmlhttp_client() {
  const std::wstring progid = com::to_wide(kProgId);
  CLSID clsid{};
  if (FAILED(CLSIDFromProgID(progid.c_str(), &clsid))) {
    throw AutomationError(429, "ActiveX component can't create object: MSXML2.XMLHTTP");
  }
  return std::make_unique<XmlHttpClient>(create_by_clsid(clsid, kProgId));
}

}  // namespace pelmo::host::windows
