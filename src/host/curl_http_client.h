// The HTTP client on libcurl.
#pragma once

#include <memory>

#include "host/http_client.h"

namespace pelmo::host {

std::unique_ptr<HttpClient> make_curl_http_client();

}  // namespace pelmo::host
