// Runs a marker program over a text: every match left to right, as a backtracking engine's
// global search finds them, in time bounded by a work budget for the whole call.
//
// Promises, for any program and text:
// - the matches are exactly the backtracking engine's (leftmost start, then the first
//   alternative, the longest greedy repeat, the shortest run), whichever path finds them;
// - time is linear in the text for a given program, and the whole call stops within the budget:
//   either it answers or it fails with error 28, never later;
// - memory is the text's plus a bounded cache, whatever the text holds.
//
// How: a lazy automaton (lazy_dfa.h) finds each match with one table lookup per unit in most
// places, and a probe scan over runs that keep it in one state: a forward scan to the match's
// end, which knows the start too when the match began where the scan did, else a reverse scan
// back to it. States are
// built as the text needs them and charged to the budget like the simulation's steps; cached
// transitions cost a fraction of one. When the automaton cannot serve (too many distinct units
// in the program, or a cache that keeps filling), the thread simulation finishes the call: every
// thread of the program at once, in priority order, one step per thread per instruction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "extract/block.h"
#include "extract/lazy_dfa.h"
#include "extract/marker_program.h"

namespace pelmo::extract {

// Steps a call may take: one step is one instruction visited while building an automaton state
// or simulating one thread, 3 to 5 nanoseconds, and kTransitionsPerStep cached transitions count
// as one, so the budget ends a call within half a second. On the automaton, a 10 MB page of
// cached transitions (forward and back over every match) costs at most 5 million steps; on the
// simulation alone, the budget covers a 10 MB page only with about ten steps a unit.
inline constexpr std::uint64_t kMatchBudget = 100'000'000;

// Every match, not overlapping; after an empty match the search goes on one unit further.
// Throws error 28 when the budget runs out. `dfa_cache_bytes` bounds each direction of the
// automaton's cache; 0 runs the simulation alone.
std::vector<Block> bounded_matches(const MarkerProgram& program, std::u16string_view text,
                                   std::uint64_t budget = kMatchBudget,
                                   std::size_t dfa_cache_bytes = kDfaCacheBytes);
// The same, each match given to `sink` as it is found.
void bounded_matches(const MarkerProgram& program, std::u16string_view text, const BlockSink& sink,
                     std::uint64_t budget = kMatchBudget,
                     std::size_t dfa_cache_bytes = kDfaCacheBytes);

// The same matches, for a program that is a start pattern, the shortest run of any units, and
// the non-empty literal `over`: each match of `start_only` (the start pattern compiled with an
// empty end marker) taken on to the first `over` after it, as the engine would: it tries the
// start's choices in order, and the first that some `over` follows wins. The start pattern alone
// keeps fewer threads alive than the whole, and the end marker is found by a plain search, after
// a look at the first `look_near` positions. Where no `over` follows a start's first choice,
// the whole pattern, asked of `program` only then, finishes the call. One budget for both.
using ProgramSource = std::function<const MarkerProgram&()>;
void bounded_matches_to_literal(const ProgramSource& program, const MarkerProgram& start_only,
                                std::u16string_view over, std::u16string_view text,
                                std::size_t look_near, const BlockSink& sink,
                                std::uint64_t budget = kMatchBudget,
                                std::size_t dfa_cache_bytes = kDfaCacheBytes);

}  // namespace pelmo::extract
