// `pelmo info [--json]`: what this installation is and what it reads: the command's version,
// the module a platform registers (where there is one), and every operator setting with its
// value in use and where that value came from.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace pelmo::cli {

// One fact about the registered module: `key` names it in the JSON form ("file_version") and,
// with its underscores as spaces, in the text form.
struct InfoField {
  std::string key;
  std::string value;  // UTF-8
};

struct InfoSubject {
  std::string_view version;                      // the command's
  std::optional<std::vector<InfoField>> module;  // nothing where no module is registered
};

// Text for people by default, one JSON object with `--json`. Returns the exit status: 0, or 2
// for a usage error.
int run_info(const std::vector<std::string_view>& words, const InfoSubject& subject,
             std::ostream& out, std::ostream& err);

}  // namespace pelmo::cli
