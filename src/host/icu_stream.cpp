#include "host/icu_stream.h"

#include "pelmo/error.h"

namespace pelmo::host {
std::unique_ptr<Stream> make_icu_stream() { throw_invalid_call("stream: TODO"); }
}  // namespace pelmo::host
