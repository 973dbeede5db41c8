// Trouble an operator must hear of: a fetch that failed, a limit that ended a call, a setting
// that was ignored. The component hands each event to its platform's log sink: the Windows
// module writes it to the Application log under the source "pelmo"; the library on Linux hands
// it to the callback set here (nothing is written until one is set).
//
// An event names a host, a method or a setting, never a path, a query string, a body or an
// argument a page passed. Each kind and host is written at most once in five minutes; the next
// entry says how many were left out. The setting EventLogLevel (PELMO_EVENT_LOG_LEVEL) chooses
// what is written: 0 nothing, 1 errors, 2 warnings too (the default), 3 information too.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace pelmo {

enum class EventLevel : int { kError = 1, kWarning = 2, kInformation = 3 };

// The value of each kind is its event ID, the same on every platform.
enum class EventKind : std::uint16_t {
  kFetchFailed = 1001,      // a transfer error or an error status
  kFetchTimedOut = 1002,    // the fetch ran out of time
  kBodyTooLarge = 1003,     // the body passed the cap
  kRedirectRefused = 1004,  // too many redirects, or one away from http and https
  kWorkLimit = 1005,        // a call ended by the matching work limit (error 28)
  kStaleCopyServed = 1006,  // a refresh failed and the fetch cache served its stale copy
  kSettingIgnored = 1007,   // an invalid setting was ignored and its default used
};

struct Event {
  EventKind kind = EventKind::kFetchFailed;
  EventLevel level = EventLevel::kError;
  std::string subject;  // the host (with its port), the method or the setting
  std::string detail;   // what went wrong, made of numbers and fixed words
  std::int64_t elapsed_ms = 0;
  std::uint64_t left_out = 0;  // entries of this kind and subject held back before this one

  std::uint16_t id() const { return static_cast<std::uint16_t>(kind); }
  // The entry as one line of text: the message of its kind with the fields put in.
  std::string line() const;
};

using EventCallback = std::function<void(const Event&)>;

// Where the library's own platform on Linux sends the events: called on the thread that met
// the trouble, possibly on several at once; an empty callback (the default) drops them.
void set_event_callback(EventCallback callback);

}  // namespace pelmo
