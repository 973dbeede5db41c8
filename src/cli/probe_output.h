// The probe's four outputs: lines for a person, JSON lines, the monitoring-plugin status line
// with performance data, and the text exposition format for a node exporter's textfile
// collector.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/probe_checks.h"

namespace pelmo::cli {

// One line per check: the state, the name, the figures, and the reasons when not OK.
void write_probe_text(const std::vector<CheckResult>& results, std::ostream& out);
// One JSON object per check and line.
void write_probe_json(const std::vector<CheckResult>& results, std::ostream& out);
// "PELMO PROBE STATE - summary | perfdata", then the person's lines as the long output.
void write_probe_plugin(const std::vector<CheckResult>& results, std::ostream& out);
// The plugin line for a probe file that could not be used.
void write_probe_plugin_unknown(const std::string& why, std::ostream& out);

// One sample per check and figure; `unix_seconds` is when the probe ran. For a probe file
// that could not be used (no results, `file_valid` false) only the file's state and the time.
std::string probe_prometheus_text(const std::vector<CheckResult>& results, bool file_valid,
                                  double unix_seconds);

}  // namespace pelmo::cli
