// The fetch layer's events, told apart by the HTTP clients' error numbers (the same on every
// platform: 0x800C0000 plus the transfer library's code), so the clients themselves report
// nothing. Only the host of the address is ever written.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "host/platform.h"

namespace pelmo::events {

// The host of an absolute address, with its port, lower case; without the user, the path, the
// query and the fragment. Empty when there is none.
std::string host_of(std::u16string_view address);

// A fetch that threw the automation error `number` after `elapsed_ms`.
void report_fetch_error(host::Platform& platform, std::u16string_view address, std::int32_t number,
                        std::int64_t elapsed_ms);
// A fetch answered with an error status (400 or more).
void report_fetch_status(host::Platform& platform, std::u16string_view address, int status,
                         std::int64_t elapsed_ms);
// The fetch cache served its kept copy because the refresh failed.
void report_stale_copy(host::Platform& platform, std::u16string_view address);

}  // namespace pelmo::events
