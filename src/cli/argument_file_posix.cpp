// sf:/xf: files on POSIX systems. The path is opened without reaching into the object (O_PATH
// where the system has it), looked at through that descriptor, and only a regular file is then
// opened for reading, through the same descriptor, so the path cannot be swapped in between:
// opening a pipe would wait for a writer, and opening a device can act on it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/argument_file.h"

namespace pelmo::cli {

namespace {

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

std::string system_error() { return std::strerror(errno); }

#ifdef O_PATH
// The object behind a descriptor opened with O_PATH, reopened for reading.
int reopen_for_reading(int path_fd) {
  const std::string self = "/proc/self/fd/" + std::to_string(path_fd);
  return ::open(self.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
}
#endif

}  // namespace

std::string read_argument_file(std::string_view path) {
  const std::string name(path);
  struct stat info {};
#ifdef O_PATH
  const Descriptor looked_at(::open(name.c_str(), O_PATH | O_CLOEXEC));
  if (looked_at.get() < 0) refuse_argument_file(path, system_error());
  if (::fstat(looked_at.get(), &info) != 0) refuse_argument_file(path, system_error());
  if (!S_ISREG(info.st_mode)) refuse_not_regular_file(path);
  const Descriptor file(reopen_for_reading(looked_at.get()));
#else
  // Without O_PATH: opened without waiting or taking a terminal, and refused before any read.
  const Descriptor file(::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
#endif
  if (file.get() < 0) refuse_argument_file(path, system_error());
  if (::fstat(file.get(), &info) != 0) refuse_argument_file(path, system_error());
  if (!S_ISREG(info.st_mode)) refuse_not_regular_file(path);
  return read_capped(
      path, static_cast<std::uintmax_t>(info.st_size),
      [&](char* into, std::size_t room) -> std::int64_t {
        while (true) {
          const ssize_t got = ::read(file.get(), into, room);
          if (got >= 0 || errno != EINTR) return got;
        }
      },
      system_error);
}

}  // namespace pelmo::cli
