// The Prometheus file on Windows: written beside its final name, flushed to the disk, then moved
// over it in one step, so the exporter reads the old file or the new one.
#include <windows.h>

#include <algorithm>
#include <stdexcept>

#include "cli/atomic_file.h"
#include "cli/wide_path_windows.h"

namespace pelmo::cli {

namespace {

[[noreturn]] void fail(const std::string& step, const std::string& path, DWORD error) {
  const std::string message = system_message(error);
  throw std::runtime_error("cannot " + step + " " + path + ": " +
                           (message.empty() ? "error " + std::to_string(error) : message));
}

}  // namespace

void replace_file_atomically(const std::string& path, std::string_view content) {
  // The process id keeps two probes writing the same file from sharing a temporary.
  const std::string temporary = path + ".tmp." + std::to_string(GetCurrentProcessId());
  const std::wstring wide_temporary = wide_path(temporary);
  const HANDLE file = CreateFileW(wide_temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) fail("create", temporary, GetLastError());
  auto abandon = [&](const char* step) {
    const DWORD error = GetLastError();
    CloseHandle(file);
    DeleteFileW(wide_temporary.c_str());
    fail(step, temporary, error);
  };
  for (std::size_t written = 0; written < content.size();) {
    const DWORD chunk =
        static_cast<DWORD>(std::min<std::size_t>(content.size() - written, 1 << 30));
    DWORD n = 0;
    if (!WriteFile(file, content.data() + written, chunk, &n, nullptr)) {
      abandon("write");
    }
    written += n;
  }
  if (!FlushFileBuffers(file)) abandon("flush");
  if (!CloseHandle(file)) {
    const DWORD error = GetLastError();
    DeleteFileW(wide_temporary.c_str());
    fail("close", temporary, error);
  }
  if (!MoveFileExW(wide_temporary.c_str(), wide_path(path).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = GetLastError();
    DeleteFileW(wide_temporary.c_str());
    fail("rename to", path, error);
  }
}

}  // namespace pelmo::cli
