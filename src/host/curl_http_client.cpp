#include "host/curl_http_client.h"

#include "pelmo/error.h"

namespace pelmo::host {
std::unique_ptr<HttpClient> make_curl_http_client() { throw_invalid_call("HTTP client: TODO"); }
}  // namespace pelmo::host
