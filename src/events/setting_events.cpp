#include "events/setting_events.h"

#include <atomic>
#include <sstream>
#include <string>

#include "config/operator_settings.h"
#include "events/event_reporter.h"

namespace pelmo::events {

namespace {

// Each line names its variable first: "PELMO_FETCH_CACHE_SECONDS (or ...): ... used".
void report_lines(host::Platform& platform, const std::string& lines) {
  std::istringstream in(lines);
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) continue;
    const std::size_t name_end = line.find(' ');
    report(platform, EventKind::kSettingIgnored, line.substr(0, name_end),
           name_end == std::string::npos ? std::string() : line.substr(name_end + 1));
  }
}

}  // namespace

void report_ignored_settings_once(host::Platform& platform) {
  // The Windows cross-compiler's thread model has no std::call_once.
  static std::atomic<bool> told{false};
  if (told.load(std::memory_order_relaxed) || told.exchange(true)) return;
  try {
    for (const SettingReading& reading : read_settings()) {
      if (const std::optional<std::string> note = rejection_note(reading)) {
        report_lines(platform, *note);
      }
    }
  } catch (...) {
    // An object is made whether or not its notice could be.
  }
}

}  // namespace pelmo::events
