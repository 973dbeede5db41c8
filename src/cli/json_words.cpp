#include "cli/json_words.h"

#include <cstdint>

#include "cli/arg_words.h"
#include "cli/utf8_append.h"

namespace pelmo::cli {

namespace {

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  std::vector<std::string> array_of_strings() {
    skip_space();
    expect('[');
    std::vector<std::string> words;
    skip_space();
    if (!take(']')) {
      do {
        skip_space();
        words.push_back(string());
        skip_space();
      } while (take(','));
      expect(']');
    }
    skip_space();
    if (at_ < text_.size()) fail("text after the array");
    return words;
  }

 private:
  [[noreturn]] void fail(const std::string& what) const {
    throw UsageError("not a JSON array of strings: " + what + " at column " +
                     std::to_string(at_ + 1));
  }

  void skip_space() {
    while (at_ < text_.size() &&
           (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\r' || text_[at_] == '\n')) {
      ++at_;
    }
  }
  bool take(char c) {
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  void expect(char c) {
    if (!take(c)) fail(std::string("expected '") + c + "'");
  }

  std::uint32_t hex4() {
    if (text_.size() - at_ < 4) fail("short \\u escape");
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[at_++];
      value <<= 4;
      if (c >= '0' && c <= '9') {
        value |= static_cast<std::uint32_t>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        value |= static_cast<std::uint32_t>(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'F') {
        value |= static_cast<std::uint32_t>(c - 'A' + 10);
      } else {
        fail("bad \\u escape");
      }
    }
    return value;
  }

  // A \u escape, with the low half of a surrogate pair when it starts one.
  std::uint32_t code_point() {
    const std::uint32_t unit = hex4();
    if (unit >= 0xDC00 && unit <= 0xDFFF) fail("lone surrogate (write such text as u:HHHH)");
    if (unit < 0xD800 || unit > 0xDBFF) return unit;
    if (!(take('\\') && take('u'))) fail("lone surrogate (write such text as u:HHHH)");
    const std::uint32_t low = hex4();
    if (low < 0xDC00 || low > 0xDFFF) fail("lone surrogate (write such text as u:HHHH)");
    return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
  }

  std::string string() {
    if (!take('"')) fail("expected a string");
    std::string out;
    while (true) {
      if (at_ == text_.size()) fail("unterminated string");
      const char c = text_[at_++];
      if (c == '"') return out;
      if (static_cast<unsigned char>(c) < 0x20) fail("control character in a string");
      if (c != '\\') {
        out += c;
        continue;
      }
      if (at_ == text_.size()) fail("unterminated string");
      switch (text_[at_++]) {
        case '"':
          out += '"';
          break;
        case '\\':
          out += '\\';
          break;
        case '/':
          out += '/';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u':
          append_utf8(out, code_point());
          break;
        default:
          --at_;
          fail("bad escape");
      }
    }
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

}  // namespace

std::vector<std::string> parse_json_words(std::string_view line) {
  return Reader(line).array_of_strings();
}

}  // namespace pelmo::cli
