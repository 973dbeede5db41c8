// Reading the scrapers' output back the way a browser's script parser would see a double-quoted
// string: a value must end at its own closing quote, hold no raw line break and no "<".
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "fuzz_input.h"

namespace pelmo::fuzz {

// The text a double-quoted script string stands for (the escapes the component writes).
inline std::u16string unescaped(std::u16string_view s) {
  std::u16string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != u'\\' || i + 1 == s.size()) {
      out += s[i];
      continue;
    }
    const char16_t e = s[++i];
    if (e == u'r') {
      out += u'\r';
    } else if (e == u'n') {
      out += u'\n';
    } else if (e == u'u' && i + 4 < s.size()) {
      out += static_cast<char16_t>(
          std::stoi(to_utf8(std::u16string(s.substr(i + 1, 4))), nullptr, 16));
      i += 4;
    } else {
      out += e;
    }
  }
  return out;
}

// An address a browser would run or render as script: read the way the most lenient one reads
// it (every control dropped, leading blanks skipped), it starts with a script-bearing scheme.
inline bool runs_script(std::u16string_view address) {
  std::string read;
  for (char16_t c : address) {
    if (c < u' ' || (read.empty() && c == u' ')) continue;
    read += (c >= u'A' && c <= u'Z') ? static_cast<char>(c + 32)
            : c < 0x80               ? static_cast<char>(c)
                                     : '?';
  }
  const std::string_view r = read;
  return r.starts_with("javascript:") || r.starts_with("vbscript:") || r.starts_with("data:");
}

class Cursor {
 public:
  explicit Cursor(std::u16string_view s) : s_(s) {}

  bool at_end() const { return at_ == s_.size(); }
  bool peek(std::u16string_view what) const { return s_.substr(at_).starts_with(what); }

  void expect(std::u16string_view what, const char* where) {
    if (!peek(what)) {
      fail(std::string("output shape broken at ") + where + ", offset " + std::to_string(at_) +
           ": \"" + shown(s_.substr(at_, 80)) + "\"");
    }
    at_ += what.size();
  }

  // The body of a double-quoted script string up to its closing quote (not consumed).
  std::u16string_view escaped_string() {
    const std::size_t from = at_;
    while (at_ < s_.size() && s_[at_] != u'"') {
      const char16_t c = s_[at_];
      if (c == u'\r' || c == u'\n' || c == u'\u2028' || c == u'\u2029') {
        fail("a raw line break inside a script string at offset " + std::to_string(at_));
      }
      if (c == u'<') fail("a raw \"<\" inside a script string at offset " + std::to_string(at_));
      at_ += c == u'\\' ? 2 : 1;
    }
    if (at_ >= s_.size()) fail("a script string runs off the end of the output");
    return s_.substr(from, at_ - from);
  }

 private:
  std::u16string_view s_;
  std::size_t at_ = 0;
};

}  // namespace pelmo::fuzz
