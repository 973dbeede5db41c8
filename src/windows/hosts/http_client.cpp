// The system's server-side HTTP client, "MSXML2.ServerXMLHTTP.6.0", driven by name. It runs on
// the server stack (no local cache, meant for use inside a server process) and takes time-outs;
// the limits that client leaves open are enforced here: the request runs asynchronously under
// one deadline for the whole fetch (aborted when it passes), a body announced or found over the
// cap fails the fetch, and a redirect the client did not follow (another scheme, or past its
// bound of 10) fails it as well.
#include <objbase.h>

#include <string>

#include "pelmo/error.h"
#include "pelmo/text.h"
#include "windows/base/dispatch.h"
#include "windows/hosts/windows_hosts.h"

namespace pelmo::host::windows {

namespace {

constexpr std::u16string_view kProgId = u"MSXML2.ServerXMLHTTP.6.0";
constexpr long kReadyStateHeadersReceived = 2;
constexpr long kReadyStateDone = 4;
// The failures this client detects itself, numbered as the Linux client numbers them.
constexpr std::int32_t kUnsupportedScheme = 1;
constexpr std::int32_t kCouldNotConnect = 7;
constexpr std::int32_t kTimedOut = 28;
constexpr std::int32_t kTooManyRedirects = 47;
constexpr std::int32_t kBodyTooLarge = 63;

[[noreturn]] void throw_http(std::int32_t code, const std::string& what,
                             const std::u16string& url) {
  const auto number = static_cast<std::int32_t>(static_cast<std::uint32_t>(err::kHttpBase) +
                                                static_cast<std::uint32_t>(code));
  throw AutomationError(number, "HTTP request failed: " + what + " (URL: " + to_utf8(url) + ")");
}

long as_long(const OwnedVariant& v) {
  const Variant value = com::from_variant(v.get());
  switch (value.type()) {
    case VarType::Integer:
      return value.as_integer();
    case VarType::Long:
      return value.as_long();
    case VarType::Double:
      return static_cast<long>(value.as_double());
    default:
      throw_type_mismatch();
  }
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

// Runs this thread's messages for up to `milliseconds`: where the client cannot wait itself,
// its asynchronous completion arrives through the apartment's messages.
void pump_messages(DWORD milliseconds) {
  MsgWaitForMultipleObjectsEx(0, nullptr, milliseconds, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

class ServerHttpClient final : public HttpClient {
 public:
  ServerHttpClient(ComRef<IDispatch> object, const HttpLimits& limits)
      : client_(std::move(object), std::u16string(kProgId)), limits_(limits) {}

  void Open(const std::u16string& method, const std::u16string& url, bool async,
            const std::u16string& user, const std::u16string& password) override {
    opened_ = false;
    status_ = 0;
    body_.clear();
    if (lower(method) != u"get") {
      throw_invalid_call("HTTP client: only the GET method is supported, not \"" + to_utf8(method) +
                         "\"");
    }
    if (async) throw_invalid_call("HTTP client: only synchronous requests are supported");
    url_ = url;
    user_ = user;
    password_ = password;
    opened_ = true;
  }

  void Send() override {
    if (!opened_) throw_invalid_call("HTTP client: Send called before Open");
    const std::u16string scheme = scheme_of(url_);
    if (scheme != u"http" && scheme != u"https") {
      throw_http(kUnsupportedScheme, "only http and https addresses are fetched", url_);
    }
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(limits_.total_timeout_ms);
    const auto connect_ms = static_cast<std::int32_t>(limits_.connect_timeout_ms);
    const auto total_ms = static_cast<std::int32_t>(limits_.total_timeout_ms);
    client_.call(L"setTimeouts", {long_arg(connect_ms), long_arg(connect_ms), long_arg(total_ms),
                                  long_arg(total_ms)});
    OwnedBstr get(u"GET"), address(url_), user(user_), password(password_);
    // Asynchronous, so that this thread keeps the deadline; Send below waits for the end.
    client_.call(L"open", {bstr_arg(get.get()), bstr_arg(address.get()), bool_arg(true),
                           bstr_arg(user.get()), bstr_arg(password.get())});
    client_.call(L"send");
    wait_until_done(deadline);

    status_ = static_cast<int>(as_long(client_.get(L"status")));
    if (status_ == 0) throw_http(kCouldNotConnect, "no response from the server", url_);
    check_redirect_followed();
    Bytes body = read_body();
    if (body.size() > limits_.max_body_bytes) throw_body_too_large();
    body_ = std::move(body);
  }

  Bytes ResponseBody() override { return body_; }
  Bytes TakeResponseBody() override { return std::exchange(body_, Bytes()); }
  int Status() override { return status_; }

 private:
  void wait_until_done(ULONGLONG deadline) {
    bool client_waits = true;  // waitForResponse, where the system's client has it
    bool length_checked = false;
    for (;;) {
      const long state = as_long(client_.get(L"readyState"));
      if (state >= kReadyStateDone) return;
      if (state >= kReadyStateHeadersReceived && !length_checked) {
        length_checked = true;
        if (announced_length() > limits_.max_body_bytes) {
          abort();
          throw_body_too_large();
        }
      }
      const ULONGLONG now = GetTickCount64();
      if (now >= deadline) {
        abort();
        throw_http(kTimedOut,
                   "no complete answer within " + std::to_string(limits_.total_timeout_ms) + " ms",
                   url_);
      }
      const ULONGLONG left = deadline - now;
      if (client_waits) {
        try {
          // Whole seconds; one at a time, so the announced length is looked at early.
          client_.call(L"waitForResponse", {long_arg(1)});
          continue;
        } catch (const AutomationError&) {
          client_waits = false;
        }
      }
      pump_messages(static_cast<DWORD>(left < 20 ? left : 20));
    }
  }

  // The Content-Length the server announced, or 0 when there is none (chunked, or not yet).
  std::size_t announced_length() {
    try {
      OwnedBstr name(u"Content-Length");
      const Variant value =
          com::from_variant(client_.call(L"getResponseHeader", {bstr_arg(name.get())}).get());
      if (!value.is_string()) return 0;
      std::size_t length = 0;
      for (const char16_t c : trim_spaces(value.as_string())) {
        if (c < u'0' || c > u'9') return 0;
        if (length > (limits_.max_body_bytes + 1) / 10) return limits_.max_body_bytes + 1;
        length = length * 10 + static_cast<std::size_t>(c - u'0');
      }
      return length;
    } catch (const AutomationError&) {
      return 0;  // the header cannot be read yet: the body's own size is checked at the end
    }
  }

  // The client follows redirects itself, to http and https only and a bounded number of times;
  // a redirect still standing at the end is one it refused.
  void check_redirect_followed() {
    if (status_ < 300 || status_ > 399 || status_ == 304) return;
    std::u16string location;
    try {
      OwnedBstr name(u"Location");
      const Variant value =
          com::from_variant(client_.call(L"getResponseHeader", {bstr_arg(name.get())}).get());
      if (value.is_string()) location = value.as_string();
    } catch (const AutomationError&) {
      return;  // no Location: an answer like any other
    }
    if (location.empty()) return;
    const std::u16string scheme = scheme_of(location);
    if (!scheme.empty() && scheme != u"http" && scheme != u"https") {
      throw_http(kUnsupportedScheme, "redirected to a " + to_utf8(scheme) + " address", url_);
    }
    throw_http(kTooManyRedirects,
               "more than " + std::to_string(limits_.max_redirects) + " redirects", url_);
  }

  Bytes read_body() {
    OwnedVariant body = client_.get(L"responseBody");
    const Variant value = com::from_variant(body.get());
    if (value.is_empty()) return {};
    if (value.type() != VarType::Bytes) throw_type_mismatch();
    return value.as_bytes();
  }

  void abort() {
    try {
      client_.call(L"abort");
    } catch (const AutomationError&) {
      // Already finished or failed: nothing left to stop.
    }
  }

  [[noreturn]] void throw_body_too_large() {
    throw_http(kBodyTooLarge,
               "the response body exceeds the limit of " + std::to_string(limits_.max_body_bytes) +
                   " bytes",
               url_);
  }

  DispatchObject client_;
  HttpLimits limits_;
  bool opened_ = false;
  int status_ = 0;
  std::u16string url_;
  std::u16string user_;
  std::u16string password_;
  Bytes body_;
};

}  // namespace

std::unique_ptr<HttpClient> make_server_http_client(const HttpLimits& limits) {
  const std::wstring progid = com::to_wide(kProgId);
  CLSID clsid{};
  if (FAILED(CLSIDFromProgID(progid.c_str(), &clsid))) {
    throw AutomationError(429, "ActiveX component can't create object: " + to_utf8(kProgId));
  }
  return std::make_unique<ServerHttpClient>(create_by_clsid(clsid, kProgId), limits);
}

}  // namespace pelmo::host::windows
