// What the component creates for itself: HTTP clients and regular-expression objects.
// Injected into every object, so tests can serve fetches from memory.
#pragma once

#include <memory>

#include "host/http_client.h"
#include "host/regexp.h"

namespace pelmo::host {

class Platform {
 public:
  virtual ~Platform() = default;
  virtual std::unique_ptr<HttpClient> CreateHttpClient() = 0;
  virtual std::unique_ptr<RegExp> CreateRegExp() = 0;
};

// The real platform of this build: libcurl and PCRE2.
std::shared_ptr<Platform> default_platform();

}  // namespace pelmo::host
