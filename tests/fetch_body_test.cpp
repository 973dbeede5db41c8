#include <gtest/gtest.h>

#include <string>

#include "pelmo/error.h"
#include "pelmo/object.h"
#include "support/loopback_server.h"

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
            http_error(3));
  EXPECT_TRUE(result.is_empty());
}

}  // namespace
}  // namespace pelmo
