// `pelmo batch`'s input on fuzzed bytes: the first byte picks the line cap (1 to 96 bytes), the
// second how the bytes arrive (pieces of 1 to 17 bytes), the rest is standard input. The reader
// must give exactly the input's lines, cut at line feeds, each one over the cap reported once
// and skipped. Each line's words, when the JSON reader takes them, must read the same when
// written back as JSON, and a line of well-formed UTF-8 must give words of well-formed UTF-8 (no
// lone surrogate gets in through an escape).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/arg_words.h"
#include "cli/input_lines.h"
#include "cli/json_words.h"
#include "fuzz_input.h"

namespace pelmo::fuzz {
namespace {

// Strict UTF-8: shortest forms, no surrogates, nothing past U+10FFFF.
bool is_utf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto lead = static_cast<std::uint8_t>(s[i]);
    const std::size_t length = lead < 0x80                   ? 1
                               : lead >= 0xC2 && lead < 0xE0 ? 2
                               : lead >= 0xE0 && lead < 0xF0 ? 3
                               : lead >= 0xF0 && lead < 0xF5 ? 4
                                                             : 0;
    if (length == 0 || s.size() - i < length) return false;
    std::uint32_t cp = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      const auto trail = static_cast<std::uint8_t>(s[i + k]);
      if ((trail & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (trail & 0x3F);
    }
    const std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < smallest[length] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return false;
    i += length;
  }
  return true;
}

// The words as a JSON array: quote and backslash escaped, controls as \u00XX, the rest raw.
std::string as_json(const std::vector<std::string>& words) {
  std::string out = "[";
  for (const std::string& word : words) {
    if (out.size() > 1) out += ',';
    out += '"';
    for (char c : word) {
      if (c == '"' || c == '\\') {
        out += '\\';
        out += c;
      } else if (static_cast<std::uint8_t>(c) < 0x20) {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
        out += escape;
      } else {
        out += c;
      }
    }
    out += '"';
  }
  return out + "]";
}

std::string_view trimmed(std::string_view s) {
  const std::size_t first = s.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

void check_words(const std::string& line) {
  std::vector<std::string> words;
  try {
    words = cli::parse_json_words(line);
  } catch (const cli::UsageError&) {
    return;
  }
  const std::string_view inner = trimmed(line);
  check(inner.starts_with('[') && inner.ends_with(']'), "a taken line is one bracketed array");
  check(cli::parse_json_words(as_json(words)) == words, "the words read the same written back");
  if (!is_utf8(line)) return;
  for (const std::string& word : words) {
    check(is_utf8(word), "a line of well-formed UTF-8 gives words of well-formed UTF-8");
  }
}

}  // namespace
}  // namespace pelmo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelmo;
  using namespace pelmo::fuzz;
  if (size < 2) return 0;
  const std::size_t cap = 1 + data[0] % 96;
  std::uint32_t pieces = data[1];
  const std::string_view input = bytes_of(data + 2, size - 2);

  // The input's own lines; nullopt for one over the cap.
  std::vector<std::optional<std::string_view>> expected;
  for (std::string_view rest = input; !rest.empty();) {
    const std::size_t feed = rest.find('\n');
    const std::string_view line = rest.substr(0, feed);
    expected.push_back(line.size() > cap ? std::nullopt : std::optional(line));
    rest.remove_prefix(feed == std::string_view::npos ? rest.size() : feed + 1);
  }

  std::size_t at = 0;
  cli::LineReader lines(
      [&](char* into, std::size_t room) {
        pieces = pieces * 1103515245u + 12345u;
        const std::size_t n =
            std::min({room, input.size() - at, std::size_t{1} + (pieces >> 16) % 17});
        std::memcpy(into, input.data() + at, n);
        at += n;
        return n;
      },
      cap);
  std::string line;
  for (const std::optional<std::string_view>& want : expected) {
    const cli::LineReader::Next next = lines.next(line);
    if (!want) {
      check(next == cli::LineReader::Next::TooLong, "a line over the cap is reported as such");
      continue;
    }
    check(next == cli::LineReader::Next::Line && line == *want, "the lines are the input's own");
    check_words(line);
  }
  check(lines.next(line) == cli::LineReader::Next::End, "nothing after the last line");
  check(lines.next(line) == cli::LineReader::Next::End, "the end stays the end");
  return 0;
}
