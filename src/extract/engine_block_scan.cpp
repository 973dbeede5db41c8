#include <string>

#include "extract/block_paths.h"
#include "extract/marker_search.h"

namespace pelmo::extract {

namespace {

std::u16string escape(std::u16string_view marker, std::u16string_view escape_set) {
  std::u16string out;
  out.reserve(marker.size() * 2);
  for (char16_t c : marker) {
    if (escape_set.find(c) != std::u16string_view::npos) out.push_back(u'\\');
    out.push_back(c);
  }
  return out;
}

// The run between the markers, "(\n|.)*?" as the pattern is written. On this engine that form
// overflows the JIT stack on large pages and goes quadratic; "(?s:.*?)" is the same language
// (any code unit, shortest first) and runs in linear time.
constexpr std::u16string_view kWrittenRun = u"(\\n|.)*?";
constexpr std::u16string_view kFastRun = u"(?s:.*?)";

// An end marker that begins with a quantifier reads differently after the two forms: after
// "*?" it is a syntax error, after "(?s:.*?)" it would repeat the group. Such a marker is
// compiled in the written form first, so that its error is the one raised.
bool starts_with_quantifier_char(std::u16string_view escaped_over) {
  return !escaped_over.empty() &&
         (escaped_over[0] == u'*' || escaped_over[0] == u'+' || escaped_over[0] == u'{');
}

std::unique_ptr<host::RegExp> block_regexp(host::Platform& platform, std::u16string pattern) {
  auto regexp = platform.CreateRegExp();
  regexp->SetIgnoreCase(true);
  regexp->SetGlobal(true);
  regexp->SetPattern(pattern);
  return regexp;
}

}  // namespace

std::u16string escape_start_marker(std::u16string_view marker) {
  return escape(marker, u"\\()?$[]");
}

std::u16string escape_over_marker(std::u16string_view marker) { return escape(marker, u"\\()?[]"); }

std::vector<Block> engine_blocks(host::Platform& platform, std::u16string_view text,
                                 std::u16string_view start, std::u16string_view over) {
  const std::u16string escaped_start = escape_start_marker(start);
  const std::u16string escaped_over = escape_over_marker(over);
  if (starts_with_quantifier_char(escaped_over)) {
    // Compiling is enough to raise the written form's syntax error, if it has one.
    block_regexp(platform, escaped_start + std::u16string(kWrittenRun) + escaped_over)
        ->Execute(std::u16string());
  }
  auto regexp = block_regexp(platform, escaped_start + std::u16string(kFastRun) + escaped_over);
  // With a literal end marker every block ends at an occurrence of it (unless a "|" in the start
  // marker splits the pattern), and nothing in the pattern looks past its own match, so the text
  // after the last one cannot change the blocks. Cut off, it spares the engine a run to the end
  // of the page from every start marker there. The last occurrence is looked for with full
  // lower-case folding, wider than this engine's ASCII letters, so it is never too early.
  std::u16string_view searched = text;
  if (over_marker_is_literal(over) && !over.empty() && start.find(u'|') == start.npos) {
    const std::size_t last = MarkerSearch(over, UnitFold::Lower).find_last(text);
    searched = text.substr(0, last == MarkerSearch::npos ? 0 : last + over.size());
  }
  std::vector<host::RegExpMatch> matches = regexp->Execute(searched);
  regexp.reset();
  std::vector<Block> blocks;
  blocks.reserve(matches.size());
  for (const auto& match : matches) blocks.push_back({match.index, match.value.size()});
  return blocks;
}

}  // namespace pelmo::extract
