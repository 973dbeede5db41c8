// Standard input on POSIX systems; standard_input_windows.cpp is its Windows twin.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "cli/input_lines.h"

namespace pelmo::cli {

std::size_t read_standard_input(char* into, std::size_t room) {
  while (true) {
    const ssize_t got = ::read(STDIN_FILENO, into, room);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      pollfd wait{STDIN_FILENO, POLLIN, 0};
      ::poll(&wait, 1, -1);
    } else if (errno != EINTR) {
      throw InputError(std::string("cannot read standard input: ") + std::strerror(errno));
    }
  }
}

}  // namespace pelmo::cli
