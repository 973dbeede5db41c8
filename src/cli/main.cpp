// The `pelmo` command: calls any method of the component from a shell.
#include <exception>
#include <iostream>
#include <string_view>
#include <vector>

#include "cli/batch_command.h"
#include "cli/call_command.h"
#include "cli/demo_command.h"
#include "cli/event_log_option.h"
#include "cli/input_lines.h"
#include "cli/probe_caller.h"
#include "cli/probe_command.h"
#include "cli/reference_command.h"

namespace {

constexpr std::string_view kUsage =
    "usage: pelmo call [--no-page] [--request-method M] METHOD [ARG ...]\n"
    "       pelmo batch [--no-page] [--request-method M]   (calls as JSON lines on stdin)\n"
    "       pelmo methods [--text]   (slots and parameters; --text adds each summary)\n"
    "       pelmo help [METHOD]      (every method's summary, or one method's reference)\n"
    "       pelmo probe FILE [--json | --plugin | --prometheus OUT]\n"
    "       pelmo demo\n"
    "       pelmo --help | --version\n"
    "\n"
    "ARG words: empty, null, s:TEXT, u:HHHH..., sf:PATH, n:NUMBER, i:NUMBER, l:NUMBER,\n"
    "           b:true, b:false, x:HEX, xf:PATH\n"
    "Files of sf: and xf: are regular files of at most 256 MiB.\n"
    "Output of call: one JSON line; exit 0 success, 1 the method failed, 2 usage error.\n"
    "Batch input: one JSON array of strings a line, e.g. [\"FNum\",\"s:1, 2\"], up to 64 MiB;\n"
    "           one answer line each; exit 0 all succeeded, 1 one failed or was refused,\n"
    "           2 usage error or standard input unreadable.\n"
    "Probe: one JSON check a line in FILE (see docs/probes.md); exit 0 OK, 1 WARNING,\n"
    "           2 CRITICAL, 3 UNKNOWN (also for a probe file or command line that cannot be "
    "used).\n"
    "Hosts: PELMO_AFFILIATE_HOST, PELMO_SHOPNAV_DOMAIN, PELMO_LOTTERY_HOST, PELMO_NEWS_HOST\n"
    "Fetch cache (off by default): PELMO_FETCH_CACHE_SECONDS, PELMO_FETCH_STALE_SECONDS,\n"
    "           PELMO_FETCH_CACHE_MB\n"
    "Events: PELMO_EVENT_LOG_LEVEL (0 off, 1 errors, 2 warnings, 3 information; 2),\n"
    "           PELMO_LOG=stderr writes them to standard error\n";

int run(const std::vector<std::string_view>& words) {
  pelmo::cli::route_events_as_asked(std::cerr);
  if (words.empty()) {
    std::cerr << kUsage;
    return 2;
  }
  const std::string_view command = words.front();
  if (command == "--help" || command == "-h") {
    std::cout << kUsage;
    return 0;
  }
  if (command == "--version") {
    std::cout << "pelmo " << PELMO_VERSION << "\n";
    return 0;
  }
  if (command == "methods") {
    return pelmo::cli::run_methods({words.begin() + 1, words.end()}, std::cout, std::cerr);
  }
  if (command == "help") {
    return pelmo::cli::run_help({words.begin() + 1, words.end()}, std::cout, std::cerr);
  }
  if (command == "demo" && words.size() == 1) {
    try {
      return pelmo::cli::run_demo(std::cout);
    } catch (const std::exception& e) {
      std::cerr << "pelmo demo: " << e.what() << "\n";
      return 1;
    }
  }
  if (command == "batch") {
    return pelmo::cli::run_batch({words.begin() + 1, words.end()}, pelmo::cli::read_standard_input,
                                 std::cout, std::cerr);
  }
  if (command == "probe") {
    return pelmo::cli::run_probe({words.begin() + 1, words.end()}, pelmo::cli::make_library_caller,
                                 std::cout, std::cerr);
  }
  if (command == "call") {
    return pelmo::cli::run_call({words.begin() + 1, words.end()}, std::cout, std::cerr);
  }
  std::cerr << "pelmo: unknown command: " << command << "\n" << kUsage;
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // Calls report their own failures as JSON; whatever still escapes ends here, not in abort.
  try {
    return run({argv + 1, argv + argc});
  } catch (const std::exception& e) {
    std::cerr << "pelmo: " << e.what() << "\n";
  } catch (...) {
    std::cerr << "pelmo: unexpected failure\n";
  }
  return 1;
}
