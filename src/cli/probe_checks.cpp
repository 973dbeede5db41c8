#include "cli/probe_checks.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "cli/result_records.h"
#include "pelmo/text.h"

namespace pelmo::cli {

namespace {

std::string figure(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3g", value);
  return text;
}

std::string error_number(std::int32_t number) {
  char text[32];
  if (number < 0 || number > 0xFFFF) {
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(number));
  } else {
    std::snprintf(text, sizeof text, "%d", number);
  }
  return text;
}

void worsen(CheckResult& result, ProbeState state, std::string reason) {
  result.state = std::max(result.state, state);
  result.reasons.push_back(std::move(reason));
}

// Whether the text is in the value: a text, the texts of an array, or bytes holding its UTF-8.
bool holds(const Variant& value, const std::string& text) {
  switch (value.type()) {
    case VarType::String:
      return value.as_string().find(from_utf8(text)) != std::u16string::npos;
    case VarType::Bytes: {
      const Bytes& bytes = value.as_bytes();
      return std::search(bytes.begin(), bytes.end(), text.begin(), text.end(),
                         [](std::uint8_t b, char c) {
                           return b == static_cast<std::uint8_t>(c);
                         }) != bytes.end();
    }
    case VarType::Array:
      return std::any_of(value.as_array().begin(), value.as_array().end(),
                         [&](const Variant& item) { return holds(item, text); });
    default:
      return false;
  }
}

void judge_records(const ProbeCheck& check, const CallAnswer& answer, CheckResult& result) {
  if (!check.records && check.filled.empty()) return;
  const std::vector<Record> records = result_records(check.call.method->name, answer.result);
  result.records = records.size();
  if (check.records) {
    const double count = static_cast<double>(records.size());
    if (count < check.records->crit) {
      worsen(result, ProbeState::kCritical,
             "records " + std::to_string(records.size()) + " below " + figure(check.records->crit));
    } else if (count < check.records->warn) {
      worsen(result, ProbeState::kWarning,
             "records " + std::to_string(records.size()) + " below " + figure(check.records->warn));
    }
  }
  if (records.empty()) return;  // nothing to be filled; the count says what matters
  for (const std::string& field : check.filled) {
    const auto filled = std::count_if(records.begin(), records.end(), [&](const Record& record) {
      return !field_value(record, field).empty();
    });
    const double percent =
        100.0 * static_cast<double>(filled) / static_cast<double>(records.size());
    result.filled.emplace_back(field, percent);
    const std::string told = field + " filled in " + figure(percent) + "% of records, below ";
    if (percent < check.filled_percent.crit) {
      worsen(result, ProbeState::kCritical, told + figure(check.filled_percent.crit) + "%");
    } else if (percent < check.filled_percent.warn) {
      worsen(result, ProbeState::kWarning, told + figure(check.filled_percent.warn) + "%");
    }
  }
}

}  // namespace

const char* state_name(ProbeState state) {
  switch (state) {
    case ProbeState::kOk:
      return "OK";
    case ProbeState::kWarning:
      return "WARNING";
    case ProbeState::kCritical:
      return "CRITICAL";
    default:
      return "UNKNOWN";
  }
}

CheckResult judge(const ProbeCheck& check, const CallAnswer& answer, double seconds) {
  CheckResult result;
  result.check = &check;
  result.seconds = seconds;
  if (!answer.ok) {
    result.error.emplace(answer.number, answer.description);
    worsen(result, ProbeState::kCritical,
           "error " + error_number(answer.number) + ": " + answer.description);
  } else {
    judge_records(check, answer, result);
    for (const std::string& text : check.contains) {
      const bool found = holds(answer.result, text) ||
                         std::any_of(answer.args.begin(), answer.args.end(),
                                     [&](const Variant& arg) { return holds(arg, text); });
      if (!found) {
        result.missing.push_back(text);
        worsen(result, ProbeState::kCritical, "missing \"" + text + "\"");
      }
    }
  }
  if (check.seconds) {
    if (seconds > check.seconds->crit) {
      worsen(result, ProbeState::kCritical,
             figure(seconds) + " s over " + figure(check.seconds->crit) + " s");
    } else if (seconds > check.seconds->warn) {
      worsen(result, ProbeState::kWarning,
             figure(seconds) + " s over " + figure(check.seconds->warn) + " s");
    }
  }
  return result;
}

std::vector<CheckResult> run_checks(const std::vector<ProbeCheck>& checks, ProbeCaller& caller) {
  std::vector<CheckResult> results;
  for (const ProbeCheck& check : checks) {
    const auto start = std::chrono::steady_clock::now();
    const CallAnswer answer = caller.call(check.call);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    results.push_back(judge(check, answer, took.count()));
  }
  return results;
}

ProbeState overall_state(const std::vector<CheckResult>& results) {
  ProbeState worst = ProbeState::kOk;
  for (const CheckResult& result : results) worst = std::max(worst, result.state);
  return worst;
}

}  // namespace pelmo::cli
