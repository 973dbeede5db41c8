// Deterministic automata built lazily from a marker program, the fast path of the bounded
// matcher. A state is what the thread simulation would hold at one position, without the
// positions where its threads began:
//
// - forward, the ordered list of threads about to be closed (the priority order the simulation
//   keeps, each taken through its splits and jumps), how many of them lead back to the thread
//   begun where the scan last had none alive, whether a new match may still begin, and whether
//   this is the start of the text: one scan finds where the leftmost-first match ends, exactly
//   where the simulation would, and when one of those first threads matched, where it began;
// - reverse, the set of instructions from which that end can still be reached: for the other
//   matches, one scan back from the end finds the leftmost position a match to it can begin at.
//
// A state that leads to itself on every unit but a few, or on a few units only, is accelerated:
// the scan passes over its run with the probe scan (probe_scan.h) instead of one transition per
// unit, in both directions. Forward, units after which a match ends whatever follows (each
// quote after ".*" in `class=".*"` alone) stay in such a run: the last one before the run's
// stop tells where the match ends.
//
// States and their transitions, one per class of code units the program cannot tell apart, are
// built on first use and kept in a cache of bounded size, emptied when full. Building a state
// is charged to the call's budget, one step per instruction visited, as the simulation charges;
// following a cached transition is a table lookup, and passing a unit in an accelerated run
// costs no more: both are charged one step for every kTransitionsPerStep. When the cache keeps
// filling with states that serve few units each, the automaton gives up (`Outcome::GaveUp`) and the
// caller finishes on the simulation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "extract/marker_program.h"
#include "extract/work_budget.h"

namespace pelmo::extract {

// A cached transition costs about a quarter of a simulation step.
inline constexpr std::uint64_t kTransitionsPerStep = 4;
// Memory one direction's cache may hold before it is emptied.
inline constexpr std::size_t kDfaCacheBytes = std::size_t{4} << 20;

class LazyDfa {
 public:
  // Null when the program cannot run as an automaton (too many distinct units to classify).
  static std::unique_ptr<LazyDfa> make(const MarkerProgram& program, std::u16string_view text,
                                       WorkBudget& budget,
                                       std::size_t cache_bytes = kDfaCacheBytes);
  virtual ~LazyDfa() = default;

  enum class Outcome { Found, NotFound, GaveUp };
  struct Match {
    std::size_t begin = 0;
    std::size_t end = 0;
  };
  // The match the simulation finds when its search starts at `from`.
  virtual Outcome search(std::size_t from, Match& match) = 0;
};

}  // namespace pelmo::extract
