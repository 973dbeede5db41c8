// The test host's modes, one per step of the Wine-driven test.
#pragma once

#include <string>
#include <vector>

#include "checks.h"

namespace pelmo::testhost {

// The embedded type library against the catalogue; the identity GUIDs; the version resource.
void check_library(Checks& checks, const std::wstring& dll);
// DllGetClassObject, the class factory's lock and object counting, DllCanUnloadNow.
void check_unloading(Checks& checks, const std::wstring& dll);
// The registry after regsvr32 (registered true) or regsvr32 /u (false).
void check_registration(Checks& checks, const std::wstring& dll, bool registered);
// Calls by name through the registered class: conversions, write-backs, failures, the page
// hooks with the test host's own page, and the stream road.
void check_calls(Checks& checks);

// The HTTP client's deadline, redirect, scheme, size and cache behaviour against the loopback
// site of limits_site.py at `base` ("http://127.0.0.1:PORT").
void check_fetch_limits(Checks& checks, const std::string& base);

// One JSON line per case of the table (the words of `pelmo call`), as `pelmo call` prints it;
// with `page` each call runs between OnStartPage and OnEndPage on the test host's page.
int run_cases(const std::string& table, bool page, const std::vector<std::string>& skip);

}  // namespace pelmo::testhost
