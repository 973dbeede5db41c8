#include "cli/probe_json.h"

#include <charconv>

#include "cli/json_string.h"

namespace pelmo::cli {

namespace {

constexpr int kMaxDepth = 64;

class Reader {
 public:
  Reader(std::string_view text, std::size_t at) : text_(text), at_(at) {}

  JsonValue value(int depth) {
    if (depth > kMaxDepth) fail("values nested too deep");
    skip_space();
    if (at_ == text_.size()) fail("expected a value");
    JsonValue out;
    const char c = text_[at_];
    if (c == '{') {
      out.value = object(depth);
    } else if (c == '[') {
      out.value = array(depth);
    } else if (c == '"') {
      out.value = string();
    } else if (word("true")) {
      out.value = true;
    } else if (word("false")) {
      out.value = false;
    } else if (word("null")) {
      out.value = nullptr;
    } else {
      out.value = number();
    }
    skip_space();
    return out;
  }

  std::size_t at() const { return at_; }

 private:
  [[noreturn]] void fail(const std::string& what) const {
    throw JsonError(what + " at column " + std::to_string(at_ + 1));
  }
  void skip_space() { at_ = skip_json_space(text_, at_); }
  bool take(char c) {
    skip_space();
    return take_json_char(text_, at_, c);
  }
  void expect(char c) {
    if (!take(c)) fail(std::string("expected '") + c + "'");
  }
  bool word(std::string_view w) {
    if (text_.substr(at_, w.size()) != w) return false;
    at_ += w.size();
    return true;
  }

  JsonObject object(int depth) {
    expect('{');
    JsonObject members;
    if (take('}')) return members;
    do {
      skip_space();
      std::string key = string();
      expect(':');
      members.push_back(JsonMember{std::move(key), value(depth + 1)});
    } while (take(','));
    expect('}');
    return members;
  }

  JsonArray array(int depth) {
    expect('[');
    JsonArray items;
    if (take(']')) return items;
    do {
      items.push_back(value(depth + 1));
    } while (take(','));
    expect(']');
    return items;
  }

  double number() {
    const std::size_t start = at_;
    while (at_ < text_.size() &&
           std::string_view("+-0123456789.eE").find(text_[at_]) != std::string_view::npos) {
      ++at_;
    }
    double out = 0;
    const auto [end, error] = std::from_chars(text_.data() + start, text_.data() + at_, out);
    if (start == at_ || error != std::errc() || end != text_.data() + at_) {
      at_ = start;
      fail("expected a value");
    }
    return out;
  }

  // A lone surrogate becomes U+FFFD: the texts read here are compared, not passed on.
  std::string string() {
    std::string out;
    if (const char* error = read_json_string(text_, at_, LoneSurrogate::kReplace, out)) {
      fail(error);
    }
    return out;
  }

  std::string_view text_;
  std::size_t at_;
};

}  // namespace

JsonValue read_json_value(std::string_view text, std::size_t& at) {
  Reader reader(text, at);
  JsonValue out = reader.value(0);
  at = reader.at();
  return out;
}

JsonValue parse_json(std::string_view text) {
  std::size_t at = 0;
  JsonValue out = read_json_value(text, at);
  if (at != text.size())
    throw JsonError("text after the value at column " + std::to_string(at + 1));
  return out;
}

}  // namespace pelmo::cli
