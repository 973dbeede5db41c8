// The fetch cache's three operator settings, read from the setting catalogue like every other
// setting. A value that is not a whole number within its bounds is ignored and the default
// taken; the reason is kept so the command can tell the operator.
#pragma once

#include <cstdint>
#include <string>

namespace pelmo {

struct FetchCacheSettings {
  // The catalogue holds the defaults; these are for settings a test builds by hand.
  std::int64_t fresh_seconds = 0;  // 0: the cache is off
  std::int64_t stale_seconds = 0;
  std::int64_t megabytes = 64;
  // One line per ignored value ("PELMO_FETCH_CACHE_SECONDS: ... ignored, 0 used"); empty when
  // every value was taken.
  std::string ignored;

  std::size_t capacity_bytes() const { return static_cast<std::size_t>(megabytes) << 20; }
};

inline constexpr std::int64_t kMaxFetchCacheSeconds = 365LL * 24 * 60 * 60;
// Kept within half the address space, so the byte count fits the 32-bit build too.
inline constexpr std::int64_t kMaxFetchCacheMegabytes64 = 1'048'576;
inline constexpr std::int64_t kMaxFetchCacheMegabytes32 = 2'047;
inline constexpr std::int64_t kMaxFetchCacheMegabytes =
    sizeof(void*) >= 8 ? kMaxFetchCacheMegabytes64 : kMaxFetchCacheMegabytes32;

// Reads the three settings afresh: cheap enough for every fetch, so a change takes effect at once.
FetchCacheSettings fetch_cache_settings();

}  // namespace pelmo
