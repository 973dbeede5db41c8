#include <gtest/gtest.h>

#include <string>

#include "pelmo/error.h"
#include "pelmo/local_page.h"
#include "pelmo/object.h"
#include "pelmo/text.h"
#include "support/error_of.h"
#include "support/loopback_server.h"
#include "support/memory_platform.h"

namespace pelmo {
namespace {

using testing::expect_automation_error;

constexpr std::int32_t http_error(std::uint32_t curl_code) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(err::kHttpBase) + curl_code);
}

Bytes every_byte_value() {
  Bytes b;
  for (int i = 0; i < 256; ++i) b.push_back(static_cast<std::uint8_t>(i));
  return b;
}

// The fetch needs no page: these objects are never started.
class FetchBody : public ::testing::Test {
 protected:
  void SetUp() override {
    auto& r = server_.routes();
    r.Get("/bin", [](const httplib::Request&, httplib::Response& res) {
      const Bytes b = every_byte_value();
      res.set_content(std::string(b.begin(), b.end()), "application/octet-stream");
    });
    server_.start();
  }

  testing::LoopbackServer server_;
  std::shared_ptr<_zaverer> obj_ = create_object("pelmo.zaverer");
};

TEST_F(FetchBody, BothFetchesGiveTheBodyBytesWithoutAPage) {
  for (auto fetch : {&_zaverer::Tarvessa_GetBody_s, &_zaverer::Tarvessa_GetBody_s_new}) {
    Variant url = text(server_.url16("/bin"));
    const Variant before = url;
    Variant result;
    ((*obj_).*fetch)(url, result);
    EXPECT_EQ(result, Variant::bytes(every_byte_value()));
    EXPECT_EQ(url, before);
  }
}

TEST_F(FetchBody, FailuresLeaveTheResultEmpty) {
  testing::LoopbackSocket closed(false);
  Variant url = text(testing::ascii16("http://127.0.0.1:" + std::to_string(closed.port()) + "/"));
  Variant result = text(u"left over");
  EXPECT_EQ(expect_automation_error([&] { obj_->Tarvessa_GetBody_s_new(url, result); }).number(),
            http_error(7));
  EXPECT_TRUE(result.is_empty());

  // The address is read as text: Null cannot be, an array is the wrong type, Empty is "".
  Variant null = Variant::null();
  EXPECT_EQ(expect_automation_error([&] { obj_->Tarvessa_GetBody_s(null, result); }).number(),
            err::kInvalidUseOfNull);
  Variant array = Variant::array({url});
  EXPECT_EQ(expect_automation_error([&] { obj_->Tarvessa_GetBody_s(array, result); }).number(),
            err::kTypeMismatch);
  Variant empty;
  EXPECT_EQ(expect_automation_error([&] { obj_->Tarvessa_GetBody_s(empty, result); }).number(),
            err::kInvalidCall);
  EXPECT_TRUE(result.is_empty());
}

TEST(FetchScheme, OnlyWebAddressesReachTheClient) {
  auto platform = std::make_shared<testing::MemoryPlatform>();
  auto obj = create_object("pelmo.zaverer", platform);
  obj->OnStartPage(host::make_local_page());
  const std::u16string kWeb[] = {u"http://a.test/", u"HTTPS://a.test/", u"hTtP://a.test/"};
  const std::u16string kRefused[] = {u"file:///etc/hostname",
                                     u"ftp://a.test/",
                                     u"FILE:C:/windows/win.ini",
                                     u"",
                                     u" http://a.test/",
                                     u"\thttp://a.test/",
                                     u"http:/a.test/",
                                     u"http:\\\\a.test/",
                                     u"//a.test/",
                                     u"a.test/",
                                     u"httpx://a.test/",
                                     u"javascript:1//http://"};
  for (const std::u16string& address : kWeb) platform->serve(address, {'o', 'k'});
  for (const std::u16string& address : kRefused) platform->serve(address, {'o', 'k'});
  using Fetch = void (_zaverer::*)(Variant&, Variant&);
  for (Fetch fetch : {&_zaverer::Tarvessa_GetBody_s, &_zaverer::Tarvessa_GetBody_s_new,
                      &_zaverer::Tarvessa_getHTTPPage, &_zaverer::Tarvessa_getHTTPPage_new,
                      &_zaverer::Tarvessa_getHTTPPage_utf, &_zaverer::Tarvessa_getHTTPPage_utf2}) {
    for (const std::u16string& address : kWeb) {
      // The pair-decoded text of _utf then fails in the stream (3001): that is its own rule.
      const int before = platform->fetches();
      Variant url = text(address), result;
      EXPECT_NE(testing::error_of([&] { ((*obj).*fetch)(url, result); }), err::kInvalidCall)
          << to_utf8(address);
      EXPECT_EQ(platform->fetches(), before + 1) << to_utf8(address);
    }
    const int fetched = platform->fetches();
    for (const std::u16string& address : kRefused) {
      Variant url = text(address), result = text(u"old");
      EXPECT_EQ(testing::error_of([&] { ((*obj).*fetch)(url, result); }), err::kInvalidCall)
          << to_utf8(address);
      EXPECT_TRUE(result.is_empty());
    }
    EXPECT_EQ(platform->fetches(), fetched);
  }
  // The listing scraper takes the same road.
  Variant url = text(u"file:///etc/hostname"), city = text(u"bj"), cate = text(u"1"), result;
  Variant page = Variant::integer(1);
  const int fetched = platform->fetches();
  EXPECT_EQ(testing::error_of([&] { obj->D1616_Tuan_Smain(url, city, cate, page, result); }),
            err::kInvalidCall);
  EXPECT_EQ(platform->fetches(), fetched);
}

}  // namespace
}  // namespace pelmo
