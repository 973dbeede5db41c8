#include "cli/probe_command.h"

#include <chrono>
#include <exception>
#include <optional>
#include <string>

#include "cli/atomic_file.h"
#include "cli/probe_checks.h"
#include "cli/probe_file.h"
#include "cli/probe_output.h"

namespace pelmo::cli {

namespace {

enum class Mode { kText, kJson, kPlugin, kPrometheus };

struct ProbeOptions {
  std::string file;
  Mode mode = Mode::kText;
  std::string prometheus_file;
};

constexpr int kUnknown = static_cast<int>(ProbeState::kUnknown);

// Returns the options, or nothing after telling `err` what is wrong.
std::optional<ProbeOptions> parse_options(const std::vector<std::string_view>& words,
                                          std::ostream& err) {
  ProbeOptions options;
  bool mode_given = false;
  auto usage = [&](const std::string& what) {
    err << "pelmo probe: " << what
        << "\nusage: pelmo probe FILE [--json | --plugin | --prometheus OUT]\n";
    return std::nullopt;
  };
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string_view word = words[i];
    std::optional<Mode> mode;
    if (word == "--json") mode = Mode::kJson;
    if (word == "--plugin") mode = Mode::kPlugin;
    if (word == "--prometheus") {
      if (i + 1 == words.size()) return usage("--prometheus needs the file to write");
      options.prometheus_file = std::string(words[++i]);
      mode = Mode::kPrometheus;
    }
    if (mode) {
      if (mode_given) return usage("one output mode at a time");
      mode_given = true;
      options.mode = *mode;
    } else if (word.starts_with("--")) {
      return usage("unknown option " + std::string(word));
    } else if (!options.file.empty()) {
      return usage("one probe file at a time");
    } else {
      options.file = std::string(word);
    }
  }
  if (options.file.empty()) return usage("no probe file");
  return options;
}

double unix_seconds() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

int write_prometheus(const ProbeOptions& options, const std::vector<CheckResult>& results,
                     bool file_valid, int status, std::ostream& err) {
  try {
    replace_file_atomically(options.prometheus_file,
                            probe_prometheus_text(results, file_valid, unix_seconds()));
  } catch (const std::exception& e) {
    err << "pelmo probe: " << e.what() << "\n";
    return kUnknown;
  }
  return status;
}

}  // namespace

int run_probe(const std::vector<std::string_view>& words, const ProbeCallerFactory& make_caller,
              std::ostream& out, std::ostream& err) {
  const std::optional<ProbeOptions> options = parse_options(words, err);
  if (!options) return kUnknown;

  std::vector<ProbeCheck> checks;
  try {
    checks = read_probe_file(options->file);
  } catch (const ProbeFileError& e) {
    const std::string why = options->file + ": " + e.what();
    if (options->mode == Mode::kPlugin) {
      write_probe_plugin_unknown(why, out);
    } else {
      err << "pelmo probe: " << why << "\n";
    }
    if (options->mode == Mode::kPrometheus) write_prometheus(*options, {}, false, kUnknown, err);
    return kUnknown;
  }

  std::vector<CheckResult> results;
  {
    const std::unique_ptr<ProbeCaller> caller = make_caller();
    results = run_checks(checks, *caller);
  }
  const int status = static_cast<int>(overall_state(results));
  switch (options->mode) {
    case Mode::kText:
      write_probe_text(results, out);
      break;
    case Mode::kJson:
      write_probe_json(results, out);
      break;
    case Mode::kPlugin:
      write_probe_plugin(results, out);
      break;
    case Mode::kPrometheus:
      return write_prometheus(*options, results, true, status, err);
  }
  return status;
}

}  // namespace pelmo::cli
