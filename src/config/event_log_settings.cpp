#include "config/event_log_settings.h"

#include "config/operator_settings.h"

namespace pelmo {

EventLogLevel event_log_level() {
  const SettingReading reading = read_setting(kEventLogLevelVariable);
  EventLogLevel setting;
  setting.level = whole_number(reading);
  if (const std::optional<std::string> note = rejection_note(reading)) setting.ignored = *note;
  return setting;
}

}  // namespace pelmo
