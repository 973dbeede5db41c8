// Running the probe file's checks and judging each: its state and the figures behind it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/probe_caller.h"
#include "cli/probe_file.h"

namespace pelmo::cli {

// Numbered as the monitoring-plugin convention numbers them, which is also the exit status.
enum class ProbeState { kOk = 0, kWarning = 1, kCritical = 2, kUnknown = 3 };

const char* state_name(ProbeState state);

struct CheckResult {
  const ProbeCheck* check = nullptr;
  ProbeState state = ProbeState::kOk;
  double seconds = 0;
  std::optional<std::size_t> records;                  // for the methods with records
  std::vector<std::pair<std::string, double>> filled;  // field, percent of records
  std::vector<std::string> missing;                    // texts of `contains` not found
  std::optional<std::pair<std::int32_t, std::string>> error;
  std::vector<std::string> reasons;  // why the state is not OK
};

// Judges one answer against the check's expectations.
CheckResult judge(const ProbeCheck& check, const CallAnswer& answer, double seconds);

// Runs every check in file order through the caller, timing each call.
std::vector<CheckResult> run_checks(const std::vector<ProbeCheck>& checks, ProbeCaller& caller);

// The worst state of all; OK for none.
ProbeState overall_state(const std::vector<CheckResult>& results);

}  // namespace pelmo::cli
