#include "cli/json_string.h"

#include <cstdint>
#include <optional>

namespace pelmo::cli {

namespace {

constexpr const char* kLoneSurrogate = "lone surrogate (write such text as u:HHHH)";

void append_utf8(std::string& out, std::uint32_t cp) {
  auto byte = [&](std::uint32_t b) { out += static_cast<char>(b); };
  if (cp < 0x80) {
    byte(cp);
  } else if (cp < 0x800) {
    byte(0xC0 | (cp >> 6));
    byte(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    byte(0xE0 | (cp >> 12));
    byte(0x80 | ((cp >> 6) & 0x3F));
    byte(0x80 | (cp & 0x3F));
  } else {
    byte(0xF0 | (cp >> 18));
    byte(0x80 | ((cp >> 12) & 0x3F));
    byte(0x80 | ((cp >> 6) & 0x3F));
    byte(0x80 | (cp & 0x3F));
  }
}

bool is_high(std::uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low(std::uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

class StringReader {
 public:
  StringReader(std::string_view text, std::size_t& at, LoneSurrogate lone, std::string& out)
      : text_(text), at_(at), lone_(lone), out_(out) {}

  const char* read() {
    if (at_ == text_.size() || text_[at_] != '"') return "expected a string";
    ++at_;
    while (true) {
      if (at_ == text_.size()) return "unterminated string";
      const char c = text_[at_++];
      if (c == '"') return nullptr;
      if (static_cast<unsigned char>(c) < 0x20) return "control character in a string";
      if (c != '\\') {
        out_ += c;
        continue;
      }
      if (at_ == text_.size()) return "unterminated string";
      const char escape = text_[at_++];
      constexpr std::string_view plain = "\"\\/bfnrt", meant = "\"\\/\b\f\n\r\t";
      if (const std::size_t i = plain.find(escape); i != std::string_view::npos) {
        out_ += meant[i];
      } else if (escape == 'u') {
        if (const char* error = escaped_code_point()) return error;
      } else {
        --at_;
        return "bad escape";
      }
    }
  }

 private:
  // Four hex digits of either case, or nothing with error_ set.
  std::optional<std::uint32_t> hex4() {
    if (text_.size() - at_ < 4) {
      error_ = "short \\u escape";
      return std::nullopt;
    }
    std::uint32_t unit = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[at_++];
      unit <<= 4;
      if (c >= '0' && c <= '9') {
        unit |= static_cast<std::uint32_t>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        unit |= static_cast<std::uint32_t>(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'F') {
        unit |= static_cast<std::uint32_t>(c - 'A' + 10);
      } else {
        error_ = "bad \\u escape";
        return std::nullopt;
      }
    }
    return unit;
  }

  // The code point of a \u escape, with the low half that follows when it starts a pair.
  const char* escaped_code_point() {
    const std::optional<std::uint32_t> unit = hex4();
    if (!unit) return error_;
    std::uint32_t cp = *unit;
    if (is_high(cp) && text_.substr(at_, 2) == "\\u") {
      const std::size_t before_low = at_;
      at_ += 2;
      const std::optional<std::uint32_t> low = hex4();
      if (!low) return error_;
      if (is_low(*low)) {
        append_utf8(out_, 0x10000 + ((cp - 0xD800) << 10) + (*low - 0xDC00));
        return nullptr;
      }
      if (lone_ == LoneSurrogate::kRefuse) return kLoneSurrogate;
      at_ = before_low;  // the unit after the lone half is read on its own
    }
    if (is_high(cp) || is_low(cp)) {
      if (lone_ == LoneSurrogate::kRefuse) return kLoneSurrogate;
      cp = 0xFFFD;
    }
    append_utf8(out_, cp);
    return nullptr;
  }

  std::string_view text_;
  std::size_t& at_;
  LoneSurrogate lone_;
  std::string& out_;
  const char* error_ = nullptr;
};

}  // namespace

std::size_t skip_json_space(std::string_view text, std::size_t at) {
  while (at < text.size() &&
         (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n')) {
    ++at;
  }
  return at;
}

bool take_json_char(std::string_view text, std::size_t& at, char c) {
  if (at == text.size() || text[at] != c) return false;
  ++at;
  return true;
}

const char* read_json_string(std::string_view text, std::size_t& at, LoneSurrogate lone,
                             std::string& out) {
  return StringReader(text, at, lone, out).read();
}

}  // namespace pelmo::cli
