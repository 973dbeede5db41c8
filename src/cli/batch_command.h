// `pelmo batch [--no-page] [--request-method M]`: one object for a whole session, one call a line
// on standard input, one answer line each on standard output.
#pragma once

#include <istream>
#include <ostream>
#include <string_view>
#include <vector>

namespace pelmo::cli {

// Returns the exit status: 0 every call succeeded, 1 one failed or was refused, 2 usage error
// of the command line.
int run_batch(const std::vector<std::string_view>& words, std::istream& in, std::ostream& out,
              std::ostream& err);

}  // namespace pelmo::cli
