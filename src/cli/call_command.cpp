#include "cli/call_command.h"

#include <memory>
#include <new>
#include <string>

#include "cli/arg_words.h"
#include "cli/json_writer.h"
#include "host/local_page.h"
#include "pelmo/catalogue.h"
#include "pelmo/error.h"
#include "pelmo/identity.h"
#include "pelmo/object.h"
#include "pelmo/text.h"

namespace pelmo::cli {

namespace {

struct CallRequest {
  bool with_page = true;
  std::u16string request_method = u"GET";
  const MethodEntry* method = nullptr;
  std::vector<Variant> args;
};

CallRequest parse_call(const std::vector<std::string_view>& words) {
  CallRequest request;
  std::size_t i = 0;
  for (; i < words.size() && words[i].starts_with("--"); ++i) {
    if (words[i] == "--no-page") {
      request.with_page = false;
    } else if (words[i] == "--request-method") {
      if (++i == words.size()) throw UsageError("--request-method needs a value");
      request.request_method = from_utf8(words[i]);
    } else {
      throw UsageError("unknown option: " + std::string(words[i]));
    }
  }
  if (i == words.size()) throw UsageError("call needs a method name");
  request.method = find_method(words[i]);
  if (request.method == nullptr) throw UsageError("no such method: " + std::string(words[i]));
  if (request.method->is_page_hook()) {
    throw UsageError(std::string(request.method->name) + " is a page hook, not callable this way");
  }
  for (++i; i < words.size(); ++i) request.args.push_back(parse_arg_word(words[i]));
  if (request.args.size() != request.method->params.size()) {
    throw UsageError(std::string(request.method->name) + " takes " +
                     std::to_string(request.method->params.size()) + " argument(s), " +
                     std::to_string(request.args.size()) + " given");
  }
  return request;
}

}  // namespace

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
  CallRequest request;
  try {
    request = parse_call(words);
  } catch (const UsageError& e) {
    err << "pelmo: " << e.what() << "\n";
    return 2;
  }

  std::shared_ptr<_zaverer> object;
  const CallOutcome outcome = call_outcome(
      [&] {
        object = create_object(identity::kProgId);
        if (request.with_page) object->OnStartPage(host::make_local_page(request.request_method));
        return invoke_method(*object, *request.method, request.args);
      },
      request.args);
  if (object && request.with_page) object->OnEndPage();
  out << outcome.json << "\n";
  return outcome.status;
}

int run_methods(std::ostream& out) {
  for (const MethodEntry& entry : catalogue()) {
    out << entry.slot << ' ' << entry.name;
    for (std::string_view param : entry.params) out << ' ' << param;
    out << '\n';
  }
  return 0;
}

}  // namespace pelmo::cli
