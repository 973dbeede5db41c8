#include "cli/call_command.h"

#include <memory>
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

int run_call(const std::vector<std::string_view>& words, std::ostream& out, std::ostream& err) {
  CallRequest request;
  try {
    request = parse_call(words);
  } catch (const UsageError& e) {
    err << "pelmo: " << e.what() << "\n";
    return 2;
  }

  std::vector<Variant*> refs;
  for (Variant& arg : request.args) refs.push_back(&arg);
  Variant result;
  std::shared_ptr<_zaverer> object;
  try {
    object = create_object(identity::kProgId);
    if (request.with_page) object->OnStartPage(host::make_local_page(request.request_method));
    request.method->invoke(*object, refs, result);
  } catch (const AutomationError& e) {
    if (object && request.with_page) object->OnEndPage();
    out << json_failure(e.number(), e.description(), request.args) << "\n";
    return 1;
  }
  if (request.with_page) object->OnEndPage();
  out << json_success(result, request.args) << "\n";
  return 0;
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
