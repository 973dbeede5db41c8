#include "fetch/fetch.h"
#include "pelmo/convert.h"
#include "pelmo/error.h"
#include "util/web_address.h"

namespace pelmo::fetch {

Variant get_body(host::Platform& platform, const Variant& url) {
  // A client of our own per call, not the page's Server: the fetch works without a page.
  std::unique_ptr<host::HttpClient> client = platform.CreateHttpClient();
  if (!client) throw AutomationError(429, "ActiveX component can't create object: HTTP client");
  const std::u16string address = to_text(url);
  // The platforms' clients would also open files and other schemes.
  if (!util::is_web_address(address))
    throw_invalid_call("only http and https addresses are fetched");
  client->Open(u"Get", address, false, u"", u"");
  client->Send();
  return Variant::bytes(client->TakeResponseBody());
}

}  // namespace pelmo::fetch
