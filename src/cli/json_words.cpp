#include "cli/json_words.h"

#include "cli/arg_words.h"
#include "cli/json_string.h"

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

  void skip_space() { at_ = skip_json_space(text_, at_); }
  bool take(char c) { return take_json_char(text_, at_, c); }
  void expect(char c) {
    if (!take(c)) fail(std::string("expected '") + c + "'");
  }

  std::string string() {
    std::string out;
    if (const char* error = read_json_string(text_, at_, LoneSurrogate::kRefuse, out)) fail(error);
    return out;
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

}  // namespace

std::vector<std::string> parse_json_words(std::string_view line) {
  return Reader(line).array_of_strings();
}

}  // namespace pelmo::cli
