#include "config/event_log_settings.h"

#include "config/fetch_cache_settings.h"
#include "pelmo/text.h"

namespace pelmo {

EventLogLevel event_log_level() {
  EventLogLevel setting;
  const std::optional<std::u16string> text = configured_setting(kEventLogLevelSetting);
  if (!text) return setting;
  if (const std::optional<std::int64_t> value = parse_bounded_count(*text, kMaxEventLogLevel)) {
    setting.level = *value;
    return setting;
  }
  setting.ignored = std::string(kEventLogLevelSetting.environment) + " (or the stored value " +
                    to_utf8(kEventLogLevelSetting.stored) + "): \"" + to_utf8(*text) +
                    "\" is not a whole number from 0 to " + std::to_string(kMaxEventLogLevel) +
                    "; ignored, " + std::to_string(kDefaultEventLogLevel) + " used";
  return setting;
}

}  // namespace pelmo
