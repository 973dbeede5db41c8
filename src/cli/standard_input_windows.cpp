// Standard input on Windows (pelmo.exe): raw bytes from the handle, whatever the console's code
// page, so a batch reads the same bytes as on Linux.
#include <windows.h>

#include <algorithm>
#include <string>

#include "cli/input_lines.h"

namespace pelmo::cli {

std::size_t read_standard_input(char* into, std::size_t room) {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (input == nullptr || input == INVALID_HANDLE_VALUE) return 0;  // no input at all
  DWORD got = 0;
  const auto want = static_cast<DWORD>(std::min<std::size_t>(room, 1u << 30));
  if (ReadFile(input, into, want, &got, nullptr)) return got;
  const DWORD error = GetLastError();
  // The writer closed its end of the pipe: the end of the input.
  if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) return 0;
  throw InputError("cannot read standard input: Windows error " + std::to_string(error));
}

}  // namespace pelmo::cli
