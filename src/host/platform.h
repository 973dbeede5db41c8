// What the component creates for itself (HTTP clients) and where it reports trouble. Injected into
// every object, so tests can serve fetches from memory.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "host/http_client.h"
#include "pelmo/events.h"
#include "util/address_guard.h"

namespace pelmo::host {

class Platform {
 public:
  Platform() : identity_(next_identity()) {}
  Platform(const Platform&) = delete;
  Platform& operator=(const Platform&) = delete;
  virtual ~Platform() = default;

  // Unique in the process and never reused, unlike an address: what the process keeps per
  // platform (the fetch cache's copies) cannot pass to a later platform made in the same place.
  std::uint64_t identity() const { return identity_; }

  // A client for one fetch, held to the operator's rule on internal addresses.
  virtual std::unique_ptr<HttpClient> CreateHttpClient(const util::AddressPolicy& addresses) = 0;

  // The log sink: where the events an operator must hear of go, already filtered by level and
  // rate. Called on whichever thread met the trouble; must not throw into the caller's work.
  virtual void WriteEvent(const Event& /*event*/) {}

 private:
  static std::uint64_t next_identity() {
    static std::atomic<std::uint64_t> next{1};
    return next.fetch_add(1, std::memory_order_relaxed);
  }

  const std::uint64_t identity_;
};

// The real platform of this build: libcurl here, WinHTTP in the Windows module.
std::shared_ptr<Platform> default_platform();

}  // namespace pelmo::host
