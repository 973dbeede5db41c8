#include "fetch/fetch.h"
#include "pelmo/convert.h"
#include "pelmo/error.h"

namespace pelmo::fetch {

Variant get_body(host::Platform& platform, const Variant& url) {
  // A client of our own per call, not the page's Server: the fetch works without a page.
  std::unique_ptr<host::HttpClient> client = platform.CreateHttpClient();
  if (!client) throw AutomationError(429, "ActiveX component can't create object: HTTP client");
  client->Open(u"Get", to_text(url), false, u"", u"");
  client->Send();
  return Variant::bytes(client->TakeResponseBody());
}

}  // namespace pelmo::fetch
