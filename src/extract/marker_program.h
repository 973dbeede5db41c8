// The pattern two block markers make, compiled for a matcher whose work is bounded by the text
// and the pattern, never by how the pattern backtracks.
//
// Once the markers are escaped, what is left of pattern syntax is small: literal code units
// (escaped ones included), "." (any unit but a line feed), the repeats "*", "+", "{m}", "{m,}"
// and "{m,n}" of one such unit, each possibly possessive ("*+"), "|" between alternatives of the
// whole pattern, "^" and "$", and the shortest run of any units between the two markers. Every
// repeat is of a single unit, so no repeat can match the empty text and the whole pattern is a
// list of alternatives of plain sequences: an automaton runs it in time proportional to text
// times pattern, and a priority order among its threads gives exactly the match a backtracking
// engine picks (leftmost start, then the first alternative, the longest greedy repeat, the
// shortest run).
#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pelmo::extract {

enum class Op : std::uint8_t {
  Unit,         // one code unit equal to `unit` once A-Z are folded onto a-z
  Dot,          // one code unit that is not a line feed
  Any,          // one code unit: the run between the markers, which x leaves for
  Split,        // go on at x, and with lower priority at y
  Jump,         // go on at x
  AtBegin,      // only at the start of the text
  AtEnd,        // only at the very end of the text
  NotNextUnit,  // only where the next unit is not `unit` (folded): a possessive repeat has ended
  NotNextDot,   // only where the next unit is a line feed or there is none
  Match,
};

struct Inst {
  Op op;
  char16_t unit = 0;
  std::uint32_t x = 0;
  std::uint32_t y = 0;
};

struct MarkerProgram {
  std::vector<Inst> code;  // starts at 0
  // Units that can begin a match, folded or not; meaningless when `starts_anywhere`.
  std::unique_ptr<std::bitset<65536>> first_units;
  // A match may begin with "." or the run, or be empty: every position is a candidate.
  bool starts_anywhere = false;
  // Units every match begins with (folded), when the pattern has one alternative.
  std::u16string literal_prefix;
  // With one alternative, the instruction of the run between the markers: a thread there can
  // reach every end marker after it, so while one is alive no match that begins later can come
  // first. kNoRun with more than one.
  static constexpr std::uint32_t kNoRun = static_cast<std::uint32_t>(-1);
  std::uint32_t run = kNoRun;
};

// Instructions a program may hold: "a{0,65535}" takes about twice that many. A larger pattern
// fails with error 28, as one too complex for the matcher's limits.
inline constexpr std::size_t kMaxProgramSize = std::size_t{1} << 18;

// The pattern escaped start, shortest run, escaped over, case-insensitive. A pattern a
// backtracking engine would refuse fails with error 5017 and that engine's own message and
// offset (counted in the pattern with the run written "(\n|.)*?").
MarkerProgram compile_marker_program(std::u16string_view escaped_start,
                                     std::u16string_view escaped_over,
                                     std::size_t max_size = kMaxProgramSize);

}  // namespace pelmo::extract
