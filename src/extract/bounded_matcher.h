// Runs a marker program over a text: every match left to right, as a backtracking engine's
// global search finds them, in time bounded by a work budget for the whole call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "extract/block.h"
#include "extract/marker_program.h"

namespace pelmo::extract {

// Steps of the matcher a call may take: one step is one thread at one instruction, 3 to 5
// nanoseconds, so the budget ends a call within half a second, yet covers a 10 MB page with
// ten threads alive at every unit.
inline constexpr std::uint64_t kMatchBudget = 100'000'000;

// Every match, not overlapping; after an empty match the search goes on one unit further.
// Throws error 28 when the budget runs out.
std::vector<Block> bounded_matches(const MarkerProgram& program, std::u16string_view text,
                                   std::uint64_t budget = kMatchBudget);

}  // namespace pelmo::extract
