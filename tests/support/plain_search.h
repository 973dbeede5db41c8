// The plain search of a pattern on a backtracking engine (PCRE2, 16-bit code units, not UTF):
// the reference that the component's one-pass scans and its bounded matcher are held to.
// "." is any unit but a line feed, "$" matches only at the very end, ASCII letters fold; every
// match left to right, and after an empty match the next search starts one unit further on. A
// refused pattern fails with 5017 and the engine's message and offset; a search past the engine's
// own limits fails with 28, so callers skip such cases.
#pragma once

#include <pcre2.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "extract/block_paths.h"
#include "pelmo/error.h"
#include "pelmo/text.h"

namespace pelmo::testing {

inline std::string plain_search_message(int code) {
  PCRE2_UCHAR buffer[256];
  const int n = pcre2_get_error_message(code, buffer, sizeof buffer / sizeof buffer[0]);
  if (n < 0) return "error " + std::to_string(code);
  return to_utf8(
      std::u16string_view(reinterpret_cast<const char16_t*>(buffer), static_cast<std::size_t>(n)));
}

// Every match, as the block of text it covers.
inline std::vector<extract::Block> plain_search(std::u16string_view pattern,
                                                std::u16string_view text) {
  std::unique_ptr<pcre2_compile_context, decltype(&pcre2_compile_context_free)> context(
      pcre2_compile_context_create(nullptr), &pcre2_compile_context_free);
  pcre2_set_newline(context.get(), PCRE2_NEWLINE_LF);
  const std::uint32_t options =
      PCRE2_CASELESS | PCRE2_DOLLAR_ENDONLY | PCRE2_NEVER_UTF | PCRE2_NEVER_UCP;
  int error = 0;
  PCRE2_SIZE offset = 0;
  std::unique_ptr<pcre2_code, decltype(&pcre2_code_free)> code(
      pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), options, &error,
                    &offset, context.get()),
      &pcre2_code_free);
  if (!code) {
    throw AutomationError(err::kRegexSyntax,
                          "Syntax error in regular expression: " + plain_search_message(error) +
                              " at offset " + std::to_string(offset));
  }
  std::unique_ptr<pcre2_match_data, decltype(&pcre2_match_data_free)> data(
      pcre2_match_data_create(1, nullptr), &pcre2_match_data_free);
  std::unique_ptr<pcre2_match_context, decltype(&pcre2_match_context_free)> limits(
      pcre2_match_context_create(nullptr), &pcre2_match_context_free);
  pcre2_set_heap_limit(limits.get(), 64 * 1024);  // KiB
  std::vector<extract::Block> matches;
  for (std::size_t from = 0; from <= text.size();) {
    const int rc = pcre2_match(code.get(), reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(),
                               from, 0, data.get(), limits.get());
    if (rc == PCRE2_ERROR_NOMATCH) break;
    if (rc < 0)
      throw AutomationError(err::kOutOfStack, "plain search: " + plain_search_message(rc));
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data.get());
    matches.push_back({ovector[0], ovector[1] - ovector[0]});
    from = ovector[1] > ovector[0] ? ovector[1] : ovector[0] + 1;
  }
  return matches;
}

// Every match replaced by `with`.
inline std::u16string plain_replace(std::u16string_view pattern, std::u16string_view text,
                                    std::u16string_view with) {
  std::u16string out;
  std::size_t copied = 0;
  for (const extract::Block& m : plain_search(pattern, text)) {
    out.append(text.substr(copied, m.offset - copied));
    out.append(with);
    copied = m.offset + m.length;
  }
  out.append(text.substr(copied));
  return out;
}

// D1616_body2s's blocks as its contract writes the pattern: the escaped start marker, the
// shortest run "(\n|.)*?", the escaped end marker.
inline std::vector<extract::Block> plain_blocks(std::u16string_view page, std::u16string_view start,
                                                std::u16string_view over) {
  return plain_search(
      extract::escape_start_marker(start) + u"(\\n|.)*?" + extract::escape_over_marker(over), page);
}

}  // namespace pelmo::testing
