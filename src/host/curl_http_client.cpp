#include "host/curl_http_client.h"

#include <curl/curl.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "automation/large_buffers.h"
#include "pelmo/error.h"
#include "pelmo/text.h"
#include "util/address_guard.h"

namespace pelmo::host {

namespace {

[[noreturn]] void throw_curl(CURLcode code, const std::string& what, const std::string& url) {
  const auto number = static_cast<std::int32_t>(static_cast<std::uint32_t>(err::kHttpBase) +
                                                static_cast<std::uint32_t>(code));
  throw AutomationError(number, "HTTP request failed: " + what + " (URL: " + url + ")");
}

void ensure_global_init() {
  // Magic statics make this run once even when the first fetches race.
  static const CURLcode init = curl_global_init(CURL_GLOBAL_DEFAULT);
  if (init != CURLE_OK) throw_curl(init, curl_easy_strerror(init), "");
}

bool is_get(const std::u16string& method) { return lower(method) == u"get"; }

struct EasyDeleter {
  void operator()(CURL* handle) const noexcept { curl_easy_cleanup(handle); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;

// Where the write callback puts the body; the cap is checked before each append.
struct BodySink {
  Bytes* body;
  std::size_t cap;
  CURL* handle;
  bool sized = false;
  bool over_cap = false;
  bool out_of_memory = false;
};

std::size_t append_body(char* data, std::size_t size, std::size_t count, void* user) {
  auto* sink = static_cast<BodySink*>(user);
  const std::size_t n = size * count;
  if (n > sink->cap - sink->body->size()) {
    sink->over_cap = true;
    return 0;  // a short count ends the transfer
  }
  try {
    // The announced length (of the bytes on the wire, so only a hint when compressed) sizes
    // the body once instead of growing it by doubling; the cap bounds what a server can ask.
    if (!sink->sized) {
      sink->sized = true;
      curl_off_t announced = -1;
      if (curl_easy_getinfo(sink->handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) ==
              CURLE_OK &&
          announced > 0) {
        util::reserve_large(*sink->body, std::min(static_cast<std::size_t>(announced), sink->cap));
      }
    }
    auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
    sink->body->insert(sink->body->end(), bytes, bytes + n);
  } catch (const std::bad_alloc&) {
    sink->out_of_memory = true;
    return 0;
  }
  return n;
}

// Every connection libcurl opens passes here first, with the address it is about to connect to
// (after any lookup, so a name cannot hide where it leads) and before any byte is sent.
struct ConnectionJudge {
  CURL* handle;
  util::AddressGuard guard;
  std::optional<util::AddressRefusal> refusal;  // the first refusal, reported if the fetch fails
};

std::optional<util::IpAddress> ip_address_of(const curl_sockaddr& address) {
  util::IpAddress ip;
  if (address.family == AF_INET && address.addrlen >= sizeof(sockaddr_in)) {
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(address.addr);
    std::memcpy(ip.bytes.data(), &v4.sin_addr, 4);
    return ip;
  }
  if (address.family == AF_INET6 && address.addrlen >= sizeof(sockaddr_in6)) {
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address.addr);
    std::memcpy(ip.bytes.data(), &v6.sin6_addr, 16);
    ip.is_v6 = true;
    return ip;
  }
  return std::nullopt;
}

curl_socket_t open_judged_socket(void* user, curlsocktype purpose, curl_sockaddr* address) {
  auto* judge = static_cast<ConnectionJudge*>(user);
  if (purpose != CURLSOCKTYPE_IPCXN) return CURL_SOCKET_BAD;
  try {
    const std::optional<util::IpAddress> ip = ip_address_of(*address);
    if (!ip) {
      judge->refusal = util::AddressRefusal{util::kRefusedAddressCode, "not an IP address"};
      return CURL_SOCKET_BAD;
    }
    // libcurl counts a redirect before it connects for it.
    long redirects = 0;
    curl_easy_getinfo(judge->handle, CURLINFO_REDIRECT_COUNT, &redirects);
    if (auto refusal = judge->guard.judge(*ip, redirects > 0)) {
      if (!judge->refusal) judge->refusal = std::move(refusal);
      return CURL_SOCKET_BAD;
    }
  } catch (const std::bad_alloc&) {
    return CURL_SOCKET_BAD;
  }
  return ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

class CurlHttpClient final : public HttpClient {
 public:
  explicit CurlHttpClient(const HttpLimits& limits) : limits_(limits) {}

  void Open(const std::u16string& method, const std::u16string& url, bool async) override {
    opened_ = false;
    sent_ = false;
    body_.clear();
    if (!is_get(method)) {
      throw_invalid_call("HTTP client: only the GET method is supported, not \"" + to_utf8(method) +
                         "\"");
    }
    if (async) throw_invalid_call("HTTP client: only synchronous requests are supported");
    url_ = to_utf8(url);
    // libcurl takes C strings: a NUL would silently cut the address short.
    if (url_.find('\0') != std::string::npos) {
      throw_curl(CURLE_URL_MALFORMAT, "the URL contains a NUL character", url_);
    }
    opened_ = true;
  }

  void Send() override {
    if (!opened_) throw_invalid_call("HTTP client: Send called before Open");
    ensure_global_init();
    EasyHandle handle(curl_easy_init());
    if (!handle) throw_curl(CURLE_FAILED_INIT, "cannot create a transfer handle", url_);

    Bytes body;
    CURL* h = handle.get();
    BodySink sink{&body, limits_.max_body_bytes, h};
    char error_text[CURL_ERROR_SIZE] = {};
    auto check = [&](CURLcode rc, const char* option) {
      if (rc != CURLE_OK) {
        throw_curl(rc, std::string("cannot set ") + option + ": " + curl_easy_strerror(rc), url_);
      }
    };
    check(curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error_text), "CURLOPT_ERRORBUFFER");
    check(curl_easy_setopt(h, CURLOPT_URL, url_.c_str()), "CURLOPT_URL");
    check(curl_easy_setopt(h, CURLOPT_HTTPGET, 1L), "CURLOPT_HTTPGET");
    check(curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https"), "CURLOPT_PROTOCOLS_STR");
    check(curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https"),
          "CURLOPT_REDIR_PROTOCOLS_STR");
    check(curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L), "CURLOPT_FOLLOWLOCATION");
    check(curl_easy_setopt(h, CURLOPT_MAXREDIRS, limits_.max_redirects), "CURLOPT_MAXREDIRS");
    check(curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L), "CURLOPT_NOSIGNAL");
    check(curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, limits_.connect_timeout_ms),
          "CURLOPT_CONNECTTIMEOUT_MS");
    check(curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, limits_.total_timeout_ms), "CURLOPT_TIMEOUT_MS");
    check(curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, limits_.low_speed_bytes_per_second),
          "CURLOPT_LOW_SPEED_LIMIT");
    check(curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, limits_.low_speed_seconds),
          "CURLOPT_LOW_SPEED_TIME");
    // Refuses early when the server announces an oversized body; the write callback enforces
    // the cap on everything else (chunked, or ended by closing).
    check(curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE,
                           static_cast<curl_off_t>(limits_.max_body_bytes)),
          "CURLOPT_MAXFILESIZE_LARGE");
    // No CURLOPT_ACCEPT_ENCODING: like the Windows client, ask for no content coding, so both
    // return and cap the same bytes, and no decoder stands between a page and the body.
    check(curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, append_body), "CURLOPT_WRITEFUNCTION");
    check(curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink), "CURLOPT_WRITEDATA");
    ConnectionJudge judge{h, util::AddressGuard(limits_.addresses), std::nullopt};
    check(curl_easy_setopt(h, CURLOPT_OPENSOCKETFUNCTION, open_judged_socket),
          "CURLOPT_OPENSOCKETFUNCTION");
    check(curl_easy_setopt(h, CURLOPT_OPENSOCKETDATA, &judge), "CURLOPT_OPENSOCKETDATA");

    const CURLcode rc = curl_easy_perform(h);
    if (sink.over_cap || rc == CURLE_FILESIZE_EXCEEDED) {
      throw_curl(CURLE_FILESIZE_EXCEEDED,
                 "the response body exceeds the limit of " +
                     std::to_string(limits_.max_body_bytes) + " bytes",
                 url_);
    }
    // A refused address ends the attempt as a failed connection; another address of the same
    // name may still have served it.
    if (rc != CURLE_OK && judge.refusal) {
      throw_curl(static_cast<CURLcode>(judge.refusal->code), judge.refusal->why, url_);
    }
    if (sink.out_of_memory) throw_curl(CURLE_OUT_OF_MEMORY, "out of memory for the body", url_);
    if (rc != CURLE_OK) {
      throw_curl(rc, error_text[0] != '\0' ? error_text : curl_easy_strerror(rc), url_);
    }
    long status = 0;
    check(curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status), "CURLINFO_RESPONSE_CODE");
    status_ = static_cast<int>(status);
    body_ = std::move(body);
    sent_ = true;
  }

  int Status() override {
    if (!sent_) throw_invalid_call("HTTP client: no response yet (call Open and Send first)");
    return status_;
  }

  Bytes ResponseBody() override {
    if (!sent_) throw_invalid_call("HTTP client: no response yet (call Open and Send first)");
    return body_;
  }

  Bytes TakeResponseBody() override {
    if (!sent_) throw_invalid_call("HTTP client: no response yet (call Open and Send first)");
    return std::exchange(body_, Bytes());
  }

 private:
  HttpLimits limits_;
  bool opened_ = false;
  bool sent_ = false;
  int status_ = 0;
  std::string url_;
  Bytes body_;
};

}  // namespace

std::unique_ptr<HttpClient> make_curl_http_client() { return make_curl_http_client(HttpLimits{}); }

std::unique_ptr<HttpClient> make_curl_http_client(const HttpLimits& limits) {
  return std::make_unique<CurlHttpClient>(limits);
}

}  // namespace pelmo::host
