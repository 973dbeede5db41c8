#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "cli/atomic_file.h"

namespace pelmo::cli {

namespace {

[[noreturn]] void fail(const std::string& step, const std::string& path, int error) {
  throw std::runtime_error("cannot " + step + " " + path + ": " + std::strerror(error));
}

}  // namespace

void replace_file_atomically(const std::string& path, std::string_view content) {
  // The same directory, so the rename stays on one file system; the process id keeps two
  // probes writing the same file from sharing a temporary.
  const std::string temporary = path + ".tmp." + std::to_string(::getpid());
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) fail("create", temporary, errno);
  auto abandon = [&](const char* step) {
    const int error = errno;
    ::close(fd);
    ::unlink(temporary.c_str());
    fail(step, temporary, error);
  };
  for (std::size_t written = 0; written < content.size();) {
    const ssize_t n = ::write(fd, content.data() + written, content.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) abandon("write");
    written += static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0) abandon("flush");
  if (::close(fd) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    fail("close", temporary, error);
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    fail("rename to", path, error);
  }
}

}  // namespace pelmo::cli
