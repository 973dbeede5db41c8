// The test host's modes, one per step of the Wine-driven test.
#pragma once

#include <oaidl.h>

#include <string>
#include <vector>

#include "checks.h"

namespace pelmo::testhost {

// The embedded type library against the catalogue (slots, names, parameters, each method's
// help string against its summary); the identity GUIDs and help strings; the version resource.
void check_library(Checks& checks, const std::wstring& dll);
// DllGetClassObject, the class factory's lock and object counting, DllCanUnloadNow.
void check_unloading(Checks& checks, const std::wstring& dll);
// The registry after regsvr32 (registered true) or regsvr32 /u (false).
void check_registration(Checks& checks, const std::wstring& dll, bool registered);
// Calls by name through the registered class: conversions, write-backs, failures, the page
// hooks with the test host's own page, and the stream road.
void check_calls(Checks& checks);
// Typed arrays, deep nesting, self-references and refused typed write-backs, read directly and
// through `object`.
void check_boundary(Checks& checks, IDispatch* object);

// Allocation failures inside the module at every point of a few calls and of the entry points.
void check_memory(Checks& checks);

struct LoadSettings {
  int threads = 4;
  int rounds = 2;
  long calls = 200000;
  std::string table;       // page-free cases
  std::string page_table;  // cases on the test host's page, optional
};
// The tables' cases from `threads` single-threaded apartments at once, `rounds` times each,
// against the answers of one thread; DllCanUnloadNow afterwards.
void check_threads(Checks& checks, const LoadSettings& settings);
// `calls` calls in this process (page-free cases, objects made and released, a page case now
// and then) with private bytes and handles flat after the first tenth.
void check_uptime(Checks& checks, const LoadSettings& settings);

// The HTTP client's deadline, redirect, scheme, size and cache behaviour against the loopback
// site of limits_site.py at `base` ("http://127.0.0.1:PORT").
void check_fetch_limits(Checks& checks, const std::string& base);

// One JSON line per case of the table (the words of `pelmo call`), as `pelmo call` prints it;
// with `page` each call runs between OnStartPage and OnEndPage on the test host's page.
int run_cases(const std::string& table, bool page);

}  // namespace pelmo::testhost
