#include "extract/straight_start.h"

#include <algorithm>
#include <utility>

namespace pelmo::extract {

std::optional<StraightStart> StraightStart::of(const MarkerProgram& start_only) {
  const std::vector<Inst>& code = start_only.code;
  const std::size_t prefix = start_only.literal_prefix.size();
  if (prefix == 0 || start_only.run == MarkerProgram::kNoRun) return std::nullopt;
  auto step_of = [](const Inst& inst) {
    return Step{inst.op == Op::Dot, inst.op == Op::Unit ? inst.unit : char16_t{0}};
  };
  auto is_atom = [](const Inst& inst) { return inst.op == Op::Unit || inst.op == Op::Dot; };
  std::uint32_t pc = static_cast<std::uint32_t>(prefix);
  std::vector<Step> rest;
  for (; pc < code.size() && is_atom(code[pc]); ++pc) rest.push_back(step_of(code[pc]));
  // A bounded greedy repeat: each further unit is a split that takes it first, or leaves for
  // the end of the repeat, and every split leaves for the same place.
  std::size_t tail_max = 0;
  Step tail;
  const std::uint32_t repeat_end = [&] {
    std::uint32_t end = pc;
    while (end + 1 < code.size() && code[end].op == Op::Split && code[end].x == end + 1 &&
           is_atom(code[end + 1])) {
      end += 2;
    }
    return end;
  }();
  for (; pc < repeat_end; pc += 2) {
    const Step step = step_of(code[pc + 1]);
    if (code[pc].y != repeat_end ||
        (tail_max > 0 && (step.dot != tail.dot || step.unit != tail.unit))) {
      return std::nullopt;
    }
    tail = step;
    ++tail_max;
  }
  // Then only the run, which an empty end marker leaves at once, and the match.
  if (pc != start_only.run - 1 || pc + 4 != code.size() || code[pc + 3].op != Op::Match) {
    return std::nullopt;
  }
  if (rest.size() + tail_max > kMaxUnits) return std::nullopt;
  return StraightStart(start_only.literal_prefix, std::move(rest), tail, tail_max);
}

std::optional<Block> StraightStart::next(std::u16string_view text, std::size_t from) const {
  const std::size_t n = text.size();
  const std::size_t fixed = prefix_.size() + rest_.size();
  for (std::size_t at = prefix_.find(text, from); at != MarkerSearch::npos;
       at = prefix_.find(text, at + 1)) {
    if (n - at < fixed) return std::nullopt;  // no later position has room either
    std::size_t k = 0;
    while (k < rest_.size() && rest_[k].takes(text[at + prefix_.size() + k])) ++k;
    if (k < rest_.size()) continue;
    std::size_t end = at + fixed;
    const std::size_t tail_end = end + std::min(tail_max_, n - end);
    while (end < tail_end && tail_.takes(text[end])) ++end;
    return Block{at, end - at};
  }
  return std::nullopt;
}

}  // namespace pelmo::extract
