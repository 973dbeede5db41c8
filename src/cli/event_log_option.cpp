#include "cli/event_log_option.h"

#include <cstdlib>
#include <iostream>
#include <mutex>
#include <string>
#include <string_view>

#include "pelmo/events.h"

namespace pelmo::cli {

namespace {

std::string_view level_name(EventLevel level) {
  switch (level) {
    case EventLevel::kError:
      return "error";
    case EventLevel::kWarning:
      return "warning";
    default:
      return "information";
  }
}

}  // namespace

void route_events_as_asked(std::ostream& err) {
  const char* value = std::getenv(kLogVariable);
  if (value == nullptr || *value == '\0') return;
  if (std::string_view(value) != "stderr") {
    err << "pelmo: " << kLogVariable << "=" << value
        << " is not understood (the one place is stderr); events are not written\n";
    return;
  }
  set_event_callback([](const Event& event) {
    // Whole lines, also when calls on several threads report at once.
    static std::mutex lines;
    const std::string line = "pelmo[" + std::to_string(event.id()) + "] " +
                             std::string(level_name(event.level)) + ": " + event.line() + "\n";
    const std::lock_guard lock(lines);
    std::cerr << line << std::flush;
  });
}

}  // namespace pelmo::cli
