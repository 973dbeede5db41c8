// The lines of `pelmo batch`'s standard input, each held to a cap, so that input without line
// feeds (</dev/zero) cannot fill memory, and read failures told apart from the end.
#pragma once

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace pelmo::cli {

// The longest call line a session takes: room for a 10 MB page written as JSON with every
// character escaped. Longer texts go in files (sf:, xf:).
constexpr std::size_t kMaxCallLineBytes = std::size_t{64} << 20;

// Reading the input failed; what() says why.
class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class LineReader {
 public:
  // Fills up to `room` bytes at `into` and returns how many, 0 at the end of the input. Throws
  // InputError.
  using Read = std::function<std::size_t(char* into, std::size_t room)>;

  LineReader(Read read, std::size_t max_line_bytes);

  enum class Next { Line, TooLong, End };

  // The next line, without its line feed, into `line`; a last line without one counts. A line
  // longer than the cap gives TooLong as soon as the cap is passed, and the rest of it, up to
  // its line feed, is skipped unread. Throws InputError.
  Next next(std::string& line);

 private:
  bool fill();

  Read read_;
  std::size_t max_line_bytes_;
  std::vector<char> buffer_;
  std::size_t begin_ = 0, end_ = 0;
  bool skipping_ = false;
  bool ended_ = false;
};

// Reads the process's standard input, waiting when it is non-blocking and retrying when a
// signal interrupts. Throws InputError.
std::size_t read_standard_input(char* into, std::size_t room);

}  // namespace pelmo::cli
