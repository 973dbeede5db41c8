#include "cli/reference_command.h"

#include <iomanip>
#include <memory>
#include <string>

#include "cli/method_sections.h"
#include "pelmo/catalogue.h"

namespace pelmo::cli {

namespace {

void list_with_summaries(const std::vector<MethodShape>& methods, std::ostream& out) {
  for (const MethodShape& method : methods) {
    out << std::setw(2) << method.slot << ' ' << method.name << '(';
    for (std::size_t i = 0; i < method.params.size(); ++i) {
      out << (i == 0 ? "" : ", ") << method.params[i];
    }
    out << ")\n     " << method.summary << '\n';
  }
}

int usage(std::ostream& err, const std::string& message) {
  err << "pelmo: " << message << "\n";
  return 2;
}

}  // namespace

int run_methods(const std::vector<std::string_view>& words, const ConnectTarget& connect,
                std::ostream& out, std::ostream& err) {
  const bool text = words.size() == 1 && words[0] == "--text";
  if (!text && !words.empty()) return usage(err, "methods takes no argument but --text");
  std::unique_ptr<CallTarget> target;
  try {
    target = connect();
  } catch (const TargetError& e) {
    return usage(err, e.what());
  }
  if (text) {
    list_with_summaries(target->methods(), out);
    return 0;
  }
  for (const MethodShape& method : target->methods()) {
    out << method.slot << ' ' << method.name;
    for (const std::string& param : method.params) out << ' ' << param;
    out << '\n';
  }
  return 0;
}

int run_help(const std::vector<std::string_view>& words, std::ostream& out, std::ostream& err) {
  if (words.empty()) {
    list_with_summaries(catalogue_shapes(), out);
    out << "\npelmo help METHOD: one method's reference (docs/methods.md); "
           "pelmo --help: the command's usage.\n";
    return 0;
  }
  if (words.size() > 1) return usage(err, "help takes one method name");
  const MethodEntry* method = find_method(words[0]);
  if (method == nullptr) return usage(err, "no such method: " + std::string(words[0]));
  for (const MethodSection& section : method_sections()) {
    if (section.name == method->name) {
      out << section.text;
      return 0;
    }
  }
  // The build embeds a section for every method of the catalogue; this is only a safeguard.
  err << "pelmo: the reference has no section for " << method->name << "\n";
  return 1;
}

}  // namespace pelmo::cli
