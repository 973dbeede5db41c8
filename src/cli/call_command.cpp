#include "cli/call_command.h"

#include <memory>
#include <new>
#include <sstream>
#include <string>

#include "cli/arg_words.h"
#include "cli/json_writer.h"
#include "config/event_log_settings.h"
#include "config/fetch_cache_settings.h"
#include "pelmo/error.h"
#include "pelmo/identity.h"
#include "pelmo/local_page.h"
#include "pelmo/object.h"
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

MethodCall parse_method_call(std::span<const std::string_view> words) {
  if (words.empty()) throw UsageError("call needs a method name");
  MethodCall call;
  call.method = find_method(words[0]);
  if (call.method == nullptr) throw UsageError("no such method: " + std::string(words[0]));
  if (call.method->is_page_hook()) {
    throw UsageError(std::string(call.method->name) + " is a page hook, not callable this way");
  }
  for (std::string_view word : words.subspan(1)) call.args.push_back(parse_arg_word(word));
  if (call.args.size() != call.method->params.size()) {
    throw UsageError(std::string(call.method->name) + " takes " +
                     std::to_string(call.method->params.size()) + " argument(s), " +
                     std::to_string(call.args.size()) + " given");
  }
  return call;
}

std::shared_ptr<_zaverer> open_object(const PageOptions& options) {
  std::shared_ptr<_zaverer> object = create_object(identity::kProgId);
  if (options.with_page) {
    try {
      object->OnStartPage(host::make_local_page(options.request_method));
    } catch (const AutomationError&) {
      object->OnEndPage();
      throw;
    }
  }
  return object;
}

void close_object(_zaverer& object, const PageOptions& options) {
  if (options.with_page) object.OnEndPage();
}

int call_and_report(_zaverer& object, MethodCall& call, std::ostream& out) {
  const CallOutcome outcome =
      call_outcome([&] { return invoke_method(object, *call.method, call.args); }, call.args);
  out << outcome.json << "\n";
  return outcome.status;
}

void warn_ignored_settings(std::ostream& err) {
  std::istringstream lines(fetch_cache_settings().ignored + event_log_level().ignored);
  for (std::string line; std::getline(lines, line);) err << "pelmo: " << line << "\n";
}

CallOutcome call_outcome(const std::function<Variant()>& call, const std::vector<Variant>& args) {
  std::int32_t number = err::kUnexpected;
  std::string description;
  try {
    const Variant result = call();
    return {json_success(result, args), 0};
  } catch (const AutomationError& e) {
    number = e.number();
    description = e.description();
  } catch (const std::bad_alloc&) {
    // The call's own memory is given back by now, so the failure line can still be written.
    number = err::kOutOfMemory;
    description = "Out of memory";
  } catch (const std::exception& e) {
    description = e.what();
  }
  return {json_failure(number, description, args), 1};
}

Variant invoke_method(_zaverer& object, const MethodEntry& method, std::vector<Variant>& args) {
  std::vector<Variant*> refs;
  for (Variant& arg : args) refs.push_back(&arg);
  Variant result;
  method.invoke(object, refs, result);
  return result;
}

int run_call(const std::vector<std::string_view>& words, std::ostream& out, std::ostream& err) {
  PageOptions options;
  MethodCall call;
  try {
    const std::size_t taken = parse_page_options(words, options);
    call = parse_method_call(std::span(words).subspan(taken));
  } catch (const UsageError& e) {
    err << "pelmo: " << e.what() << "\n";
    return 2;
  }
  warn_ignored_settings(err);

  std::shared_ptr<_zaverer> object;
  const CallOutcome outcome = call_outcome(
      [&] {
        object = open_object(options);
        return invoke_method(*object, *call.method, call.args);
      },
      call.args);
  if (object) close_object(*object, options);
  out << outcome.json << "\n";
  return outcome.status;
}

}  // namespace pelmo::cli
