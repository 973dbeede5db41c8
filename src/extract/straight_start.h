// A start pattern that is a plain line of units: a literal prefix, then units and dots, perhaps
// ending in a bounded greedy repeat of one unit or dot ("<span class=.n.>.{1,3}"). Its first
// choice at a position is found by comparing the units there, where the automaton would take
// a dependent table read for each.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "extract/block.h"
#include "extract/marker_program.h"
#include "extract/marker_search.h"

namespace pelmo::extract {

class StraightStart {
 public:
  // Units a candidate position may compare after its prefix, at most: the search stays linear
  // in the text whatever the text holds.
  static constexpr std::size_t kMaxUnits = 32;

  // The line `start_only` (a start pattern compiled with an empty end marker) runs, or nothing
  // when it is not one, has no literal prefix or compares more than kMaxUnits after it.
  static std::optional<StraightStart> of(const MarkerProgram& start_only);

  // The leftmost match that begins at or after `from`, its repeat as long as it goes, as the
  // program's own search would give it; nothing when there is none.
  std::optional<Block> next(std::u16string_view text, std::size_t from) const;

 private:
  struct Step {
    bool dot = false;   // any unit but a line feed
    char16_t unit = 0;  // else this unit, A-Z folded onto a-z
    bool takes(char16_t c) const {
      return dot ? c != u'\n' : fold_unit(c, UnitFold::AsciiLetters) == unit;
    }
  };

  StraightStart(std::u16string_view prefix, std::vector<Step> rest, Step tail, std::size_t tail_max)
      : prefix_(prefix, UnitFold::AsciiLetters),
        rest_(std::move(rest)),
        tail_(tail),
        tail_max_(tail_max) {}

  MarkerSearch prefix_;
  std::vector<Step> rest_;  // after the prefix, each taken once
  Step tail_;               // then up to tail_max_ of these, as many as stand there
  std::size_t tail_max_;
};

}  // namespace pelmo::extract
