// What the component creates for itself: HTTP clients. Injected into every object, so tests can
// serve fetches from memory.
#pragma once

#include <memory>

#include "host/http_client.h"

namespace pelmo::host {

class Platform {
 public:
  virtual ~Platform() = default;
  virtual std::unique_ptr<HttpClient> CreateHttpClient() = 0;
};

// The real platform of this build: libcurl (the system's server-side client on Windows).
std::shared_ptr<Platform> default_platform();

}  // namespace pelmo::host
