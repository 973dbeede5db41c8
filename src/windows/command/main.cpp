// pelmo.exe: the `pelmo` command on Windows. It drives the registered pelmo.zaverer as a page
// does, and prints what the Linux command prints for the same call and answer.
#include <fcntl.h>
#include <io.h>
#include <objbase.h>
#include <windows.h>

#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command_line.h"
#include "cli/input_lines.h"
#include "pelmo/text.h"
#include "windows/base/variant_convert.h"
#include "windows/command/registered_object.h"

namespace {

constexpr std::string_view kModuleOption = "--module";

std::string usage() {
  return pelmo::cli::usage_text(false) +
         "pelmo.exe reaches the registered pelmo.zaverer of its own bitness.\n"
         "For development: pelmo.exe --module PATH COMMAND ... loads the module file at PATH\n"
         "           without registration.\n";
}

int run(std::vector<std::string> words) {
  std::wstring module;
  if (!words.empty() && words.front() == kModuleOption) {
    if (words.size() < 2) {
      std::cerr << "pelmo: --module needs the path of a module\n";
      return 2;
    }
    module = pelmo::com::to_wide(pelmo::from_utf8(words[1]));
    words.erase(words.begin(), words.begin() + 2);
  }
  const pelmo::cli::ConnectTarget connect = [module]() {
    return module.empty() ? pelmo::command::connect_registered()
                          : pelmo::command::connect_module_file(module);
  };
  const auto info = [] {
    return pelmo::cli::InfoSubject{PELMO_VERSION, pelmo::command::registered_module_facts()};
  };
  const pelmo::cli::CommandFace face{usage(), connect, pelmo::cli::read_standard_input, info,
                                     nullptr};
  const std::vector<std::string_view> views(words.begin(), words.end());
  return pelmo::cli::run_command(views, face, std::cout, std::cerr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // Bytes as they are: UTF-8 and bare line feeds, whatever the console's code page.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  _setmode(_fileno(stdin), _O_BINARY);
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) {
    words.push_back(pelmo::to_utf8(pelmo::com::from_wide(argv[i])));
  }
  // A page's object lives in a single-threaded apartment; so does this one.
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    std::cerr << "pelmo: COM cannot be initialised\n";
    return 2;
  }
  int status = 1;
  try {
    status = run(std::move(words));
  } catch (const std::exception& e) {
    std::cerr << "pelmo: " << e.what() << "\n";
  } catch (...) {
    std::cerr << "pelmo: unexpected failure\n";
  }
  std::cout.flush();
  CoUninitialize();
  return status;
}
