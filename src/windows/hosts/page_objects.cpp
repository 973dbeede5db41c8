// The page's objects as the component reads them from the ScriptingContext: each property and
// call by member name, so any automation object with those members can stand in for the web
// server's own.
#include <string>
#include <utility>

#include "pelmo/error.h"
#include "windows/base/dispatch.h"
#include "windows/hosts/stream.h"
#include "windows/hosts/windows_hosts.h"

namespace pelmo::host::windows {

namespace {

// Application, Response and Session: held for the page, never called.
class HeldObject final : public PageObject {
 public:
  explicit HeldObject(ComRef<IDispatch> object) : object_(std::move(object)) {}

 private:
  ComRef<IDispatch> object_;
};

class Request final : public RequestObject {
 public:
  explicit Request(ComRef<IDispatch> object) : request_(std::move(object), u"Request") {}

  // Request.ServerVariables(name): the collection, then its default member with the name,
  // then that item's default value (the web server hands out a list object, not the text).
  Variant ServerVariables(std::u16string_view name) override {
    OwnedVariant collection = request_.get(L"ServerVariables");
    DispatchObject variables(object_of(collection.get(), u"Request.ServerVariables"),
                             u"Request.ServerVariables");
    OwnedBstr key(name);
    OwnedVariant item = variables.get_default({bstr_arg(key.get())});
    return com::from_variant(item.get());
  }

 private:
  DispatchObject request_;
};

class Server final : public ServerObject {
 public:
  explicit Server(ComRef<IDispatch> object) : server_(std::move(object), u"Server") {}

  std::unique_ptr<Stream> CreateObject(std::u16string_view progid) override {
    OwnedBstr name(progid);
    OwnedVariant created = server_.call(L"CreateObject", {bstr_arg(name.get())});
    const std::u16string what(progid);
    return make_dispatch_stream(object_of(created.get(), what), what);
  }

 private:
  DispatchObject server_;
};

class Context final : public ScriptingContext {
 public:
  explicit Context(ComRef<IDispatch> object) : context_(std::move(object), u"ScriptingContext") {}

  std::shared_ptr<PageObject> Application() override {
    return std::make_shared<HeldObject>(read(L"Application", u"Application"));
  }
  std::shared_ptr<RequestObject> Request() override {
    return std::make_shared<windows::Request>(read(L"Request", u"Request"));
  }
  std::shared_ptr<PageObject> Response() override {
    return std::make_shared<HeldObject>(read(L"Response", u"Response"));
  }
  std::shared_ptr<ServerObject> Server() override {
    return std::make_shared<windows::Server>(read(L"Server", u"Server"));
  }
  std::shared_ptr<PageObject> Session() override {
    return std::make_shared<HeldObject>(read(L"Session", u"Session"));
  }

 private:
  ComRef<IDispatch> read(const wchar_t* member, std::u16string_view what) {
    OwnedVariant value = context_.get(member);
    return object_of(value.get(), what);
  }

  DispatchObject context_;
};

}  // namespace

std::shared_ptr<ScriptingContext> make_scripting_context(IUnknown* context) {
  ComRef<IDispatch> object;
  if (context == nullptr ||
      FAILED(context->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(object.put())))) {
    throw AutomationError(err::kNoInterface,
                          "The page context cannot be driven by name (no IDispatch)");
  }
  return std::make_shared<Context>(std::move(object));
}

}  // namespace pelmo::host::windows
