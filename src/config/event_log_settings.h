// The event log's level, a row of the settings catalogue like every other setting:
// PELMO_EVENT_LOG_LEVEL, then on Windows the registry value EventLogLevel, then the default.
// 0 writes nothing, 1 errors, 2 warnings too, 3 information too.
#pragma once

#include <cstdint>
#include <string>

namespace pelmo {

inline constexpr const char* kEventLogLevelVariable = "PELMO_EVENT_LOG_LEVEL";
inline constexpr std::int64_t kDefaultEventLogLevel = 2;
inline constexpr std::int64_t kMaxEventLogLevel = 3;

struct EventLogLevel {
  std::int64_t level = kDefaultEventLogLevel;
  // Why a configured value was not taken ("PELMO_EVENT_LOG_LEVEL ... ignored, 2 used"); empty
  // when it was.
  std::string ignored;
};

// Read afresh on every call; only trouble asks, so a changed value takes effect at once.
EventLogLevel event_log_level();

}  // namespace pelmo
