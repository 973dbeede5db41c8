#include "cli/call_command.h"

#include <memory>
#include <new>
#include <string>

#include "cli/arg_words.h"
#include "cli/json_writer.h"
#include "config/operator_settings.h"
#include "pelmo/error.h"
#include "pelmo/text.h"

namespace pelmo::cli {

std::size_t parse_page_options(std::span<const std::string_view> words, PageOptions& options) {
  std::size_t i = 0;
  for (; i < words.size() && words[i].starts_with("--"); ++i) {
    if (words[i] == "--no-page") {
      options.with_page = false;
    } else if (words[i] == "--request-method") {
      if (++i == words.size()) throw UsageError("--request-method needs a value");
      options.request_method = from_utf8(words[i]);
    } else {
      throw UsageError("unknown option: " + std::string(words[i]));
    }
  }
  return i;
}

MethodCall parse_method_call(const std::vector<MethodShape>& methods,
                             std::span<const std::string_view> words) {
  if (words.empty()) throw UsageError("call needs a method name");
  MethodCall call;
  call.method = find_shape(methods, words[0]);
  if (call.method == nullptr) throw UsageError("no such method: " + std::string(words[0]));
  if (call.method->page_hook) {
    throw UsageError(call.method->name + " is a page hook, not callable this way");
  }
  for (std::string_view word : words.subspan(1)) call.args.push_back(parse_arg_word(word));
  if (call.args.size() != call.method->params.size()) {
    throw UsageError(call.method->name + " takes " + std::to_string(call.method->params.size()) +
                     " argument(s), " + std::to_string(call.args.size()) + " given");
  }
  return call;
}

int call_and_report(CallTarget& target, MethodCall& call, std::ostream& out) {
  const CallOutcome outcome = call_outcome([&] { return target.call(*call.method, call.args); });
  write_outcome(out, outcome, call.args);
  return outcome.status();
}

void warn_ignored_settings(std::ostream& err) {
  for (const SettingReading& reading : read_settings()) {
    if (const std::optional<std::string> note = rejection_note(reading)) {
      err << "pelmo: " << *note << "\n";
    }
  }
}

CallOutcome call_outcome(const std::function<Variant()>& call) {
  CallOutcome outcome;
  outcome.number = err::kUnexpected;
  try {
    outcome.result = call();
    outcome.number = 0;
  } catch (const AutomationError& e) {
    outcome.number = e.number();
    outcome.description = e.description();
  } catch (const std::bad_alloc&) {
    // The call's own memory is given back by now, so the failure line can still be written.
    outcome.number = err::kOutOfMemory;
    outcome.description = "Out of memory";
  } catch (const std::exception& e) {
    outcome.description = e.what();
  }
  return outcome;
}

void write_outcome(std::ostream& out, const CallOutcome& outcome,
                   const std::vector<Variant>& args) {
  if (outcome.result) {
    write_success(out, *outcome.result, args);
  } else {
    write_failure(out, outcome.number, outcome.description, args);
  }
  out << "\n";
}

int run_call(const std::vector<std::string_view>& words, const ConnectTarget& connect,
             std::ostream& out, std::ostream& err) {
  PageOptions options;
  MethodCall call;
  std::unique_ptr<CallTarget> target;
  try {
    const std::size_t taken = parse_page_options(words, options);
    target = connect();
    call = parse_method_call(target->methods(), std::span(words).subspan(taken));
  } catch (const UsageError& e) {
    err << "pelmo: " << e.what() << "\n";
    return 2;
  } catch (const TargetError& e) {
    err << "pelmo: " << e.what() << "\n";
    return 2;
  }
  warn_ignored_settings(err);

  bool opened = false;
  const CallOutcome outcome = call_outcome([&] {
    target->open(options);
    opened = true;
    return target->call(*call.method, call.args);
  });
  if (opened) target->close();
  write_outcome(out, outcome, call.args);
  return outcome.status();
}

}  // namespace pelmo::cli
