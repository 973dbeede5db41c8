// `pelmo call [--no-page] [--request-method M] METHOD [ARG ...]`, and the pieces of a call that
// `pelmo batch` shares.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/call_target.h"
#include "pelmo/variant.h"

namespace pelmo::cli {

// How one call ended: its result, or the error number and description of its failure.
struct CallOutcome {
  std::optional<Variant> result;
  std::int32_t number = 0;
  std::string description;

  // The exit status: 0 when the call succeeded and 1 when it failed.
  int status() const { return result ? 0 : 1; }
};

// Runs `call` (the method, with whatever page hooks go with it) and keeps its result or its
// failure. An automation error keeps its number, running out of memory is error 7 and any other
// exception is E_UNEXPECTED, so nothing but the outcome leaves.
CallOutcome call_outcome(const std::function<Variant()>& call);

// The outcome's JSON line with its line feed; `args` are the caller's variables, read after the
// call. Written as it is produced, so a long result is not held again in its escaped form.
void write_outcome(std::ostream& out, const CallOutcome& outcome, const std::vector<Variant>& args);

// Returns the exit status: 0 success, 1 the method failed, 2 usage error or an object that
// cannot be reached.
int run_call(const std::vector<std::string_view>& words, const ConnectTarget& connect,
             std::ostream& out, std::ostream& err);

struct MethodCall {
  const MethodShape* method = nullptr;
  std::vector<Variant> args;
};

// The leading options; returns how many words they took. Throws UsageError.
std::size_t parse_page_options(std::span<const std::string_view> words, PageOptions& options);
// The method name, looked up among the object's methods, and its argument words. Throws
// UsageError.
MethodCall parse_method_call(const std::vector<MethodShape>& methods,
                             std::span<const std::string_view> words);

// Calls the method and writes its JSON line; returns 0 when it succeeded, 1 when it failed.
int call_and_report(CallTarget& target, MethodCall& call, std::ostream& out);

// Tells the operator, one line each, about settings that were ignored for being invalid.
void warn_ignored_settings(std::ostream& err);

}  // namespace pelmo::cli
