// PELMO_LOG=stderr: the command writes the component's events to standard error, one line
// each, so that `pelmo batch` running as a service logs to the journal.
#pragma once

#include <ostream>

namespace pelmo::cli {

inline constexpr const char* kLogVariable = "PELMO_LOG";

// Sets the library's event callback as the variable asks; tells `err` when it names a place the
// command does not know.
void route_events_as_asked(std::ostream& err);

}  // namespace pelmo::cli
