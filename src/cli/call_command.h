// `pelmo call [--no-page] [--request-method M] METHOD [ARG ...]` and `pelmo methods`.
#pragma once

#include <ostream>
#include <string_view>
#include <vector>

namespace pelmo::cli {

// Returns the exit status: 0 success, 1 the method failed, 2 usage error.
int run_call(const std::vector<std::string_view>& words, std::ostream& out, std::ostream& err);
int run_methods(std::ostream& out);

}  // namespace pelmo::cli
