#include "cli/probe_output.h"

#include <cstdio>
#include <sstream>

#include "cli/json_writer.h"
#include "pelmo/text.h"

namespace pelmo::cli {

namespace {

std::string figure(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

// Milliseconds are enough for a call that goes to the network, and every reader of the
// outputs takes a plain decimal.
std::string seconds_text(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", seconds);
  return text;
}

std::string json_text(const std::string& utf8) { return json_string(from_utf8(utf8)); }

std::string figures(const CheckResult& result) {
  std::string out;
  if (result.records) out += std::to_string(*result.records) + " records, ";
  for (const auto& [field, percent] : result.filled) {
    out += field + " filled " + figure(percent) + "%, ";
  }
  return out + seconds_text(result.seconds) + " s";
}

// A performance-data label: quoted, a quote doubled, '=' (which ends a label) replaced.
std::string perf_label(const std::string& name, const std::string& what) {
  std::string out = "'";
  for (const char c : name + " " + what) {
    if (c == '\'') {
      out += "''";
    } else {
      out += c == '=' ? '_' : c;
    }
  }
  return out + "'";
}

std::string prometheus_label(const std::string& value) {
  std::string out;
  for (const char c : value) {
    if (c == '\\' || c == '"') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::string summary(const std::vector<CheckResult>& results, ProbeState worst) {
  std::size_t warn = 0, crit = 0;
  for (const CheckResult& result : results) {
    warn += result.state == ProbeState::kWarning;
    crit += result.state == ProbeState::kCritical;
  }
  const std::string of = " of " + std::to_string(results.size()) + " checks ";
  if (worst == ProbeState::kCritical) {
    return std::to_string(crit) + of + "critical" +
           (warn > 0 ? ", " + std::to_string(warn) + " warn" : "");
  }
  if (worst == ProbeState::kWarning) return std::to_string(warn) + of + "warn";
  return std::to_string(results.size()) + of + "OK";
}

}  // namespace

void write_probe_text(const std::vector<CheckResult>& results, std::ostream& out) {
  for (const CheckResult& result : results) {
    out << state_name(result.state) << " " << result.check->name << ": " << figures(result);
    for (const std::string& reason : result.reasons) out << "; " << reason;
    out << "\n";
  }
}

void write_probe_json(const std::vector<CheckResult>& results, std::ostream& out) {
  for (const CheckResult& result : results) {
    out << "{\"name\":" << json_text(result.check->name) << ",\"state\":\""
        << state_name(result.state) << "\",\"status\":" << static_cast<int>(result.state)
        << ",\"seconds\":" << seconds_text(result.seconds);
    if (result.records) out << ",\"records\":" << *result.records;
    if (!result.filled.empty()) {
      out << ",\"filled\":{";
      const char* comma = "";
      for (const auto& [field, percent] : result.filled) {
        out << comma << json_text(field) << ":" << figure(percent);
        comma = ",";
      }
      out << "}";
    }
    if (!result.missing.empty()) {
      out << ",\"missing\":[";
      const char* comma = "";
      for (const std::string& text : result.missing) {
        out << comma << json_text(text);
        comma = ",";
      }
      out << "]";
    }
    if (result.error) {
      out << ",\"error\":{\"number\":" << result.error->first
          << ",\"description\":" << json_text(result.error->second) << "}";
    }
    out << ",\"reasons\":[";
    const char* comma = "";
    for (const std::string& reason : result.reasons) {
      out << comma << json_text(reason);
      comma = ",";
    }
    out << "]}\n";
  }
}

void write_probe_plugin(const std::vector<CheckResult>& results, std::ostream& out) {
  const ProbeState worst = overall_state(results);
  out << "PELMO PROBE " << state_name(worst) << " - " << summary(results, worst) << " |";
  for (const CheckResult& result : results) {
    const ProbeCheck& check = *result.check;
    if (result.records) {
      out << " " << perf_label(check.name, "records") << "=" << *result.records;
      // Fewer is worse: the range "N:" alerts below N.
      if (check.records) {
        out << ";" << figure(check.records->warn) << ":;" << figure(check.records->crit) << ":";
      }
    }
    for (const auto& [field, percent] : result.filled) {
      out << " " << perf_label(check.name, "filled " + field) << "=" << figure(percent) << "%;"
          << figure(check.filled_percent.warn) << ":;" << figure(check.filled_percent.crit)
          << ":;0;100";
    }
    out << " " << perf_label(check.name, "seconds") << "=" << seconds_text(result.seconds) << "s";
    if (check.seconds) {
      out << ";" << figure(check.seconds->warn) << ";" << figure(check.seconds->crit);
    }
  }
  out << "\n";
  write_probe_text(results, out);
}

void write_probe_plugin_unknown(const std::string& why, std::ostream& out) {
  out << "PELMO PROBE UNKNOWN - " << why << "\n";
}

std::string probe_prometheus_text(const std::vector<CheckResult>& results, bool file_valid,
                                  double unix_seconds) {
  std::ostringstream out;
  auto family = [&](const char* name, const char* help) {
    out << "# HELP " << name << " " << help << "\n# TYPE " << name << " gauge\n";
  };
  auto check_label = [](const CheckResult& result) {
    return "check=\"" + prometheus_label(result.check->name) + "\"";
  };
  family("pelmo_probe_file_valid", "1 when the probe file could be read and understood.");
  out << "pelmo_probe_file_valid " << (file_valid ? 1 : 0) << "\n";
  family("pelmo_probe_last_run_timestamp_seconds", "When the probe ran, in Unix time.");
  // To the millisecond, as the other times: six significant digits would round it by hours.
  out << "pelmo_probe_last_run_timestamp_seconds " << seconds_text(unix_seconds) << "\n";
  if (results.empty()) return out.str();

  family("pelmo_probe_state", "The check's state: 0 OK, 1 WARNING, 2 CRITICAL.");
  for (const CheckResult& result : results) {
    out << "pelmo_probe_state{" << check_label(result) << "} " << static_cast<int>(result.state)
        << "\n";
  }
  family("pelmo_probe_seconds", "How long the check's call took.");
  for (const CheckResult& result : results) {
    out << "pelmo_probe_seconds{" << check_label(result) << "} " << seconds_text(result.seconds)
        << "\n";
  }
  family("pelmo_probe_records", "Records in the call's result.");
  for (const CheckResult& result : results) {
    if (result.records) {
      out << "pelmo_probe_records{" << check_label(result) << "} " << *result.records << "\n";
    }
  }
  family("pelmo_probe_filled_ratio", "Share of the records whose field is not empty.");
  for (const CheckResult& result : results) {
    for (const auto& [field, percent] : result.filled) {
      out << "pelmo_probe_filled_ratio{" << check_label(result) << ",field=\""
          << prometheus_label(field) << "\"} " << figure(percent / 100) << "\n";
    }
  }
  family("pelmo_probe_missing_texts", "Texts of the check's contains that were not found.");
  for (const CheckResult& result : results) {
    out << "pelmo_probe_missing_texts{" << check_label(result) << "} " << result.missing.size()
        << "\n";
  }
  family("pelmo_probe_error_number", "The call's automation error number; 0 when it succeeded.");
  for (const CheckResult& result : results) {
    out << "pelmo_probe_error_number{" << check_label(result) << "} "
        << (result.error ? result.error->first : 0) << "\n";
  }
  return out.str();
}

}  // namespace pelmo::cli
