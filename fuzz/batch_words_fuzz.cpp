// `pelmo batch`'s input on fuzzed bytes: the first byte picks the line cap (1 to 96 bytes), the
// second how the bytes arrive (pieces of 1 to 17), the rest is standard input. The reader gives
// exactly the input's lines, each one over the cap reported once and skipped; the words the JSON
// reader takes read the same written back, and are well-formed UTF-8 when their line is (no lone
// surrogate gets in through an escape).
#include <unicode/ustring.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "cli/arg_words.h"
#include "cli/input_lines.h"
#include "cli/json_words.h"
#include "fuzz_input.h"

namespace pelmo::fuzz {
namespace {

// Well-formed UTF-8: no surrogate, no longer form, nothing past U+10FFFF.
bool is_utf8(std::string_view s) {
  UErrorCode status = U_ZERO_ERROR;
  std::int32_t units = 0;
  u_strFromUTF8(nullptr, 0, &units, s.data(), static_cast<std::int32_t>(s.size()), &status);
  return status != U_INVALID_CHAR_FOUND;
}

// The words as a JSON array: quotes, backslashes and controls escaped as \u00XX, the rest raw.
std::string as_json(const std::vector<std::string>& words) {
  std::string out = "[";
  for (const std::string& word : words) {
    out += out.size() > 1 ? ",\"" : "\"";
    for (const char c : word) {
      const unsigned byte = static_cast<std::uint8_t>(c);
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", byte);
      out += byte < 0x20 || c == '"' || c == '\\' ? escape : std::string(1, c);
    }
    out += '"';
  }
  return out + "]";
}

void check_words(const std::string& line) {
  std::vector<std::string> words;
  try {
    words = cli::parse_json_words(line);
  } catch (const cli::UsageError&) {
    return;
  }
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
  // The input's own lines, in step with the reader.
  std::string line;
  for (std::string_view rest = input; !rest.empty();) {
    const std::size_t feed = rest.find('\n');
    const std::string_view want = rest.substr(0, feed);
    rest.remove_prefix(feed == std::string_view::npos ? rest.size() : feed + 1);
    const cli::LineReader::Next next = lines.next(line);
    if (want.size() > cap) {
      check(next == cli::LineReader::Next::TooLong, "a line over the cap is reported as such");
    } else {
      check(next == cli::LineReader::Next::Line && line == want, "the lines are the input's own");
      check_words(line);
    }
  }
  check(lines.next(line) == cli::LineReader::Next::End, "nothing after the last line");
  check(lines.next(line) == cli::LineReader::Next::End, "the end stays the end");
  return 0;
}
