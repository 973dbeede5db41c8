// D1616_body2s with literal and pattern markers. Input: a flags byte, then start 0xFF over 0xFF
// text. Both paths must answer what the plain search (the pattern as written, on the
// backtracking engine) answers, blocks or refusal alike, unless one side gives up on its limits
// (error 28); with literal markers the method must then join exactly those blocks and never
// give up. With pattern markers any automation error is a legitimate answer of the method.
// Flag 0x10 stretches the page: each unit followed by a digit becomes a run of 2^digit of it,
// so that repeats keep many threads alive over long runs; such pages are too slow for the
// backtracking reference. The pattern path with its automaton must also answer what the thread
// simulation alone answers, and so must the automaton with a cache small enough to be flushed
// and given up on.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "extract/block_paths.h"
#include "extract/bounded_matcher.h"
#include "extract/marker_program.h"
#include "fuzz_input.h"
#include "memory_object.h"
#include "pelmo/error.h"
#include "support/plain_search.h"

namespace pelmo::fuzz {
namespace {

const std::u16string_view kSeparators[] = {u"###", u"#####", u"", u"x"};

// Every exact occurrence removed, left to right, without rescanning.
std::u16string removed(const std::u16string& s, const std::u16string& what) {
  if (what.empty()) return s;
  std::u16string out;
  std::size_t from = 0;
  for (std::size_t at = s.find(what); at != std::u16string::npos; at = s.find(what, from)) {
    out.append(s, from, at - from);
    from = at + what.size();
  }
  out.append(s, from);
  return out;
}

// The blocks, or the error's number and description.
struct Outcome {
  std::vector<extract::Block> blocks;
  int error = 0;
  std::string description;
};

template <typename Run>
Outcome outcome_of(Run&& run) {
  try {
    return {run(), 0, {}};
  } catch (const AutomationError& e) {
    return {{}, e.number(), e.description()};
  }
}

// Small enough that a hostile input costs the campaign little, large enough for its inputs.
constexpr std::uint64_t kFuzzBudget = 2'000'000;
constexpr std::size_t kTinyCache = 600;
constexpr std::size_t kMaxStretched = 1 << 14;

// "a3b" -> "aaaaaaaab": a digit after a unit repeats it 2^digit times in all (at most 512),
// the whole kept near kMaxStretched units.
std::u16string stretched(const std::u16string& page) {
  std::u16string out;
  for (std::size_t i = 0; i < page.size(); ++i) {
    const char16_t c = page[i];
    std::size_t times = 1;
    if (i + 1 < page.size() && page[i + 1] >= u'0' && page[i + 1] <= u'9') {
      times = std::size_t{1} << (page[++i] - u'0');
    }
    out.append(times, c);
    if (out.size() > kMaxStretched) break;
  }
  return out;
}

std::string shown_blocks(const std::vector<extract::Block>& blocks) {
  std::string out;
  for (const auto& b : blocks) {
    out += "[" + std::to_string(b.offset) + "+" + std::to_string(b.length) + "]";
  }
  return out;
}

}  // namespace
}  // namespace pelmo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelmo;
  using namespace pelmo::fuzz;
  if (size < 1) return 0;
  const std::uint8_t flags = data[0];
  const auto fields = split_fields(bytes_of(data + 1, size - 1), 3);
  const bool raw_units = (flags & 1) != 0;
  const std::u16string start = as_text(fields[0], raw_units);
  const std::u16string over = as_text(fields[1], raw_units);
  const std::u16string page = (flags & 0x10) != 0 ? stretched(as_text(fields[2], raw_units))
                                                  : as_text(fields[2], raw_units);
  const bool tag = (flags & 2) != 0;
  const std::u16string separator(kSeparators[(flags >> 2) & 3]);

  const Outcome path =
      outcome_of([&] { return extract::pattern_blocks(page, start, over, kFuzzBudget); });
  // On long runs of one unit the backtracking reference can take minutes: stretched pages are
  // held to the simulation only.
  const bool stretch = (flags & 0x10) != 0;
  const Outcome plain =
      stretch ? path : outcome_of([&] { return testing::plain_blocks(page, start, over); });
  for (const std::size_t cache : {std::size_t{0}, kTinyCache}) {
    const Outcome other =
        outcome_of([&] { return extract::pattern_blocks(page, start, over, kFuzzBudget, cache); });
    // The automaton charges its work differently, so only one side may run out of budget.
    if (path.error != 28 && other.error != 28 &&
        (path.blocks != other.blocks || path.error != other.error)) {
      fail("the automaton " + shown_blocks(path.blocks) + " " + path.description +
           " and the simulation (cache " + std::to_string(cache) + ") " +
           shown_blocks(other.blocks) + " " + other.description + " disagree: start \"" +
           shown(start) + "\" over \"" + shown(over) + "\" page \"" + shown(page) + "\"");
    }
  }
  // With a literal end marker the path matches the start pattern alone and searches for the end
  // marker: the whole pattern, run over the whole page, must agree, stretched pages included.
  if (extract::over_marker_is_literal(over)) {
    const Outcome whole = outcome_of([&] {
      return extract::bounded_matches(
          extract::compile_marker_program(extract::escape_start_marker(start),
                                          extract::escape_over_marker(over)),
          page, kFuzzBudget);
    });
    if (path.error != 28 && whole.error != 28 &&
        (path.blocks != whole.blocks || path.error != whole.error)) {
      fail("the path " + shown_blocks(path.blocks) + " " + path.description +
           " and the whole pattern " + shown_blocks(whole.blocks) + " " + whole.description +
           " disagree: start \"" + shown(start) + "\" over \"" + shown(over) + "\" page \"" +
           shown(page) + "\"");
    }
  }
  if (path.error != 28 && plain.error != 28 &&
      (path.blocks != plain.blocks || path.error != plain.error ||
       path.description != plain.description)) {
    fail("the pattern path " + shown_blocks(path.blocks) + " " + path.description +
         " and the plain search " + shown_blocks(plain.blocks) + " " + plain.description +
         " disagree: start \"" + shown(start) + "\" over \"" + shown(over) + "\" page \"" +
         shown(page) + "\"");
  }

  const bool literal = extract::markers_are_literal(start, over);
  if (literal) {
    const std::vector<extract::Block> blocks = extract::literal_blocks(page, start, over);
    if (path.error != 0 && path.error != 28) {
      fail("the pattern path refused literal markers with " + std::to_string(path.error) +
           ": start \"" + shown(start) + "\" over \"" + shown(over) + "\"");
    }
    if (path.error == 0 && blocks != path.blocks) {
      fail("literal path " + shown_blocks(blocks) + " and pattern path " +
           shown_blocks(path.blocks) + " disagree: start \"" + shown(start) + "\" over \"" +
           shown(over) + "\" page \"" + shown(page) + "\"");
    }
    for (const auto& b : blocks) {
      check(b.offset + b.length <= page.size(), "a block lies inside the page");
      check(b.length >= start.size() + over.size(), "a block holds both markers");
    }

    // The method joins those blocks, then strips the markers when asked.
    Variant wstr = text(page), a = text(start), b = text(over), sep = text(separator);
    Variant strip = Variant::boolean(tag), result = text(u"stale");
    try {
      memory_object().D1616_body2s(wstr, a, b, sep, strip, result);
    } catch (const AutomationError& e) {
      fail("D1616_body2s failed with " + std::to_string(e.number()) + " on literal markers");
    }
    std::u16string joined;
    for (const auto& block : blocks) joined += page.substr(block.offset, block.length) + separator;
    if (tag) joined = removed(removed(joined, start), over);
    if (result != text(joined)) {
      fail("D1616_body2s joined \"" + shown(result.as_string()) + "\" where \"" + shown(joined) +
           "\" was due");
    }
    check(wstr == text(page) && a == text(start) && b == text(over), "arguments left alone");
    return 0;
  }

  // Whatever the pattern path says, the method says too (its budget is larger, so only a 28 of
  // the path may become an answer), and nothing else breaks.
  Variant wstr = text(page), a = text(start), b = text(over), sep = text(separator);
  Variant strip = Variant::boolean(tag), result = text(u"stale");
  int error = 0;
  try {
    memory_object().D1616_body2s(wstr, a, b, sep, strip, result);
  } catch (const AutomationError& e) {
    error = e.number();
    check(result.is_empty(), "a failed call leaves its result Empty");
  }
  if (path.error != 28 && error != path.error) {
    fail("D1616_body2s and its pattern path disagree on failing: " + std::to_string(error) + " / " +
         std::to_string(path.error));
  }
  if (error == 0 && path.error == 0 && !tag) {
    std::u16string joined;
    for (const auto& block : path.blocks)
      joined += page.substr(block.offset, block.length) + separator;
    check(result == text(joined), "D1616_body2s joins the pattern path's blocks");
  }
  return 0;
}
