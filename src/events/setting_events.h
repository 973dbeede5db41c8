// Settings that were set but invalid, told once per process: the values are read at every
// call, but an operator needs to hear of a mistake only once.
#pragma once

#include "host/platform.h"

namespace pelmo::events {

// Reports each ignored setting the first time any object of the process is created.
void report_ignored_settings_once(host::Platform& platform);

}  // namespace pelmo::events
