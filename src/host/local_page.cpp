#include "pelmo/local_page.h"

#include <utility>

#include "host/icu_stream.h"
#include "pelmo/error.h"
#include "pelmo/text.h"

namespace pelmo::host {

namespace {

bool equal_ignoring_ascii_case(std::u16string_view a, std::u16string_view b) {
  auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

class InertObject final : public PageObject {};

class LocalRequest final : public RequestObject {
 public:
  explicit LocalRequest(std::u16string method) : method_(std::move(method)) {}

  Variant ServerVariables(std::u16string_view name) override {
    if (equal_ignoring_ascii_case(name, u"REQUEST_METHOD")) return Variant::string(method_);
    return Variant();
  }

 private:
  std::u16string method_;
};

class LocalServer final : public ServerObject {
 public:
  std::unique_ptr<Stream> CreateObject(std::u16string_view progid) override {
    if (equal_ignoring_ascii_case(progid, u"adodb.stream")) return make_icu_stream();
    throw AutomationError(429,
                          "ActiveX component can't create object: \"" + to_utf8(progid) + "\"");
  }
};

// Each property read gives the same object for the life of the page.
class LocalContext final : public ScriptingContext {
 public:
  explicit LocalContext(std::u16string method)
      : application_(std::make_shared<InertObject>()),
        request_(std::make_shared<LocalRequest>(std::move(method))),
        response_(std::make_shared<InertObject>()),
        server_(std::make_shared<LocalServer>()),
        session_(std::make_shared<InertObject>()) {}

  std::shared_ptr<PageObject> Application() override { return application_; }
  std::shared_ptr<RequestObject> Request() override { return request_; }
  std::shared_ptr<PageObject> Response() override { return response_; }
  std::shared_ptr<ServerObject> Server() override { return server_; }
  std::shared_ptr<PageObject> Session() override { return session_; }

 private:
  std::shared_ptr<PageObject> application_;
  std::shared_ptr<RequestObject> request_;
  std::shared_ptr<PageObject> response_;
  std::shared_ptr<ServerObject> server_;
  std::shared_ptr<PageObject> session_;
};

}  // namespace

std::shared_ptr<ScriptingContext> make_local_page(std::u16string request_method) {
  return std::make_shared<LocalContext>(std::move(request_method));
}

}  // namespace pelmo::host
