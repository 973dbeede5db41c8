// The probe file: one check per line, as a JSON object. Blank lines and lines starting with '#'
// are skipped. The words, kept stable for the files operators keep:
//
//   name      text, unique in the file: the check's name in every output
//   call      array of texts: a `pelmo batch` line, the method then its argument words
//   records   {"warn": N, "crit": M}: WARNING with fewer than N records, CRITICAL with fewer
//             than M (only for the methods whose result is a list of records)
//   filled    array of field names, or {"fields": [...], "warn": P, "crit": Q}: the share of
//             records with each field not empty; WARNING below P % (90), CRITICAL below Q % (50)
//   contains  array of texts the result (or a text the call wrote back) must hold; CRITICAL
//             when one is missing
//   seconds   {"warn": S, "crit": T}: WARNING when the call takes longer than S seconds,
//             CRITICAL longer than T
//
// Always: a call that fails with an automation error is CRITICAL.
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "cli/call_command.h"

namespace pelmo::cli {

struct Thresholds {
  double warn = 0;
  double crit = 0;
};

inline constexpr Thresholds kDefaultFilledPercent{90, 50};

struct ProbeCheck {
  std::size_t line = 0;
  std::string name;
  std::vector<std::string> words;  // the call as written
  MethodCall call;                 // the call as parsed; copied for every run
  std::optional<Thresholds> records;
  std::vector<std::string> filled;
  Thresholds filled_percent = kDefaultFilledPercent;
  std::vector<std::string> contains;
  std::optional<Thresholds> seconds;
};

// A probe file that cannot be read or understood; the message names the line.
class ProbeFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Probe files are short; a larger one is refused rather than read.
inline constexpr std::size_t kMaxProbeFileBytes = 1 << 20;

std::vector<ProbeCheck> parse_probe_file(std::string_view text);
std::vector<ProbeCheck> read_probe_file(const std::string& path);

}  // namespace pelmo::cli
