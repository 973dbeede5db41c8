// The Windows log sink: each event goes to the Application log under the source "pelmo", with
// its own event ID and four insertion strings for the module's message table (subject, detail,
// milliseconds, count left out). The source is registered by the installer; without it the
// entries are still written, with the Event Viewer saying their text cannot be found.
#include <windows.h>

#include <string>

#include "pelmo/text.h"
#include "windows/hosts/windows_hosts.h"

namespace pelmo::host::windows {

namespace {

// The message table's IDs carry the severity in their top two bits.
DWORD message_id(const Event& event) {
  switch (event.level) {
    case EventLevel::kError:
      return 0xC0000000u | event.id();
    case EventLevel::kWarning:
      return 0x80000000u | event.id();
    default:
      return 0x40000000u | event.id();
  }
}

WORD event_type(EventLevel level) {
  switch (level) {
    case EventLevel::kError:
      return EVENTLOG_ERROR_TYPE;
    case EventLevel::kWarning:
      return EVENTLOG_WARNING_TYPE;
    default:
      return EVENTLOG_INFORMATION_TYPE;
  }
}

// Opened once for the process, on first use, and kept: the handle is cheap and thread-safe.
HANDLE event_source() {
  static const HANDLE source = RegisterEventSourceW(nullptr, L"pelmo");
  return source;
}

}  // namespace

void write_event_log(const Event& event) {
  const HANDLE source = event_source();
  if (source == nullptr) return;
  const std::u16string strings[] = {from_utf8(event.subject), from_utf8(event.detail),
                                    from_utf8(std::to_string(event.elapsed_ms)),
                                    from_utf8(std::to_string(event.left_out))};
  const wchar_t* pointers[] = {reinterpret_cast<const wchar_t*>(strings[0].c_str()),
                               reinterpret_cast<const wchar_t*>(strings[1].c_str()),
                               reinterpret_cast<const wchar_t*>(strings[2].c_str()),
                               reinterpret_cast<const wchar_t*>(strings[3].c_str())};
  ReportEventW(source, event_type(event.level), 0, message_id(event), nullptr, 4, 0, pointers,
               nullptr);
}

}  // namespace pelmo::host::windows
