#include "events/fetch_events.h"

#include <cstdio>

#include "events/event_reporter.h"
#include "pelmo/error.h"
#include "pelmo/text.h"

namespace pelmo::events {

namespace {

// The transfer codes both HTTP clients use for these failures.
constexpr std::uint32_t kUnsupportedScheme = 1;  // only met on a redirect: addresses are checked
constexpr std::uint32_t kTimedOut = 28;
constexpr std::uint32_t kTooManyRedirects = 47;
constexpr std::uint32_t kBodyTooLarge = 63;

EventKind kind_of(std::int32_t number) {
  const std::uint32_t code =
      static_cast<std::uint32_t>(number) - static_cast<std::uint32_t>(err::kHttpBase);
  switch (code) {
    case kTimedOut:
      return EventKind::kFetchTimedOut;
    case kBodyTooLarge:
      return EventKind::kBodyTooLarge;
    case kUnsupportedScheme:
    case kTooManyRedirects:
      return EventKind::kRedirectRefused;
    default:
      return EventKind::kFetchFailed;
  }
}

std::string error_detail(std::int32_t number) {
  char text[32];
  std::snprintf(text, sizeof text, "error 0x%08X", static_cast<unsigned>(number));
  return text;
}

}  // namespace

std::string host_of(std::u16string_view address) {
  const std::size_t scheme_end = address.find(u"://");
  if (scheme_end == std::u16string_view::npos) return {};
  std::u16string_view authority = address.substr(scheme_end + 3);
  authority = authority.substr(0, authority.find_first_of(u"/?#\\"));
  if (const std::size_t at = authority.rfind(u'@'); at != std::u16string_view::npos) {
    authority.remove_prefix(at + 1);
  }
  return to_utf8(lower(std::u16string(authority)));
}

void report_fetch_error(host::Platform& platform, std::u16string_view address, std::int32_t number,
                        std::int64_t elapsed_ms) {
  report(platform, kind_of(number), host_of(address), error_detail(number), elapsed_ms);
}

void report_fetch_status(host::Platform& platform, std::u16string_view address, int status,
                         std::int64_t elapsed_ms) {
  report(platform, EventKind::kFetchFailed, host_of(address), "status " + std::to_string(status),
         elapsed_ms);
}

void report_stale_copy(host::Platform& platform, std::u16string_view address) {
  report(platform, EventKind::kStaleCopyServed, host_of(address), "the site did not answer");
}

}  // namespace pelmo::events
