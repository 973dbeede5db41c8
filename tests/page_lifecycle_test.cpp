#include <gtest/gtest.h>

#include "component/zaverer_object.h"
#include "pelmo/error.h"
#include "pelmo/local_page.h"

namespace pelmo {
namespace {

// A context whose objects the test can watch; `missing` names a property that gives nothing.
class WatchedContext final : public host::ScriptingContext {
 public:
  struct Request final : host::RequestObject {
    Variant ServerVariables(std::u16string_view name) override {
      return name == u"REQUEST_METHOD" ? text(u"POST") : Variant();
    }
  };
  struct Server final : host::ServerObject {
    std::unique_ptr<host::Stream> CreateObject(std::u16string_view) override {
      throw AutomationError(429, "no streams here");
    }
  };

  std::shared_ptr<host::PageObject> Application() override {
    return give(application, "Application");
  }
  std::shared_ptr<host::RequestObject> Request() override { return give(request, "Request"); }
  std::shared_ptr<host::PageObject> Response() override { return give(response, "Response"); }
  std::shared_ptr<host::ServerObject> Server() override { return give(server, "Server"); }
  std::shared_ptr<host::PageObject> Session() override { return give(session, "Session"); }

  std::string missing;
  std::shared_ptr<host::PageObject> application = std::make_shared<host::PageObject>();
  std::shared_ptr<host::RequestObject> request = std::make_shared<struct Request>();
  std::shared_ptr<host::PageObject> response = std::make_shared<host::PageObject>();
  std::shared_ptr<host::ServerObject> server = std::make_shared<struct Server>();
  std::shared_ptr<host::PageObject> session = std::make_shared<host::PageObject>();

 private:
  template <typename T>
  std::shared_ptr<T> give(const std::shared_ptr<T>& object, const std::string& name) {
    return name == missing ? nullptr : object;
  }
};

TEST(PageLifecycle, StartHoldsAndEndReleasesAllSix) {
  ZavererObject obj(host::default_platform());
  auto context = std::make_shared<WatchedContext>();
  std::weak_ptr<WatchedContext> watch_context = context;
  std::weak_ptr<host::ServerObject> watch_server = context->server;
  obj.OnStartPage(context);
  EXPECT_TRUE(obj.started());
  context->server.reset();
  context.reset();
  EXPECT_FALSE(watch_context.expired());  // held by the object for the page's life
  EXPECT_FALSE(watch_server.expired());
  obj.OnEndPage();
  EXPECT_FALSE(obj.started());
  EXPECT_TRUE(watch_context.expired());
  EXPECT_TRUE(watch_server.expired());
  obj.OnStartPage(host::make_local_page());  // usable for the next page
  EXPECT_TRUE(obj.started());
}

TEST(PageLifecycle, FailureAtOneStepKeepsWhatWasStoredBefore) {
  ZavererObject obj(host::default_platform());
  auto context = std::make_shared<WatchedContext>();
  context->missing = "Server";
  EXPECT_THROW(obj.OnStartPage(context), AutomationError);
  EXPECT_FALSE(obj.started());
  // Request came before Server, so the object holds it; Server-bound methods still fail.
  Variant body = Variant::bytes({0x41}), charset = text(u"UTF-8"), result = text(u"stale");
  try {
    obj.Tarvessa_BytesToBstr(body, charset, result);
    ADD_FAILURE() << "decoding needs the Server object";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 91);
  }
  EXPECT_TRUE(result.is_empty());
}

TEST(PageLifecycle, ServerBoundMethodsFailWithoutAPageAndOthersWork) {
  ZavererObject obj(host::default_platform());
  Variant body = Variant::bytes({0x41}), charset = text(u"UTF-8"), result;
  EXPECT_THROW(obj.Tarvessa_BytesToBstr(body, charset, result), AutomationError);
  EXPECT_TRUE(result.is_empty());
  Variant s = text(u" a ");
  obj.Str4Null(s, result);
  EXPECT_EQ(result, text(u"a"));
}

TEST(PageLifecycle, HostErrorsReachTheCallerWithTheirOwnNumber) {
  ZavererObject obj(host::default_platform());
  obj.OnStartPage(std::make_shared<WatchedContext>());
  Variant body = Variant::bytes({0x41}), charset = text(u"UTF-8"), result;
  try {
    obj.Tarvessa_BytesToBstr(body, charset, result);
    ADD_FAILURE() << "the page's Server refuses to create streams";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 429);
  }
}

}  // namespace
}  // namespace pelmo
