#include "config/fetch_address_setting.h"
#include "fetch/fetch.h"
#include "fetch/fetch_cache.h"
#include "pelmo/convert.h"
#include "pelmo/error.h"
#include "util/web_address.h"

namespace pelmo::fetch {

namespace {

FetchedPage request(host::Platform& platform, const std::u16string& url, bool with_status) {
  // A client of our own per call, not the page's Server: the fetch works without a page.
  util::AddressPolicy addresses;
  addresses.deny_internal = fetch_private_addresses().deny;
  std::unique_ptr<host::HttpClient> client = platform.CreateHttpClient(addresses);
  if (!client) throw AutomationError(429, "ActiveX component can't create object: HTTP client");
  client->Open(u"Get", url, false);
  client->Send();
  const int status = with_status ? client->Status() : 0;
  return {status, client->TakeResponseBody()};
}

}  // namespace

Variant get_body(host::Platform& platform, const Variant& url) {
  const std::u16string address = to_text(url);
  // The platforms' clients would also open files and other schemes.
  if (!util::is_web_address(address))
    throw_invalid_call("only http and https addresses are fetched");
  // Copies are kept per platform: a host that brings its own client never sees another's pages.
  return Variant::bytes(fetch_cache().get(platform.identity(), address, [&](bool with_status) {
    return request(platform, address, with_status);
  }));
}

}  // namespace pelmo::fetch
