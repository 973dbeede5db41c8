// How the probe reaches the component: one small interface, so each face brings its own path
// (the library here, the registered module through `pelmo.exe` on Windows) and the checks, the
// states and the outputs stay the same.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli/call_command.h"
#include "cli/call_target.h"
#include "pelmo/variant.h"

namespace pelmo::cli {

// One call's answer, as `pelmo batch` would print it.
struct CallAnswer {
  bool ok = false;
  std::int32_t number = 0;  // the automation error number when not ok
  std::string description;  // UTF-8
  Variant result;
  std::vector<Variant> args;  // the caller's variables after the call
};

class ProbeCaller {
 public:
  virtual ~ProbeCaller() = default;
  virtual CallAnswer call(MethodCall call) = 0;
};

// The object the command's face connects to (the library here, the registered module in
// pelmo.exe), driven as `pelmo batch` drives it: one object for every check, its page started
// once.
std::unique_ptr<ProbeCaller> make_target_caller(const ConnectTarget& connect);

}  // namespace pelmo::cli
