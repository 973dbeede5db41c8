// The Linux library's log sink: the callback a library user set, or nothing.
#pragma once

#include "pelmo/events.h"

namespace pelmo::host {

// Hands the event to the callback set by set_event_callback, when there is one.
void call_event_callback(const Event& event);

}  // namespace pelmo::host
