#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "pelmo/error.h"
#include "pelmo/local_page.h"
#include "pelmo/object.h"
#include "support/loopback_server.h"

namespace pelmo {
namespace {

using testing::expect_automation_error;

constexpr std::int32_t kObjectNotSet = 91;

// Pages in both encodings; "你" is C4 E3 in code page 936 and E4 BD A0 in UTF-8.
class PageFetch : public ::testing::Test {
 protected:
  void SetUp() override {
    auto& r = server_.routes();
    auto serve = [&r](const char* path, int status, std::string body) {
      r.Get(path, [status, body](const httplib::Request&, httplib::Response& res) {
        res.status = status;
        res.set_content(body, "text/html");
      });
    };
    serve("/gb", 200, "<p>\xC4\xE3</p>");
    serve("/utf8", 200, "<p>\xE4\xBD\xA0</p>");
    serve("/missing", 404, "<h1>\xC4\xE3 404</h1>");
    serve("/lone-lead", 200, "A\xC4");
    r.Get("/counted", [this](const httplib::Request&, httplib::Response& res) {
      ++hits_;
      res.set_content("<p>\xC4\xE3</p>", "text/html");
    });
    server_.start();
    started_->OnStartPage(host::make_local_page());
  }

  Variant call(void (_zaverer::*method)(V&, V&), _zaverer& obj, const char* path) {
    Variant url = text(server_.url16(path));
    Variant result;
    (obj.*method)(url, result);
    return result;
  }

  testing::LoopbackServer server_;
  std::atomic<int> hits_ = 0;
  std::shared_ptr<_zaverer> started_ = create_object("pelmo.zaverer");
  std::shared_ptr<_zaverer> unstarted_ = create_object("pelmo.zaverer");
};

TEST_F(PageFetch, Gb2312AndUtf8Pages) {
  EXPECT_EQ(call(&_zaverer::Tarvessa_getHTTPPage, *started_, "/gb"), text(u"<p>\u4F60</p>"));
  EXPECT_EQ(call(&_zaverer::Tarvessa_getHTTPPage, *started_, "/missing"),
            text(u"<h1>\u4F60 404</h1>"));
  EXPECT_EQ(call(&_zaverer::Tarvessa_getHTTPPage_utf2, *started_, "/utf8"), text(u"<p>\u4F60</p>"));
}

TEST_F(PageFetch, PairDecodedPageLeavesThePathAlone) {
  for (auto* obj : {started_.get(), unstarted_.get()}) {
    Variant path = text(server_.url16("/gb"));
    const Variant before = path;
    Variant result;
    obj->Tarvessa_getHTTPPage_new(path, result);
    EXPECT_EQ(result, text(u"<p>\u4F60</p>"));
    EXPECT_EQ(path, before);
  }
}

TEST_F(PageFetch, Utf8OfAPairDecodedPageFailsAfterTheFetch) {
  Variant path = text(server_.url16("/counted"));
  const Variant before = path;
  Variant result = text(u"left over");
  AutomationError e =
      expect_automation_error([&] { started_->Tarvessa_getHTTPPage_utf(path, result); });
  EXPECT_EQ(e.number(), err::kStreamArguments);
  EXPECT_EQ(hits_, 1);
  EXPECT_TRUE(result.is_empty());
  EXPECT_EQ(path, before);
}

TEST_F(PageFetch, StreamDecodingNeedsTheServerObject) {
  for (auto method : {&_zaverer::Tarvessa_getHTTPPage, &_zaverer::Tarvessa_getHTTPPage_utf2,
                      &_zaverer::Tarvessa_getHTTPPage_utf}) {
    AutomationError e = expect_automation_error([&] { call(method, *unstarted_, "/gb"); });
    EXPECT_EQ(e.number(), kObjectNotSet);
  }
  Variant body = Variant::bytes({0xC4, 0xE3});
  Variant cset = text(u"GB2312");
  Variant result;
  EXPECT_EQ(expect_automation_error([&] {
              unstarted_->Tarvessa_BytesToBstr(body, cset, result);
            }).number(),
            kObjectNotSet);
  EXPECT_EQ(call(&_zaverer::Tarvessa_GetBody_s, *unstarted_, "/gb"),
            Variant::bytes({'<', 'p', '>', 0xC4, 0xE3, '<', '/', 'p', '>'}));

  started_->OnEndPage();
  EXPECT_EQ(expect_automation_error([&] {
              call(&_zaverer::Tarvessa_getHTTPPage, *started_, "/gb");
            }).number(),
            kObjectNotSet);
}

TEST_F(PageFetch, InnerFailuresLeaveTheOuterResultEmpty) {
  testing::LoopbackSocket closed(false);
  Variant refused = text(testing::ascii16("http://127.0.0.1:" + std::to_string(closed.port())));
  Variant result = text(u"left over");
  AutomationError e =
      expect_automation_error([&] { started_->Tarvessa_getHTTPPage(refused, result); });
  EXPECT_EQ(e.number(), static_cast<std::int32_t>(static_cast<std::uint32_t>(err::kHttpBase) + 7));
  EXPECT_TRUE(result.is_empty());

  // The pair decoder fails on the page's last byte; the caller's path is untouched.
  Variant path = text(server_.url16("/lone-lead"));
  const Variant before = path;
  result = text(u"left over");
  EXPECT_EQ(
      expect_automation_error([&] { started_->Tarvessa_getHTTPPage_new(path, result); }).number(),
      err::kInvalidCall);
  EXPECT_TRUE(result.is_empty());
  EXPECT_EQ(path, before);

  Variant null = Variant::null();
  EXPECT_EQ(expect_automation_error([&] { started_->Tarvessa_getHTTPPage(null, result); }).number(),
            err::kInvalidUseOfNull);
  EXPECT_TRUE(null.is_null());
}

TEST(StreamDecode, BodiesInANamedCharset) {
  auto obj = create_object("pelmo.zaverer");
  obj->OnStartPage(host::make_local_page());
  Variant body = Variant::bytes({0x41, 0xC4, 0xE3});
  const Variant before = body;
  Variant cset = text(u"gb2312");
  Variant result;
  obj->Tarvessa_BytesToBstr(body, cset, result);
  EXPECT_EQ(result, text(u"A\u4F60"));
  EXPECT_EQ(body, before);
  EXPECT_EQ(cset, text(u"gb2312"));

  // The stream decides a lone lead byte at the end: it becomes a replacement character.
  body = Variant::bytes({0x41, 0xC4});
  obj->Tarvessa_BytesToBstr(body, cset, result);
  EXPECT_EQ(result, text(u"A\uFFFD"));

  cset = text(u"x-unknown");
  AutomationError unknown =
      expect_automation_error([&] { obj->Tarvessa_BytesToBstr(body, cset, result); });
  EXPECT_EQ(unknown.number(), err::kStreamArguments);
  EXPECT_NE(unknown.description().find("x-unknown"), std::string::npos);
  EXPECT_TRUE(result.is_empty());

  Variant page = text(u"<p>already text</p>");
  cset = text(u"UTF-8");
  EXPECT_EQ(
      expect_automation_error([&] { obj->Tarvessa_BytesToBstr(page, cset, result); }).number(),
      err::kStreamArguments);
  Variant null = Variant::null();
  EXPECT_EQ(
      expect_automation_error([&] { obj->Tarvessa_BytesToBstr(body, null, result); }).number(),
      err::kInvalidUseOfNull);
}

}  // namespace
}  // namespace pelmo
