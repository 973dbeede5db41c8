// The server-side HTTP client's limits against the loopback site of limits_site.py, with a short
// deadline and a small body cap (the client's defaults are 60 s and 32 MiB), so the cases take
// seconds: each fetches once (or twice) and checks the error number or the answer, and how long
// a failure that must end in time took.
#include <windows.h>

#include <string>

#include "modes.h"
#include "pelmo/error.h"
#include "pelmo/text.h"
#include "util/internal_address.h"
#include "windows/hosts/windows_hosts.h"

namespace pelmo::testhost {

namespace {

constexpr long kTotalMs = 3'000;
// Time the deadline may be overrun: the system's time-outs end a little after it.
constexpr ULONGLONG kSlackMs = 2'000;
constexpr std::size_t kCap = 256 * 1024;

struct Outcome {
  std::int32_t error = 0;  // 0: fetched
  std::string description;
  int status = 0;
  Bytes body;
  ULONGLONG ms = 0;
};

Outcome fetch(const std::string& url, bool deny_internal = false) {
  host::HttpLimits limits;
  limits.addresses.deny_internal = deny_internal;
  // The site answers on 127.0.0.2 too, playing an outside site there.
  limits.addresses.counted_as_outside = {util::ipv4_address(127, 0, 0, 2)};
  limits.total_timeout_ms = kTotalMs;
  limits.max_body_bytes = kCap;
  Outcome out;
  const ULONGLONG started = GetTickCount64();
  try {
    auto client = host::windows::make_server_http_client(limits);
    client->Open(u"Get", from_utf8(url), false);
    client->Send();
    out.status = client->Status();
    out.body = client->TakeResponseBody();
  } catch (const AutomationError& e) {
    out.error = e.number();
    out.description = e.what();
  }
  out.ms = GetTickCount64() - started;
  return out;
}

std::string text_of(const Bytes& body) { return std::string(body.begin(), body.end()); }

std::string describe(const Outcome& o) {
  if (o.error == 0) {
    return "status " + std::to_string(o.status) + ", " + std::to_string(o.body.size()) +
           " bytes after " + std::to_string(o.ms) + " ms";
  }
  char hex[16];
  wsprintfA(hex, "%08lX", static_cast<unsigned long>(o.error));
  return "error 0x" + std::string(hex) + " after " + std::to_string(o.ms) + " ms: " + o.description;
}

std::int32_t http_error(std::int32_t code) { return err::kHttpBase + code; }

// Which addresses a fetch reaches: 127.0.0.1 and names under localhost are the server's own
// network, 127.0.0.2 an outside site. A refusal must come before the request reaches the site.
void check_fetch_addresses(Checks& checks, const std::string& base) {
  const std::string port = base.substr(base.rfind(':') + 1);
  const std::string outside = "http://127.0.0.2:" + port;
  const struct {
    std::string url;
    bool deny;
    std::int32_t error;  // 0: fetched
    std::string body;
    std::string what;
  } cases[] = {
      {outside + "/to/127.0.0.1:" + port + "/counted/inside", false, http_error(1), "",
       "a redirect from outside to 127.0.0.1 is refused"},
      {outside + "/to/bj.localhost:" + port + "/counted/inside", false, http_error(1), "",
       "a redirect from outside to a name under localhost is refused"},
      {base + "/to/127.0.0.1:" + port + "/hops/0", false, 0, "arrived",
       "a redirect inside a fetch that began inside is followed"},
      {base + "/counted/inside", true, http_error(7), "", "deny refuses 127.0.0.1"},
      {"http://news.localhost:" + port + "/counted/inside", true, http_error(7), "",
       "deny refuses a name under localhost"},
      {outside + "/to/127.0.0.1:" + port + "/counted/inside", true, http_error(1), "",
       "deny refuses a redirect inside"},
      {outside + "/", true, 0, "hello", "deny lets an outside address through"},
      {"http://bj.localhost:" + port + "/host", false, 0, "bj.localhost:" + port,
       "a name under localhost reaches the loopback address and is sent in Host"},
      {"http://LocalHost:" + port + "/hops/0", false, 0, "arrived", "localhost itself, any case"},
  };
  for (const auto& c : cases) {
    const Outcome o = fetch(c.url, c.deny);
    // A refusal says why.
    const bool right =
        c.error != 0 ? o.error == c.error &&
                           o.description.find("inside the server's network") != std::string::npos
                     : o.error == 0 && o.status == 200 && text_of(o.body) == c.body;
    checks.check(right, c.what + " (" + c.url + "): " + describe(o));
  }
  const Outcome hits = fetch(base + "/count/inside");
  checks.check(text_of(hits.body) == "0",
               "no refused fetch reached the site: " + text_of(hits.body) + " request(s)");
}

}  // namespace

void check_fetch_limits(Checks& checks, const std::string& base) {
  struct Failing {
    std::string path;
    std::int32_t error;   // 0: any failure
    ULONGLONG within_ms;  // 0: however long it takes
    std::string what;
  };
  constexpr ULONGLONG kByDeadline = kTotalMs + kSlackMs;
  // 64 KiB every 200 ms passes the cap in under a second: only counting while reading ends it
  // before the deadline.
  constexpr ULONGLONG kWhileArriving = kTotalMs / 2;
  const std::string over = std::to_string(kCap + 1);
  const Failing failing[] = {
      {"/stall", http_error(28), kByDeadline,
       "a server that never answers times out at the deadline"},
      {"/stall-body", http_error(28), kByDeadline, "a body that stops halfway times out"},
      {"/loop/0", http_error(47), kByDeadline, "endless redirects stop after 10"},
      {"/to-file", http_error(1), kByDeadline, "a redirect to a file address is refused"},
      {"/bytes/" + over, http_error(63), 0, "an announced body over the cap fails"},
      {"/chunked/" + over, http_error(63), 0, "a chunked body over the cap fails"},
      {"/endless", http_error(63), kWhileArriving,
       "an endless trickling body fails as it passes the cap"},
  };
  for (const Failing& c : failing) {
    const Outcome o = fetch(base + c.path);
    const bool right_error = c.error == 0 ? o.error != 0 : o.error == c.error;
    checks.check(right_error && (c.within_ms == 0 || o.ms <= c.within_ms),
                 c.what + " (" + c.path + "): " + describe(o));
  }
  const Outcome hops = fetch(base + "/hop-count");
  std::cout << "info  redirects the endless loop was followed: " << text_of(hops.body) << "\n";

  const Outcome refused = fetch("http://127.0.0.1:1/");
  checks.check(refused.error != 0 && refused.ms <= kTotalMs + kSlackMs,
               "a refused connection fails: " + describe(refused));

  const Outcome ten = fetch(base + "/hops/10");
  checks.check(ten.error == 0 && ten.status == 200 && text_of(ten.body) == "arrived",
               "10 redirects are followed: " + describe(ten));
  const Outcome at_cap = fetch(base + "/chunked/" + std::to_string(kCap));
  checks.check(at_cap.error == 0 && at_cap.body.size() == kCap,
               "a body of exactly the cap is fetched: " + describe(at_cap));
  const Outcome missing = fetch(base + "/missing");
  checks.check(missing.error == 0 && missing.status == 404 && text_of(missing.body) == "not here",
               "an error status gives its body and status: " + describe(missing));

  check_fetch_addresses(checks, base);

  const Outcome first = fetch(base + "/changing");
  const Outcome second = fetch(base + "/changing");
  checks.check(first.error == 0 && second.error == 0 && !first.body.empty() &&
                   text_of(first.body) != text_of(second.body),
               "a page that changed is fetched anew, not from a cache: \"" + text_of(first.body) +
                   "\" then \"" + text_of(second.body) + "\"");
}

}  // namespace pelmo::testhost
