#include <chrono>

#include "config/fetch_address_setting.h"
#include "events/fetch_events.h"
#include "fetch/fetch.h"
#include "fetch/fetch_cache.h"
#include "pelmo/convert.h"
#include "pelmo/error.h"
#include "util/web_address.h"

namespace pelmo::fetch {

namespace {

// Error statuses from here on are told to the operator's log.
constexpr int kFirstErrorStatus = 400;

std::int64_t milliseconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start)
      .count();
}

FetchedPage request(host::Platform& platform, const std::u16string& url, bool with_status) {
  // A client of our own per call, not the page's Server: the fetch works without a page.
  util::AddressPolicy addresses;
  addresses.deny_internal = fetch_private_addresses().deny;
  std::unique_ptr<host::HttpClient> client = platform.CreateHttpClient(addresses);
  if (!client) throw AutomationError(429, "ActiveX component can't create object: HTTP client");
  const auto start = std::chrono::steady_clock::now();
  try {
    client->Open(u"Get", url, false);
    client->Send();
  } catch (const AutomationError& e) {
    events::report_fetch_error(platform, url, e.number(), milliseconds_since(start));
    throw;
  }
  const int status = client->Status();
  if (status >= kFirstErrorStatus) {
    events::report_fetch_status(platform, url, status, milliseconds_since(start));
  }
  return {with_status ? status : 0, client->TakeResponseBody()};
}

}  // namespace

Variant get_body(host::Platform& platform, const Variant& url) {
  const std::u16string address = to_text(url);
  // The platforms' clients would also open files and other schemes.
  if (!util::is_web_address(address))
    throw_invalid_call("only http and https addresses are fetched");
  // Copies are kept per platform: a host that brings its own client never sees another's pages.
  bool served_stale = false;
  Bytes body = fetch_cache().get(
      platform.identity(), address,
      [&](bool with_status) { return request(platform, address, with_status); }, &served_stale);
  if (served_stale) events::report_stale_copy(platform, address);
  return Variant::bytes(std::move(body));
}

}  // namespace pelmo::fetch
