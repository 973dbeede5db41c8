// The stream on ICU converters.
#pragma once

#include <memory>

#include "host/stream.h"

namespace pelmo::host {

std::unique_ptr<Stream> make_icu_stream();

}  // namespace pelmo::host
