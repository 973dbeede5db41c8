// Decides which events reach the log, and hands them to the platform's sink: an event passes
// when its level is within the operator's EventLogLevel and no entry of its kind and subject
// was written in the last five minutes; the ones held back are counted and the next entry of
// that kind and subject carries the count. Subjects are cut to host-name characters, so a text
// from a page can neither carry more than a host nor break the log's lines.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "host/platform.h"
#include "pelmo/events.h"
#include "util/sync.h"

namespace pelmo::events {

class EventReporter {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  using LevelReader = std::function<std::int64_t()>;

  static constexpr std::chrono::minutes kQuietTime{5};
  // Subjects tracked at once; past it, the expired ones are dropped, and while it stays full a
  // new subject shares one entry per kind, so pages naming endless hosts cannot grow it.
  static constexpr std::size_t kMaxTracked = 1024;
  static constexpr std::size_t kMaxSubjectLength = 255;

  EventReporter(LevelReader level, Clock clock);
  EventReporter(const EventReporter&) = delete;
  EventReporter& operator=(const EventReporter&) = delete;

  // The event to write now, or nothing. `platform` is the sink's identity: each platform keeps
  // its own quiet times.
  std::optional<Event> admit(std::uint64_t platform, EventKind kind, std::string_view subject,
                             std::string detail, std::int64_t elapsed_ms);

  // Whether events of this level are written at all: lets a caller skip the work of making one.
  bool wants(EventLevel level) const;

 private:
  struct Key {
    std::uint64_t platform;
    EventKind kind;
    std::string subject;
    bool operator==(const Key&) const = default;
  };
  struct KeyHash {
    std::size_t operator()(const Key& key) const noexcept;
  };
  struct Quiet {
    std::chrono::steady_clock::time_point until;
    std::uint64_t left_out = 0;
  };

  LevelReader level_;
  Clock clock_;
  util::Mutex mutex_;
  std::unordered_map<Key, Quiet, KeyHash> quiet_;
};

// The subject as it may stand in the log: host-name characters only (others become '?'), at
// most kMaxSubjectLength of them.
std::string loggable_subject(std::string_view subject);

// The process's reporter, on the operator's level and the steady clock.
EventReporter& event_reporter();

// Writes the event to the platform's sink when the process's reporter admits it.
void report(host::Platform& platform, EventKind kind, std::string_view subject,
            std::string detail = {}, std::int64_t elapsed_ms = 0);

}  // namespace pelmo::events
