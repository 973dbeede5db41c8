// The HTTP client on libcurl.
#pragma once

#include <memory>

#include "host/http_client.h"
#include "host/http_limits.h"

namespace pelmo::host {

// GET only, synchronous, http and https only, redirects followed up to the bound, every
// connection judged by the limits' address policy before it is opened.
std::unique_ptr<HttpClient> make_curl_http_client();
std::unique_ptr<HttpClient> make_curl_http_client(const HttpLimits& limits);

}  // namespace pelmo::host
