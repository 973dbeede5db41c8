// Bounds that keep one fetch from hanging the page's thread or exhausting memory, the same for
// every platform's HTTP client.
#pragma once

#include <cstddef>

#include "util/address_guard.h"

namespace pelmo::host {

struct HttpLimits {
  long connect_timeout_ms = 15'000;
  long total_timeout_ms = 60'000;
  // A transfer slower than this many bytes per second for this many seconds is abandoned
  // (where the client can tell).
  long low_speed_bytes_per_second = 1;
  long low_speed_seconds = 30;
  long max_redirects = 10;
  // Counted as the body arrives. No client asks for a content coding, so these are the bytes
  // the server sent, and a body it compresses unasked comes back as sent.
  std::size_t max_body_bytes = std::size_t{32} << 20;
  // Which addresses the fetch may connect to, judged on each address as it is connected to.
  util::AddressPolicy addresses;
};

}  // namespace pelmo::host
