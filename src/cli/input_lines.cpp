#include "cli/input_lines.h"

#include <cstring>
#include <utility>

namespace pelmo::cli {

namespace {

constexpr std::size_t kReadChunk = 65536;

}  // namespace

LineReader::LineReader(Read read, std::size_t max_line_bytes)
    : read_(std::move(read)), max_line_bytes_(max_line_bytes), buffer_(kReadChunk) {}

bool LineReader::fill() {
  if (ended_) return false;
  begin_ = 0;
  end_ = read_(buffer_.data(), buffer_.size());
  ended_ = end_ == 0;
  return !ended_;
}

LineReader::Next LineReader::next(std::string& line) {
  line.clear();
  while (true) {
    if (begin_ == end_ && !fill()) {
      skipping_ = false;
      return line.empty() ? Next::End : Next::Line;
    }
    const char* from = buffer_.data() + begin_;
    const auto* feed = static_cast<const char*>(std::memchr(from, '\n', end_ - begin_));
    const std::size_t length = feed != nullptr ? feed - from : end_ - begin_;
    begin_ += length + (feed != nullptr ? 1 : 0);
    if (skipping_) {
      skipping_ = feed == nullptr;
      continue;
    }
    if (line.size() + length > max_line_bytes_) {
      skipping_ = feed == nullptr;
      line.clear();
      line.shrink_to_fit();
      return Next::TooLong;
    }
    line.append(from, length);
    if (feed != nullptr) return Next::Line;
  }
}

}  // namespace pelmo::cli
