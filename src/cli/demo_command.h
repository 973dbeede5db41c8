// `pelmo demo`: the road of a request for every scraper and builder, against the demo site.
#pragma once

#include <ostream>

namespace pelmo::cli {

// Returns 0 when every step succeeded, 1 otherwise.
int run_demo(std::ostream& out);

}  // namespace pelmo::cli
