// pelmo_testhost: drives pelmo.dll under Wine (or Windows) from a compiled client, as the web
// server does. scripts/test-windows.sh runs its modes in order; com/README.md describes them.
#include <objbase.h>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "modes.h"

namespace {

int usage() {
  std::cerr << "usage: pelmo_testhost library|unload|registered DLL\n"
               "       pelmo_testhost unregistered DLL\n"
               "       pelmo_testhost calls | memory\n"
               "       pelmo_testhost fetch-limits BASE_URL\n"
               "       pelmo_testhost threads THREADS ROUNDS TABLE [PAGE_TABLE]\n"
               "       pelmo_testhost uptime CALLS TABLE [PAGE_TABLE]\n"
               "       pelmo_testhost cases [--page] TABLE\n";
  return 2;
}

std::wstring widen(const char* s) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, s, -1, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n > 0 ? n - 1 : 0), L'\0');
  if (n > 1) MultiByteToWideChar(CP_UTF8, 0, s, -1, out.data(), n);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  const std::string mode = argv[1];
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    std::cerr << "pelmo_testhost: COM cannot be initialised\n";
    return 2;
  }
  int status = 0;
  pelmo::testhost::Checks checks;
  if (mode == "cases") {
    const bool page = argc == 4 && std::strcmp(argv[2], "--page") == 0;
    if (argc != (page ? 4 : 3)) return usage();
    status = pelmo::testhost::run_cases(argv[argc - 1], page);
  } else if (mode == "fetch-limits" && argc == 3) {
    pelmo::testhost::check_fetch_limits(checks, argv[2]);
    status = checks.failures() == 0 ? 0 : 1;
  } else if (mode == "calls" && argc == 2) {
    pelmo::testhost::check_calls(checks);
    status = checks.failures() == 0 ? 0 : 1;
  } else if (mode == "memory" && argc == 2) {
    pelmo::testhost::check_memory(checks);
    status = checks.failures() == 0 ? 0 : 1;
  } else if ((mode == "threads" && argc >= 5) || (mode == "uptime" && argc >= 4)) {
    pelmo::testhost::LoadSettings settings;
    int i = 2;
    if (mode == "threads") {
      settings.threads = std::atoi(argv[i++]);
      settings.rounds = std::atoi(argv[i++]);
    } else {
      settings.calls = std::atol(argv[i++]);
    }
    if (i >= argc || argc - i > 2 || settings.threads < 1 || settings.rounds < 1 ||
        settings.calls < 10) {
      return usage();
    }
    settings.table = argv[i++];
    if (i < argc) settings.page_table = argv[i];
    if (mode == "threads") pelmo::testhost::check_threads(checks, settings);
    if (mode == "uptime") pelmo::testhost::check_uptime(checks, settings);
    status = checks.failures() == 0 ? 0 : 1;
  } else if (argc == 3 && (mode == "library" || mode == "unload" || mode == "registered" ||
                           mode == "unregistered")) {
    const std::wstring dll = widen(argv[2]);
    if (mode == "library") pelmo::testhost::check_library(checks, dll);
    if (mode == "unload") pelmo::testhost::check_unloading(checks, dll);
    if (mode == "registered") pelmo::testhost::check_registration(checks, dll, true);
    if (mode == "unregistered") pelmo::testhost::check_registration(checks, dll, false);
    status = checks.failures() == 0 ? 0 : 1;
  } else {
    status = usage();
  }
  if (mode != "cases") std::cout << checks.failures() << " failure(s)\n";
  CoUninitialize();
  return status;
}
