// The command's words, shared by its faces: `pelmo` on Linux and `pelmo.exe` on Windows take the
// same commands and print the same lines; each face brings its object and its standard input.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/call_target.h"
#include "cli/info_command.h"
#include "cli/input_lines.h"

namespace pelmo::cli {

struct CommandFace {
  // The usage text of --help and of a usage error.
  std::string usage;
  ConnectTarget connect;
  LineReader::Read read_input;
  // What `info` shows: the command's version and, where the platform registers one, the module.
  std::function<InfoSubject()> info_subject;
  // A command only this face has (`demo` on Linux): its exit status, or nothing when the words
  // are not its command.
  std::function<std::optional<int>(const std::vector<std::string_view>& words, std::ostream& out,
                                   std::ostream& err)>
      own_command;
};

// The usage text common to both faces; `with_local_commands` adds the Linux command's demo and
// its standard-error event log.
std::string usage_text(bool with_local_commands);

// Runs the words after the program's name; the exit status.
int run_command(const std::vector<std::string_view>& words, const CommandFace& face,
                std::ostream& out, std::ostream& err);

}  // namespace pelmo::cli
