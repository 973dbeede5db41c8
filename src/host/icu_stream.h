// The stream on ICU converters.
#pragma once

#include <memory>

#include "pelmo/stream.h"

namespace pelmo::host {

// Binary writes take byte arrays only; text reads decode through ICU. Calls out of order fail
// with an AutomationError. Malformed input decodes to U+FFFD.
std::unique_ptr<Stream> make_icu_stream();

}  // namespace pelmo::host
