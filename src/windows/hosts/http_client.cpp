// The server-side HTTP client: WinHTTP, the system's HTTP stack for services (no local cache, the
// machine's WinHTTP proxy setting), called synchronously on the page's thread under one deadline
// for the whole fetch. Redirects are followed here rather than by the stack, so that every hop
// is held to that deadline and only http and https addresses are ever asked for. The body is
// read in pieces straight into its buffer and counted, so an answer over the cap is cut off as
// it passes it, whether it announced a length or not.
//
// Every hop's host name is resolved here, and each address judged (see util/address_guard.h)
// before anything is connected to. A plain http hop then connects to the judged address itself
// and sends the name in Host, so no second lookup can lead elsewhere; names under `localhost`
// are the loopback address (RFC 6761), as the system's resolver may not know them. An https hop
// must connect by name for its certificate: the stack's status callback judges the address it
// connects to again, and a fetch whose connection turns out refused fails, its answer unread.
// Behind a proxy configured for WinHTTP the proxy resolves the names, and hops go by name.
#include <winsock2.h>
#include <ws2tcpip.h>
// After the Winsock headers, which must come first.
#include <windows.h>
// After windows.h, which they build on.
#include <shlwapi.h>
#include <winhttp.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "pelmo/error.h"
#include "pelmo/text.h"
#include "util/address_guard.h"
#include "windows/base/dispatch.h"
#include "windows/hosts/windows_hosts.h"

namespace pelmo::host::windows {

namespace {

// The failures this client detects itself, numbered as the Linux client numbers them.
constexpr std::int32_t kUnsupportedScheme = 1;
constexpr std::int32_t kMalformedAddress = 3;
constexpr std::int32_t kPartialBody = 18;
constexpr std::int32_t kTimedOut = 28;
constexpr std::int32_t kTooManyRedirects = 47;
constexpr std::int32_t kBodyTooLarge = 63;
// How much one read asks for: large enough that a big page takes few calls.
constexpr std::size_t kReadPiece = 64 * 1024;
// Wine's stack reports an expired receive time-out as the socket's own error.
constexpr DWORD kSocketTimedOut = 10060;  // WSAETIMEDOUT
// The system's clock and its time-outs may disagree by a tick or two.
constexpr ULONGLONG kTimerSlackMs = 50;

[[noreturn]] void throw_http(std::int32_t code, const std::string& what,
                             const std::u16string& url) {
  const auto number = static_cast<std::int32_t>(static_cast<std::uint32_t>(err::kHttpBase) +
                                                static_cast<std::uint32_t>(code));
  throw AutomationError(number, "HTTP request failed: " + what + " (URL: " + to_utf8(url) + ")");
}

// The scheme of an absolute address, lower case; empty for a relative one.
std::u16string scheme_of(std::u16string_view address) {
  const std::size_t colon = address.find(u':');
  if (colon == std::u16string_view::npos || colon == 0) return {};
  for (std::size_t i = 0; i < colon; ++i) {
    const char16_t c = address[i];
    const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
    const bool other = (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.';
    if (!letter && !(i > 0 && other)) return {};
  }
  return lower(address.substr(0, colon));
}

bool is_web_scheme(std::u16string_view scheme) { return scheme == u"http" || scheme == u"https"; }

std::wstring wide(std::u16string_view s) { return std::wstring(s.begin(), s.end()); }

struct HandleCloser {
  void operator()(void* handle) const noexcept { WinHttpCloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// The stack's own text for one of its error codes, where it has one.
std::string system_text(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                      FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_HMODULE;
  const DWORD n = FormatMessageW(flags, GetModuleHandleW(L"winhttp.dll"), code, 0,
                                 reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::u16string message;
  if (n != 0 && text != nullptr) message.assign(text, text + n);
  LocalFree(text);
  while (!message.empty() && (message.back() == u'\n' || message.back() == u'\r' ||
                              message.back() == u' ' || message.back() == u'.')) {
    message.pop_back();
  }
  return message.empty() ? "system error " + std::to_string(code) : to_utf8(message);
}

// A Content-Length value: its number (anything past `cap` as cap + 1); nothing when there is none
// or it is not a plain number.
std::optional<std::size_t> announced_length(std::u16string_view text, std::size_t cap) {
  const std::u16string digits = trim_spaces(std::u16string(text));
  if (digits.empty()) return std::nullopt;
  std::size_t length = 0;
  for (const char16_t c : digits) {
    if (c < u'0' || c > u'9') return std::nullopt;
    length = std::min(length * 10 + static_cast<std::size_t>(c - u'0'), cap + 1);
  }
  return length;
}

// `localhost` and the names under it, which name the loopback address wherever they are used.
bool is_localhost_name(std::wstring_view host) {
  std::u16string name = lower(std::u16string(host.begin(), host.end()));
  if (!name.empty() && name.back() == u'.') name.pop_back();
  return name == u"localhost" || name.ends_with(u".localhost");
}

std::optional<util::IpAddress> ip_address_of(const sockaddr* address) {
  util::IpAddress ip;
  if (address->sa_family == AF_INET) {
    std::memcpy(ip.bytes.data(), &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, 4);
    return ip;
  }
  if (address->sa_family == AF_INET6) {
    std::memcpy(ip.bytes.data(), &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, 16);
    ip.is_v6 = true;
    return ip;
  }
  return std::nullopt;
}

// The addresses a name or an address literal stands for; the system's error code on failure.
DWORD resolve_name(const std::wstring& host, std::vector<util::IpAddress>& addresses) {
  static const int started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data);
  }();
  if (started != 0) return static_cast<DWORD>(started);
  ADDRINFOW hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  ADDRINFOW* found = nullptr;
  if (GetAddrInfoW(host.c_str(), nullptr, &hints, &found) != 0) {
    return ERROR_WINHTTP_NAME_NOT_RESOLVED;
  }
  for (const ADDRINFOW* a = found; a != nullptr; a = a->ai_next) {
    if (const auto ip = ip_address_of(a->ai_addr)) addresses.push_back(*ip);
  }
  FreeAddrInfoW(found);
  return addresses.empty() ? ERROR_WINHTTP_NAME_NOT_RESOLVED : ERROR_SUCCESS;
}

std::wstring address_literal(const util::IpAddress& ip) {
  wchar_t text[64] = {};
  InetNtopW(ip.is_v6 ? AF_INET6 : AF_INET, ip.bytes.data(), text, std::size(text));
  return text;
}

// Whether the machine's WinHTTP setting sends requests through a named proxy.
bool uses_named_proxy() {
  WINHTTP_PROXY_INFO proxy{};
  if (!WinHttpGetDefaultProxyConfiguration(&proxy)) return false;
  if (proxy.lpszProxy != nullptr) GlobalFree(proxy.lpszProxy);
  if (proxy.lpszProxyBypass != nullptr) GlobalFree(proxy.lpszProxyBypass);
  return proxy.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY;
}

// What the status callback of an https hop needs: the fetch's guard, and where it leaves a
// refusal for the hop to report.
struct ConnectionJudge {
  util::AddressGuard* guard;
  bool redirected;
  std::optional<util::AddressRefusal> refusal;
};

void CALLBACK judge_connection(HINTERNET, DWORD_PTR context, DWORD status, void* information,
                               DWORD) {
  if (status != WINHTTP_CALLBACK_STATUS_CONNECTING_TO_SERVER || context == 0 ||
      information == nullptr) {
    return;
  }
  auto* judge = reinterpret_cast<ConnectionJudge*>(context);
  try {
    std::vector<util::IpAddress> addresses;
    if (resolve_name(static_cast<const wchar_t*>(information), addresses) != ERROR_SUCCESS) {
      judge->refusal = util::AddressRefusal{util::kRefusedAddressCode, "an unreadable address"};
      return;
    }
    for (const util::IpAddress& ip : addresses) {
      if (auto refusal = judge->guard->judge(ip, judge->redirected); refusal && !judge->refusal) {
        judge->refusal = std::move(refusal);
      }
    }
  } catch (const std::bad_alloc&) {
    judge->refusal = util::AddressRefusal{util::kRefusedAddressCode, "out of memory"};
  }
}

class ServerHttpClient final : public HttpClient {
 public:
  ServerHttpClient(Handle session, const HttpLimits& limits)
      : session_(std::move(session)), limits_(limits) {}

  void Open(const std::u16string& method, const std::u16string& url, bool async) override {
    opened_ = false;
    status_ = 0;
    body_.clear();
    if (lower(method) != u"get") {
      throw_invalid_call("HTTP client: only the GET method is supported, not \"" + to_utf8(method) +
                         "\"");
    }
    if (async) throw_invalid_call("HTTP client: only synchronous requests are supported");
    url_ = url;
    opened_ = true;
  }

  void Send() override {
    if (!opened_) throw_invalid_call("HTTP client: Send called before Open");
    if (!is_web_scheme(scheme_of(url_))) {
      throw_http(kUnsupportedScheme, "only http and https addresses are fetched", url_);
    }
    deadline_ = GetTickCount64() + static_cast<ULONGLONG>(limits_.total_timeout_ms);
    std::u16string address = url_;
    util::AddressGuard guard(limits_.addresses);
    const bool proxied = uses_named_proxy();
    for (long redirects = 0;; ++redirects) {
      Handle connection, request;
      send_request(address, guard, redirects > 0, proxied, connection, request);
      const int status = query_status(request.get());
      const std::u16string location = status >= 300 && status <= 399 && status != 304
                                          ? header(request.get(), WINHTTP_QUERY_LOCATION)
                                          : std::u16string();
      if (location.empty()) {
        body_ = read_body(request.get());
        status_ = status;
        return;
      }
      if (redirects == limits_.max_redirects) {
        throw_http(kTooManyRedirects,
                   "more than " + std::to_string(limits_.max_redirects) + " redirects", url_);
      }
      address = resolve(address, location);
    }
  }

  Bytes ResponseBody() override { return body_; }
  Bytes TakeResponseBody() override { return std::exchange(body_, Bytes()); }
  int Status() override { return status_; }

 private:
  [[noreturn]] void throw_system(const char* step, DWORD code) {
    if (code == ERROR_NOT_ENOUGH_MEMORY || code == ERROR_OUTOFMEMORY) throw std::bad_alloc();
    if (code == ERROR_WINHTTP_TIMEOUT || code == kSocketTimedOut) {
      // The time-outs are set to what was left: one that ends at the deadline is the deadline.
      if (GetTickCount64() + kTimerSlackMs >= deadline_) throw_deadline();
      throw_http(kTimedOut,
                 "no data for " + std::to_string(limits_.low_speed_seconds) + " s while " + step,
                 url_);
    }
    throw AutomationError(static_cast<std::int32_t>(HRESULT_FROM_WIN32(code)),
                          "HTTP request failed: " + std::string(step) + ": " + system_text(code) +
                              " (URL: " + to_utf8(url_) + ")");
  }

  void check(BOOL ok, const char* step) {
    if (!ok) throw_system(step, GetLastError());
  }

  [[noreturn]] void throw_deadline() {
    throw_http(kTimedOut,
               "no complete answer within " + std::to_string(limits_.total_timeout_ms) + " ms",
               url_);
  }

  // Milliseconds left before the deadline; the fetch fails once there are none.
  DWORD time_left() {
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline_) throw_deadline();
    return static_cast<DWORD>(deadline_ - now);
  }

  // Each wait of the next step ends by the deadline; connecting also by the connect time-out,
  // and waiting for data by the quiet time a stalled transfer is given.
  void bound_waits(HINTERNET request) {
    const DWORD left = time_left();
    const auto within = [left](long ms) {
      return static_cast<int>(std::min(left, static_cast<DWORD>(std::max(ms, 1L))));
    };
    const int all = within(limits_.total_timeout_ms);
    check(WinHttpSetTimeouts(request, all, within(limits_.connect_timeout_ms), all,
                             within(limits_.low_speed_seconds * 1000)),
          "setting time-outs");
    DWORD answer = left;
    check(
        WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &answer, sizeof answer),
        "setting the time-out for the answer");
  }

  [[noreturn]] void throw_refused(const util::AddressRefusal& refusal) {
    throw_http(refusal.code, refusal.why, url_);
  }

  // Where a hop connects: the judged address for plain http, the name for https or through a
  // proxy; refused when the name leads only to addresses the guard refuses.
  std::wstring connect_host(const std::wstring& host, bool secure, bool proxied,
                            util::AddressGuard& guard, bool redirected) {
    if (proxied) return host;
    std::vector<util::IpAddress> addresses;
    if (is_localhost_name(host)) {
      addresses.push_back(util::ipv4_address(127, 0, 0, 1));
    } else if (const DWORD code = resolve_name(host, addresses); code != ERROR_SUCCESS) {
      throw_system("resolving the name", code);
    }
    // IPv4 first: the loopback site of the tests, and the address most servers answer on.
    std::stable_partition(addresses.begin(), addresses.end(),
                          [](const util::IpAddress& ip) { return !ip.is_v6; });
    std::optional<util::AddressRefusal> first_refusal;
    std::optional<util::IpAddress> chosen;
    for (const util::IpAddress& ip : addresses) {
      auto refusal = guard.judge(ip, redirected);
      if (!refusal && !chosen) chosen = ip;
      if (refusal && !first_refusal) first_refusal = std::move(refusal);
    }
    // The stack may take any address of the name: each must pass.
    if (first_refusal && (secure || !chosen)) throw_refused(*first_refusal);
    if (secure) return is_localhost_name(host) ? std::wstring(L"localhost") : host;
    return address_literal(*chosen);
  }

  void send_request(const std::u16string& address, util::AddressGuard& guard, bool redirected,
                    bool proxied, Handle& connection, Handle& request) {
    if (address.find(u'\0') != std::u16string::npos) {
      throw_http(kMalformedAddress, "the URL contains a NUL character", url_);
    }
    const std::wstring url = wide(address);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength = ~DWORD{0};
    parts.dwExtraInfoLength = ~DWORD{0};
    check(WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts),
          "reading the URL");
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    // The path and the query, as the request line carries them; the fragment stays here.
    std::wstring target(parts.lpszUrlPath, parts.dwUrlPathLength);
    target.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (const std::size_t hash = target.find(L'#'); hash != std::wstring::npos) {
      target.resize(hash);
    }
    if (target.empty()) target = L"/";

    const bool is_https = parts.nScheme == INTERNET_SCHEME_HTTPS;
    const std::wstring server = connect_host(host, is_https, proxied, guard, redirected);
    connection.reset(WinHttpConnect(session_.get(), server.c_str(), parts.nPort, 0));
    check(connection != nullptr, "connecting");
    const DWORD secure = is_https ? WINHTTP_FLAG_SECURE : 0;
    request.reset(WinHttpOpenRequest(connection.get(), L"GET", target.c_str(), nullptr,
                                     WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, secure));
    check(request != nullptr, "opening the request");
    DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    check(WinHttpSetOption(request.get(), WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof never),
          "turning off the stack's own redirects");
    if (server != host) {
      // Connected by address: the request still names the host (and a port not the scheme's).
      std::wstring name = L"Host: " + host;
      if (parts.nPort != (is_https ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT)) {
        name += L":" + std::to_wstring(parts.nPort);
      }
      check(WinHttpAddRequestHeaders(request.get(), name.c_str(), static_cast<DWORD>(name.size()),
                                     WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE),
            "naming the host");
    }
    ConnectionJudge judge{&guard, redirected, std::nullopt};
    if (is_https && !proxied) {
      auto context = reinterpret_cast<DWORD_PTR>(&judge);
      check(WinHttpSetOption(request.get(), WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context),
            "setting the request's context");
      check(WinHttpSetStatusCallback(request.get(), judge_connection,
                                     WINHTTP_CALLBACK_FLAG_CONNECT_TO_SERVER,
                                     0) != WINHTTP_INVALID_STATUS_CALLBACK,
            "watching the connection");
    }
    bound_waits(request.get());
    const BOOL sent = WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                                         WINHTTP_NO_REQUEST_DATA, 0, 0, 0);
    if (judge.refusal) throw_refused(*judge.refusal);
    check(sent, "sending the request");
    bound_waits(request.get());
    check(WinHttpReceiveResponse(request.get(), nullptr), "receiving the answer");
    if (judge.refusal) throw_refused(*judge.refusal);
  }

  int query_status(HINTERNET request) {
    DWORD status = 0;
    DWORD size = sizeof status;
    check(
        WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                            WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX),
        "reading the status");
    return static_cast<int>(status);
  }

  // A response header's text; empty when the answer has none.
  std::u16string header(HINTERNET request, DWORD which) {
    DWORD size = 0;
    WinHttpQueryHeaders(request, which, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER,
                        &size, WINHTTP_NO_HEADER_INDEX);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return {};
    std::wstring text(size / sizeof(wchar_t), L'\0');
    check(WinHttpQueryHeaders(request, which, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &size,
                              WINHTTP_NO_HEADER_INDEX),
          "reading a header");
    text.resize(size / sizeof(wchar_t));
    return std::u16string(text.begin(), text.end());
  }

  // Where a redirect leads: the Location read against the address that gave it. Another
  // scheme is refused here, before anything is asked of it.
  std::u16string resolve(const std::u16string& from, const std::u16string& location) {
    const std::u16string scheme = scheme_of(location);
    if (!scheme.empty() && !is_web_scheme(scheme)) {
      throw_http(kUnsupportedScheme, "redirected to a " + to_utf8(scheme) + " address", url_);
    }
    const std::wstring base = wide(from), relative = wide(location);
    std::wstring combined(base.size() + relative.size() + 16, L'\0');
    auto size = static_cast<DWORD>(combined.size());
    HRESULT hr = UrlCombineW(base.c_str(), relative.c_str(), combined.data(), &size, 0);
    if (hr == E_POINTER) {  // `size` now says how much it takes
      combined.assign(size + 1, L'\0');
      size = static_cast<DWORD>(combined.size());
      hr = UrlCombineW(base.c_str(), relative.c_str(), combined.data(), &size, 0);
    }
    if (FAILED(hr)) throw_failure(hr, u"HTTP client: a redirect to an unreadable address");
    combined.resize(size);
    std::u16string next(combined.begin(), combined.end());
    if (!is_web_scheme(scheme_of(next))) {
      throw_http(kUnsupportedScheme, "redirected away from http and https", url_);
    }
    return next;
  }

  Bytes read_body(HINTERNET request) {
    const std::size_t cap = limits_.max_body_bytes;
    const std::optional<std::size_t> length =
        announced_length(header(request, WINHTTP_QUERY_CONTENT_LENGTH), cap);
    if (length && *length > cap) throw_body_too_large();
    Bytes body;
    if (length) body.reserve(*length);
    for (;;) {
      bound_waits(request);
      // Never more than one byte past the cap is asked for: that byte is what tells.
      const std::size_t want = std::min(kReadPiece, cap + 1 - body.size());
      const std::size_t had = body.size();
      body.resize(had + want);
      DWORD got = 0;
      check(WinHttpReadData(request, body.data() + had, static_cast<DWORD>(want), &got),
            "reading the body");
      body.resize(had + got);
      if (body.size() > cap) throw_body_too_large();
      if (got == 0) break;
    }
    if (length && body.size() < *length) {
      throw_http(kPartialBody,
                 "the connection closed after " + std::to_string(body.size()) + " of " +
                     std::to_string(*length) + " announced bytes",
                 url_);
    }
    return body;
  }

  [[noreturn]] void throw_body_too_large() {
    throw_http(kBodyTooLarge,
               "the response body exceeds the limit of " + std::to_string(limits_.max_body_bytes) +
                   " bytes",
               url_);
  }

  Handle session_;
  HttpLimits limits_;
  bool opened_ = false;
  int status_ = 0;
  ULONGLONG deadline_ = 0;
  std::u16string url_;
  Bytes body_;
};

}  // namespace

std::unique_ptr<HttpClient> make_server_http_client(const HttpLimits& limits) {
  // No user agent, as the Linux client sends none; the proxy is the machine's WinHTTP setting.
  Handle session(WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                             WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) {
    const DWORD code = GetLastError();
    if (code == ERROR_NOT_ENOUGH_MEMORY || code == ERROR_OUTOFMEMORY) throw std::bad_alloc();
    throw AutomationError(
        static_cast<std::int32_t>(HRESULT_FROM_WIN32(code)),
        "HTTP client: the system's HTTP stack cannot be opened: " + system_text(code));
  }
  return std::make_unique<ServerHttpClient>(std::move(session), limits);
}

}  // namespace pelmo::host::windows
