// `pelmo probe FILE [--json | --plugin | --prometheus OUT]`: runs the probe file's checks and
// tells their states, with the monitoring-plugin exit statuses (0 OK, 1 WARNING, 2 CRITICAL,
// 3 UNKNOWN); a command line or probe file that cannot be used is UNKNOWN.
#pragma once

#include <functional>
#include <memory>
#include <ostream>
#include <string_view>
#include <vector>

#include "cli/probe_caller.h"

namespace pelmo::cli {

using ProbeCallerFactory = std::function<std::unique_ptr<ProbeCaller>()>;

int run_probe(const std::vector<std::string_view>& words, const ProbeCallerFactory& make_caller,
              std::ostream& out, std::ostream& err);

}  // namespace pelmo::cli
