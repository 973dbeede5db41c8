#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "host/curl_http_client.h"
#include "pelmo/error.h"
#include "support/loopback_server.h"
#include "util/internal_address.h"

namespace pelmo {
namespace {

using testing::ascii16;
using testing::expect_automation_error;

constexpr std::int32_t http_error(std::uint32_t curl_code) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(err::kHttpBase) + curl_code);
}
constexpr std::uint32_t kUnsupportedProtocol = 1;
constexpr std::uint32_t kMalformedUrl = 3;
constexpr std::uint32_t kCouldNotConnect = 7;
constexpr std::uint32_t kTimedOut = 28;
constexpr std::uint32_t kTooManyRedirects = 47;
constexpr std::uint32_t kBodyTooLarge = 63;

std::string as_string(const Bytes& b) { return std::string(b.begin(), b.end()); }

std::uint32_t crc32(const std::string& data) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : data) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

// A gzip member holding `data` in one stored deflate block (data under 64 KiB).
std::string gzip_stored(const std::string& data) {
  auto le16 = [](std::uint32_t v) { return std::string{char(v & 0xFF), char((v >> 8) & 0xFF)}; };
  auto le32 = [&](std::uint32_t v) { return le16(v & 0xFFFF) + le16(v >> 16); };
  const auto n = static_cast<std::uint32_t>(data.size());
  std::string out("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\xff", 10);
  out += '\x01';  // final block, stored
  out += le16(n) + le16(~n & 0xFFFF) + data;
  return out + le32(crc32(data)) + le32(n);
}

class HttpClient : public ::testing::Test {
 protected:
  void SetUp() override {
    auto& r = server_.routes();
    r.Get("/page", [this](const httplib::Request& req, httplib::Response& res) {
      std::lock_guard lock(seen_mutex_);
      seen_method_ = req.method;
      seen_accept_encoding_ = req.get_header_value("Accept-Encoding");
      res.set_content("hello", "text/plain");
    });
    r.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
      res.status = 404;
      res.set_content("<h1>not here</h1>", "text/html");
    });
    r.Get("/broken", [](const httplib::Request&, httplib::Response& res) {
      res.status = 500;
      res.set_content("server trouble", "text/plain");
    });
    r.Get("/hop",
          [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/page"); });
    r.Get("/loop",
          [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/loop"); });
    r.Get("/to-file", [](const httplib::Request&, httplib::Response& res) {
      res.set_redirect("file:///etc/hostname");
    });
    r.Get("/inside", [this](const httplib::Request&, httplib::Response& res) {
      ++inside_hits_;
      res.set_content("inside", "text/plain");
    });
    r.Get("/hop-out", [this](const httplib::Request&, httplib::Response& res) {
      res.set_redirect(outside_.url("/page"));
    });
    r.Get("/gz", [](const httplib::Request&, httplib::Response& res) {
      // Compressed although nobody asked; not a compressible type, so the server sends it as is.
      res.set_content(gzip_stored("compressed body"), "application/octet-stream");
      res.set_header("Content-Encoding", "gzip");
    });
    r.Get("/exact", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(std::string(1024, 'x'), "text/plain");
    });
    r.Get("/big", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(std::string(4096, 'x'), "text/plain");
    });
    r.Get("/big-chunked", [](const httplib::Request&, httplib::Response& res) {
      res.set_chunked_content_provider("text/plain",
                                       [](std::size_t offset, httplib::DataSink& sink) {
                                         if (offset >= 4096) {
                                           sink.done();
                                         } else {
                                           sink.write(std::string(512, 'x').data(), 512);
                                         }
                                         return true;
                                       });
    });
    r.Get("/stall", [this](const httplib::Request&, httplib::Response& res) {
      server_.stall();
      res.set_content("late", "text/plain");
    });
    r.Get("/trickle", [this](const httplib::Request&, httplib::Response& res) {
      res.set_chunked_content_provider("text/plain",
                                       [this](std::size_t offset, httplib::DataSink& sink) {
                                         if (offset == 0) {
                                           sink.write("x", 1);
                                         } else {
                                           server_.stall();
                                           sink.done();
                                         }
                                         return true;
                                       });
    });
    server_.start();
    // The outside site: a loopback address the tests' policy counts as outside.
    auto& o = outside_.routes();
    o.Get("/page", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("outside", "text/plain");
    });
    o.Get("/to-inside", [this](const httplib::Request&, httplib::Response& res) {
      res.set_redirect(server_.url("/inside"));
    });
    o.Get("/to-inside-name", [this](const httplib::Request&, httplib::Response& res) {
      res.set_redirect("http://bj.localhost:" + std::to_string(server_.port()) + "/inside");
    });
    outside_.start("127.0.0.2");
  }

  Bytes get(const std::string& url, const host::HttpLimits& limits = {}) {
    auto client = host::make_curl_http_client(limits);
    client->Open(u"Get", ascii16(url), false);
    client->Send();
    return client->ResponseBody();
  }

  AutomationError get_fails(const std::string& url, const host::HttpLimits& limits = {}) {
    return expect_automation_error([&] { get(url, limits); });
  }

  // Written by a server worker: the answer reaching the client orders nothing to the language.
  std::string seen_method() {
    std::lock_guard lock(seen_mutex_);
    return seen_method_;
  }
  std::string seen_accept_encoding() {
    std::lock_guard lock(seen_mutex_);
    return seen_accept_encoding_;
  }

  std::mutex seen_mutex_;
  std::string seen_method_;
  std::string seen_accept_encoding_;
  std::atomic<int> inside_hits_{0};
  testing::LoopbackServer server_;  // last, so that its workers have joined before the above go
  testing::LoopbackServer outside_;
};

TEST_F(HttpClient, GetsTheBodyWithAGetInAnyCase) {
  auto client = host::make_curl_http_client();
  client->Open(u"gEt", server_.url16("/page"), false);
  client->Send();
  EXPECT_EQ(as_string(client->ResponseBody()), "hello");
  EXPECT_EQ(as_string(client->ResponseBody()), "hello");      // reading twice gives it again
  EXPECT_EQ(as_string(client->TakeResponseBody()), "hello");  // handed over once, then gone
  EXPECT_EQ(as_string(client->ResponseBody()), "");
  EXPECT_EQ(seen_method(), "GET");
}

TEST_F(HttpClient, ErrorStatusesGiveTheirBodiesAndTheFinalStatusShows) {
  const struct {
    const char* path;
    int status;
    const char* body;
  } cases[] = {{"/page", 200, "hello"},
               {"/hop", 200, "hello"},
               {"/missing", 404, "<h1>not here</h1>"},
               {"/broken", 500, "server trouble"}};
  for (const auto& c : cases) {
    auto client = host::make_curl_http_client();
    client->Open(u"Get", server_.url16(c.path), false);
    EXPECT_EQ(expect_automation_error([&] { client->Status(); }).number(), err::kInvalidCall);
    client->Send();
    EXPECT_EQ(client->Status(), c.status) << c.path;
    EXPECT_EQ(as_string(client->ResponseBody()), c.body) << c.path;
  }
}

TEST_F(HttpClient, RedirectsAreFollowedWithinTheBound) {
  EXPECT_EQ(as_string(get(server_.url("/hop"))), "hello");
  AutomationError loop = get_fails(server_.url("/loop"));
  EXPECT_EQ(loop.number(), http_error(kTooManyRedirects));
  EXPECT_NE(loop.description().find(server_.url("/loop")), std::string::npos);
  // A redirect may not leave http and https either.
  EXPECT_EQ(get_fails(server_.url("/to-file")).number(), http_error(kUnsupportedProtocol));
}

TEST_F(HttpClient, OtherSchemesAreRefusedWithoutATransfer) {
  testing::LoopbackSocket listener(true);
  const std::string port = std::to_string(listener.port());
  for (const std::string scheme : {"file", "ftp", "gopher", "dict"}) {
    const std::string url =
        scheme == "file" ? "file:///etc/hostname" : scheme + "://127.0.0.1:" + port + "/";
    AutomationError e = get_fails(url);
    EXPECT_EQ(e.number(), http_error(kUnsupportedProtocol)) << url;
    EXPECT_NE(e.description().find("\"" + scheme + "\""), std::string::npos) << e.description();
  }
  EXPECT_FALSE(listener.has_pending_connection());
}

TEST_F(HttpClient, RefusedConnectionAndBadAddressesFail) {
  testing::LoopbackSocket closed(false);
  const std::string url = "http://127.0.0.1:" + std::to_string(closed.port()) + "/";
  AutomationError refused = get_fails(url);
  EXPECT_EQ(refused.number(), http_error(kCouldNotConnect));
  EXPECT_NE(refused.description().find(url), std::string::npos) << refused.description();

  EXPECT_EQ(get_fails("").number(), http_error(kMalformedUrl));
  EXPECT_EQ(get_fails("http://").number(), http_error(kMalformedUrl));
  // A NUL would cut the address short; it is refused rather than fetching the prefix.
  auto client = host::make_curl_http_client();
  std::u16string with_nul = server_.url16("/page");
  with_nul += u'\0';
  with_nul += u"x";
  EXPECT_EQ(expect_automation_error([&] { client->Open(u"GET", with_nul, false); }).number(),
            http_error(kMalformedUrl));
}

// As the Windows client: no content coding asked for, and a body compressed unasked comes back
// as the server sent it, so both platforms return (and cap) the same bytes.
TEST_F(HttpClient, AsksForNoCompressionAndReturnsTheBytesSent) {
  EXPECT_EQ(as_string(get(server_.url("/gz"))), gzip_stored("compressed body"));
  get(server_.url("/page"));
  EXPECT_EQ(seen_accept_encoding(), "");
}

TEST_F(HttpClient, BodiesOverTheCapFail) {
  host::HttpLimits limits;
  limits.max_body_bytes = 1024;
  EXPECT_EQ(get(server_.url("/exact"), limits).size(), 1024u);
  for (const char* path : {"/big", "/big-chunked"}) {
    AutomationError e = get_fails(server_.url(path), limits);
    EXPECT_EQ(e.number(), http_error(kBodyTooLarge)) << path;
    EXPECT_NE(e.description().find("1024"), std::string::npos) << e.description();
  }
}

TEST_F(HttpClient, StalledServersTimeOut) {
  host::HttpLimits whole;
  whole.total_timeout_ms = 300;
  EXPECT_EQ(get_fails(server_.url("/stall"), whole).number(), http_error(kTimedOut));

  host::HttpLimits slow;
  slow.low_speed_bytes_per_second = 100;
  slow.low_speed_seconds = 1;
  EXPECT_EQ(get_fails(server_.url("/trickle"), slow).number(), http_error(kTimedOut));
}

TEST_F(HttpClient, OnlySynchronousGetInOrder) {
  auto client = host::make_curl_http_client();
  const std::u16string url = server_.url16("/page");
  EXPECT_EQ(expect_automation_error([&] { client->Send(); }).number(), err::kInvalidCall);
  EXPECT_EQ(expect_automation_error([&] { client->Open(u"POST", url, false); }).number(),
            err::kInvalidCall);
  EXPECT_EQ(expect_automation_error([&] { client->Open(u"GET", url, true); }).number(),
            err::kInvalidCall);
  client->Open(u"GET", url, false);
  EXPECT_EQ(expect_automation_error([&] { client->ResponseBody(); }).number(), err::kInvalidCall);
  EXPECT_TRUE(seen_method().empty());  // nothing was sent by any of these
}

// Played on loopback: 127.0.0.2 is counted as outside, 127.0.0.1 and names under localhost are
// the server's own network.
TEST_F(HttpClient, RedirectsIntoTheServersNetworkAreRefusedUnlessTheFetchBeganThere) {
  const std::string inside_port = std::to_string(server_.port());
  const struct {
    std::string url;
    bool deny;
    std::uint32_t error;  // 0: fetched
    const char* body_or_why;
  } cases[] = {
      {outside_.url("/to-inside"), false, kUnsupportedProtocol, "127.0.0.1 (loopback)"},
      {outside_.url("/to-inside-name"), false, kUnsupportedProtocol, "began outside"},
      {server_.url("/hop"), false, 0, "hello"},
      // Out and back in again: the fetch began inside.
      {server_.url("/hop-out"), false, 0, "outside"},
      {outside_.url("/page"), true, 0, "outside"},
      {server_.url("/inside"), true, kCouldNotConnect, "FetchPrivateAddresses is deny"},
      {"http://bj.localhost:" + inside_port + "/inside", true, kCouldNotConnect, "127.0.0.1"},
      {outside_.url("/to-inside"), true, kUnsupportedProtocol, "redirect refused"},
  };
  for (const auto& c : cases) {
    host::HttpLimits limits;
    limits.addresses.deny_internal = c.deny;
    limits.addresses.counted_as_outside = {util::ipv4_address(127, 0, 0, 2)};
    const std::string label = c.url + (c.deny ? " (deny)" : " (allow)");
    if (c.error == 0) {
      EXPECT_EQ(as_string(get(c.url, limits)), c.body_or_why) << label;
      continue;
    }
    const AutomationError e = get_fails(c.url, limits);
    EXPECT_EQ(e.number(), http_error(c.error)) << label;
    EXPECT_NE(e.description().find(c.body_or_why), std::string::npos) << e.description();
  }
  // The refused fetches never reached the server's own network.
  EXPECT_EQ(inside_hits_, 0);
}

}  // namespace
}  // namespace pelmo
