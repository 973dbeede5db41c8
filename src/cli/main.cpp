// The `pelmo` command: calls any method of the component from a shell.
#include <exception>
#include <iostream>
#include <optional>
#include <string_view>
#include <vector>

#include "cli/command_line.h"
#include "cli/demo_command.h"
#include "cli/event_log_option.h"
#include "cli/input_lines.h"
#include "cli/local_target.h"

namespace {

// The command only this face has: the demo, which serves its sample site from this process.
std::optional<int> run_own_command(const std::vector<std::string_view>& words, std::ostream& out,
                                   std::ostream& err) {
  if (words.size() != 1 || words[0] != "demo") return std::nullopt;
  try {
    return pelmo::cli::run_demo(out);
  } catch (const std::exception& e) {
    err << "pelmo demo: " << e.what() << "\n";
    return 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const pelmo::cli::CommandFace face{pelmo::cli::usage_text(true), pelmo::cli::make_local_target,
                                     pelmo::cli::read_standard_input,
                                     [] {
                                       return pelmo::cli::InfoSubject{PELMO_VERSION, std::nullopt};
                                     },
                                     run_own_command};
  pelmo::cli::route_events_as_asked(std::cerr);
  // Calls report their own failures as JSON; whatever still escapes ends here, not in abort.
  try {
    return pelmo::cli::run_command({argv + 1, argv + argc}, face, std::cout, std::cerr);
  } catch (const std::exception& e) {
    std::cerr << "pelmo: " << e.what() << "\n";
  } catch (...) {
    std::cerr << "pelmo: unexpected failure\n";
  }
  return 1;
}
