// The case tables (a method and its `pelmo call` argument words a line) and running one case
// through the registered module, shared by the table runner and the load tests.
#pragma once

#include <string>
#include <vector>

namespace pelmo::testhost {

struct Case {
  std::wstring request_method = L"GET";
  std::string method;
  std::vector<std::string> words;
};

// The table's cases in order; throws std::runtime_error when it cannot be read.
std::vector<Case> read_cases(const std::string& table);

// One JSON line, as `pelmo call` prints it, from a fresh object of the current apartment; with
// `page` the call runs between OnStartPage and OnEndPage on the test host's page.
std::string run_case(const Case& c, bool page, bool system_stream);

}  // namespace pelmo::testhost
