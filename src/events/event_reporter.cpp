#include "events/event_reporter.h"

#include <mutex>
#include <utility>

#include "config/event_log_settings.h"
#include "events/event_kinds.h"

namespace pelmo::events {

namespace {

bool is_host_character(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '-' || c == '_' || c == ':' || c == '[' || c == ']';
}

constexpr std::string_view kSharedSubject = "(other subjects)";

}  // namespace

std::string loggable_subject(std::string_view subject) {
  std::string out(subject.substr(0, EventReporter::kMaxSubjectLength));
  for (char& c : out) {
    if (!is_host_character(c)) c = '?';
  }
  return out;
}

std::size_t EventReporter::KeyHash::operator()(const Key& key) const noexcept {
  return std::hash<std::string>()(key.subject) ^
         (static_cast<std::size_t>(key.kind) * 0x9E3779B9u) ^
         static_cast<std::size_t>(key.platform * 0x9E3779B97F4A7C15u);
}

EventReporter::EventReporter(LevelReader level, Clock clock)
    : level_(std::move(level)), clock_(std::move(clock)) {}

bool EventReporter::wants(EventLevel level) const {
  return static_cast<std::int64_t>(level) <= level_();
}

std::optional<Event> EventReporter::admit(std::uint64_t platform, EventKind kind,
                                          std::string_view subject, std::string detail,
                                          std::int64_t elapsed_ms) {
  const EventKindEntry& entry = kind_entry(kind);
  if (!wants(entry.level)) return std::nullopt;
  Key key{platform, kind, loggable_subject(subject)};
  const auto now = clock_();
  std::uint64_t left_out = 0;
  {
    std::lock_guard<util::Mutex> lock(mutex_);
    auto found = quiet_.find(key);
    if (found == quiet_.end() && quiet_.size() >= kMaxTracked) {
      std::erase_if(quiet_, [&](const auto& item) { return item.second.until <= now; });
      if (quiet_.size() >= kMaxTracked) key.subject = kSharedSubject;
      found = quiet_.find(key);
    }
    if (found != quiet_.end() && now < found->second.until) {
      ++found->second.left_out;
      return std::nullopt;
    }
    if (found != quiet_.end()) {
      left_out = found->second.left_out;
      found->second = Quiet{now + kQuietTime, 0};
    } else {
      quiet_.emplace(key, Quiet{now + kQuietTime, 0});
    }
  }
  return Event{kind, entry.level, std::move(key.subject), std::move(detail), elapsed_ms, left_out};
}

EventReporter& event_reporter() {
  static EventReporter instance([] { return event_log_level().level; },
                                [] { return std::chrono::steady_clock::now(); });
  return instance;
}

void report(host::Platform& platform, EventKind kind, std::string_view subject, std::string detail,
            std::int64_t elapsed_ms) {
  // One entry, one line.
  for (char& c : detail) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  // The log never costs a page its answer: a sink or an allocation that fails loses the entry.
  try {
    if (std::optional<Event> event = event_reporter().admit(platform.identity(), kind, subject,
                                                            std::move(detail), elapsed_ms)) {
      platform.WriteEvent(*event);
    }
  } catch (...) {
  }
}

}  // namespace pelmo::events
