// The case tables, run through the registered module by name: one line per case, in the JSON
// of `pelmo call`, so the script test can compare the two builds line by line.
#include <objbase.h>

#include <fstream>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "calling.h"
#include "case_table.h"
#include "cli/arg_words.h"
#include "cli/json_writer.h"
#include "modes.h"
#include "pelmo/catalogue.h"
#include "pelmo/error.h"
#include "pelmo/text.h"
#include "windows/page/page_context.h"

namespace pelmo::testhost {

using page::make_page;
using page::make_text_object;
using page::PageLog;
using page::PageSettings;

namespace {

std::vector<std::string> split_tabs(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t tab = line.find('\t', start);
    fields.push_back(
        line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

}  // namespace

std::string run_case(const Case& c, bool page, bool system_stream) {
  const MethodEntry* entry = find_method(c.method);
  if (entry == nullptr || entry->is_page_hook()) return "USAGE no such method: " + c.method;
  std::vector<Variant> args;
  try {
    for (const std::string& word : c.words) args.push_back(cli::parse_arg_word(word));
  } catch (const cli::UsageError& e) {
    return std::string("USAGE ") + e.what();
  }
  ComRef<IDispatch> object = create_zaverer();
  if (!object) return "FAIL pelmo.zaverer cannot be created";
  if (page) {
    PageSettings settings;
    settings.request_method = c.request_method;
    settings.system_stream = system_stream;
    ComRef<IDispatch> context =
        ComRef<IDispatch>::adopt(make_page(settings, std::make_shared<PageLog>()));
    Variables hook(1);
    V_VT(&hook[0]) = VT_DISPATCH;
    V_DISPATCH(&hook[0]) = context.release();
    OwnedVariant none;
    if (invoke(object.get(), L"OnStartPage", hook, none.get(), true).hr != S_OK) {
      return "FAIL OnStartPage";
    }
  }
  Variables vars(args.size());
  for (std::size_t i = 0; i < args.size(); ++i) com::to_variant(args[i], vars[i]);
  OwnedVariant result;
  const Outcome outcome = invoke(object.get(), wide(entry->name), vars, result.get());
  std::vector<Variant> after;
  std::string line;
  try {
    for (std::size_t i = 0; i < vars.size(); ++i) after.push_back(com::from_variant(vars[i]));
    line = outcome.hr == S_OK ? cli::json_success(com::from_variant(result.get()), after)
                              : cli::json_failure(outcome.number, utf8(outcome.description), after);
  } catch (const AutomationError& e) {
    line = std::string("FAIL unreadable outcome: ") + e.what();
  }
  if (page) {
    Variables none_args(0);
    OwnedVariant none;
    invoke(object.get(), L"OnEndPage", none_args, none.get());
  }
  return line;
}

std::vector<Case> read_cases(const std::string& table) {
  std::ifstream in(table, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + table);
  std::vector<Case> cases;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> fields = split_tabs(line);
    Case c;
    std::size_t i = 0;
    if (fields.size() > 2 && fields[0] == "--request-method") {
      c.request_method = wide(fields[1]);
      i = 2;
    }
    c.method = fields[i];
    c.words.assign(fields.begin() + static_cast<std::ptrdiff_t>(i) + 1, fields.end());
    cases.push_back(std::move(c));
  }
  return cases;
}

int run_cases(const std::string& table, bool page) {
  std::vector<Case> cases;
  try {
    cases = read_cases(table);
  } catch (const std::runtime_error& e) {
    std::cerr << "pelmo_testhost: " << e.what() << "\n";
    return 2;
  }
  const bool system_stream = page && page::system_stream_opens();
  if (page) {
    std::cerr << "pelmo_testhost: page stream: "
              << (system_stream ? "the system's ADODB.Stream"
                                : "the stand-in (the system's ADODB.Stream does not open)")
              << "\n";
  }
  for (const Case& c : cases) {
    std::cout << run_case(c, page, system_stream) << "\n" << std::flush;
  }
  return 0;
}

}  // namespace pelmo::testhost
