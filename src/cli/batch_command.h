// `pelmo batch [--no-page] [--request-method M]`: one object for a whole session, one call a line
// on standard input, one answer line each on standard output.
#pragma once

#include <ostream>
#include <string_view>
#include <vector>

#include "cli/call_target.h"
#include "cli/input_lines.h"

namespace pelmo::cli {

// Reads the calls through `read` (standard input in the command). Returns the exit status: 0
// every call succeeded, 1 one failed or was refused, 2 a usage error of the command line, an
// object that cannot be reached or a failure to read the input.
int run_batch(const std::vector<std::string_view>& words, const ConnectTarget& connect,
              const LineReader::Read& read, std::ostream& out, std::ostream& err);

}  // namespace pelmo::cli
