#include "events/event_kinds.h"

#include <array>

namespace pelmo::events {

namespace {

constexpr std::array kKinds{
    EventKindEntry{EventKind::kFetchFailed, EventLevel::kError, "fetch-failed",
                   "A fetch from %1 failed: %2, after %3 ms. Left out before this entry: %4."},
    EventKindEntry{EventKind::kFetchTimedOut, EventLevel::kError, "fetch-timed-out",
                   "A fetch from %1 timed out: %2, after %3 ms. Left out before this entry: %4."},
    EventKindEntry{
        EventKind::kBodyTooLarge, EventLevel::kError, "body-too-large",
        "A fetch from %1 was stopped, its body over the cap: %2, after %3 ms. Left out before "
        "this entry: %4."},
    EventKindEntry{
        EventKind::kRedirectRefused, EventLevel::kWarning, "redirect-refused",
        "A fetch from %1 was not redirected further: %2, after %3 ms. Left out before this "
        "entry: %4."},
    EventKindEntry{
        EventKind::kWorkLimit, EventLevel::kWarning, "work-limit",
        "A call of %1 was ended by the matching work limit: %2. Left out before this entry: "
        "%4."},
    EventKindEntry{
        EventKind::kStaleCopyServed, EventLevel::kInformation, "stale-copy-served",
        "A refresh from %1 failed and the kept copy was served instead: %2. Left out before "
        "this entry: %4."},
    EventKindEntry{EventKind::kSettingIgnored, EventLevel::kWarning, "setting-ignored",
                   "The setting %1 was ignored: %2. Left out before this entry: %4."},
};

}  // namespace

std::span<const EventKindEntry> event_kinds() { return kKinds; }

const EventKindEntry& kind_entry(EventKind kind) {
  for (const EventKindEntry& entry : kKinds) {
    if (entry.kind == kind) return entry;
  }
  return kKinds.front();  // every enumerator is in the table; a test holds to it
}

}  // namespace pelmo::events

namespace pelmo {

std::string Event::line() const {
  const events::EventKindEntry& entry = events::kind_entry(kind);
  std::string out;
  const std::string_view message = entry.message;
  for (std::size_t i = 0; i < message.size(); ++i) {
    if (message[i] == '%' && i + 1 < message.size() && message[i + 1] >= '1' &&
        message[i + 1] <= '4') {
      switch (message[++i]) {
        case '1':
          out += subject;
          break;
        case '2':
          out += detail;
          break;
        case '3':
          out += std::to_string(elapsed_ms);
          break;
        default:
          out += std::to_string(left_out);
      }
    } else {
      out += message[i];
    }
  }
  return out;
}

}  // namespace pelmo
