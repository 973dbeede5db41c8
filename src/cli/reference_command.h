// `pelmo methods [--text]` and `pelmo help [METHOD]`: the interface as the object describes it,
// and the method reference embedded from docs/methods.md.
#pragma once

#include <ostream>
#include <string_view>
#include <vector>

#include "cli/call_target.h"

namespace pelmo::cli {

// `methods`: one line per slot of the object `connect` reaches, "SLOT NAME PARAM ...", single
// spaces, for scripts to parse; `methods --text`: the same with each method's summary, for
// people. An object that cannot be reached is told on `err` with status 2.
int run_methods(const std::vector<std::string_view>& words, const ConnectTarget& connect,
                std::ostream& out, std::ostream& err);

// `help`: every method with its parameters and summary; `help METHOD` (any letter case): that
// method's section of the reference as plain text. An unknown method is a usage error (2).
int run_help(const std::vector<std::string_view>& words, std::ostream& out, std::ostream& err);

}  // namespace pelmo::cli
