// The one table of event kinds: ID, level, a short name and the message text. The Windows
// message table (com/pelmo_events.mc) holds the same texts, %1 the subject, %2 the detail, %3
// the elapsed milliseconds and %4 the count left out; a test keeps the two equal.
#pragma once

#include <span>
#include <string_view>

#include "pelmo/events.h"

namespace pelmo::events {

struct EventKindEntry {
  EventKind kind;
  EventLevel level;
  std::string_view name;     // e.g. "fetch-failed"
  std::string_view message;  // with %1 to %4
};

std::span<const EventKindEntry> event_kinds();
const EventKindEntry& kind_entry(EventKind kind);

}  // namespace pelmo::events
