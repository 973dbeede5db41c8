#include "extract/lazy_dfa.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "extract/dfa_state_cache.h"
#include "extract/marker_search.h"

namespace pelmo::extract {

namespace {

constexpr char16_t kLineFeed = u'\n';
constexpr std::size_t kNone = static_cast<std::size_t>(-1);
// Classes fit one byte; a program that tells more units apart runs on the simulation.
constexpr std::size_t kMaxClasses = 256;
// Give up after this many flushes when the states built since the last one each served fewer
// units than kMinUnitsPerState: the automaton costs more than the simulation would.
constexpr unsigned kFlushesBeforeGivingUp = 2;
constexpr std::size_t kMinUnitsPerState = 16;
constexpr std::size_t kKeyStepsPerThread = 4;
constexpr std::int64_t kNoInitial = -1;

// Transition flags: a match ends (forward) or begins (reverse) here; the next state is one the
// scan must look at (dead, idle, empty).
constexpr std::uint32_t kMatchedFlag = 1;
constexpr std::uint32_t kSpecialFlag = 2;

// Forward state flags, the first character of its key.
constexpr char32_t kStartAlive = 1;  // no match found yet: a new one may begin at each unit
constexpr char32_t kAtBegin = 2;     // the start of the text, where "^" holds

bool consumes(Op op) { return op == Op::Unit || op == Op::Dot || op == Op::Any; }

bool takes(const Inst& inst, char16_t c) {
  switch (inst.op) {
    case Op::Unit:
      return fold_unit(c, UnitFold::AsciiLetters) == inst.unit;
    case Op::Dot:
      return c != kLineFeed;
    case Op::Any:
      return true;
    default:
      return false;
  }
}

// Where a zero-width step may pass, the next unit being `c` unless at the end.
struct Context {
  char16_t c = 0;
  bool at_begin = false;
  bool at_end = false;

  bool passes(const Inst& inst) const {
    switch (inst.op) {
      case Op::AtBegin:
        return at_begin;
      case Op::AtEnd:
        return at_end;
      case Op::NotNextUnit:
        return at_end || fold_unit(c, UnitFold::AsciiLetters) != inst.unit;
      case Op::NotNextDot:
        return at_end || c == kLineFeed;
      default:
        return true;
    }
  }
};

// Code units grouped so that no instruction tells two units of one group apart: each unit the
// program names (with its other ASCII case), the line feed, and everything else.
struct UnitClasses {
  std::vector<std::uint8_t> of = std::vector<std::uint8_t>(65536, 0);  // class 0: the rest
  std::vector<char16_t> sample{0};                                     // one unit of each class

  bool build(const std::vector<Inst>& code) {
    std::vector<bool> named(65536, false);
    auto add = [&](char16_t unit) {
      if (named[unit]) return true;
      if (sample.size() == kMaxClasses) return false;
      const auto id = static_cast<std::uint8_t>(sample.size());
      for (char16_t each :
           {unit, fold_unit(unit, UnitFold::AsciiLetters),
            static_cast<char16_t>(unit >= u'a' && unit <= u'z' ? unit - 32 : unit)}) {
        of[each] = id;
        named[each] = true;
      }
      sample.push_back(unit);
      return true;
    };
    if (!add(kLineFeed)) return false;
    for (const Inst& inst : code) {
      if ((inst.op == Op::Unit || inst.op == Op::NotNextUnit) && !add(inst.unit)) return false;
    }
    char16_t rest = 0;
    while (named[rest]) ++rest;
    sample[0] = rest;
    return true;
  }
  std::size_t size() const { return sample.size(); }
};

// The zero-width steps reversed: for each instruction, those that reach it without a unit.
struct Predecessors {
  std::vector<std::uint32_t> first;  // of instruction i: from[first[i]] to from[first[i + 1]]
  std::vector<std::uint32_t> from;

  explicit Predecessors(const std::vector<Inst>& code) : first(code.size() + 1, 0) {
    auto each_edge = [&](auto&& edge) {
      for (std::uint32_t pc = 0; pc < code.size(); ++pc) {
        switch (code[pc].op) {
          case Op::Split:
            edge(pc, code[pc].x);
            edge(pc, code[pc].y);
            break;
          case Op::Jump:
            edge(pc, code[pc].x);
            break;
          case Op::AtBegin:
          case Op::AtEnd:
          case Op::NotNextUnit:
          case Op::NotNextDot:
            edge(pc, pc + 1);
            break;
          default:
            break;
        }
      }
    };
    each_edge([&](std::uint32_t, std::uint32_t to) { ++first[to + 1]; });
    for (std::size_t i = 1; i < first.size(); ++i) first[i] += first[i - 1];
    from.resize(first.back());
    std::vector<std::uint32_t> filled(first.begin(), first.end() - 1);
    each_edge([&](std::uint32_t pc, std::uint32_t to) { from[filled[to]++] = pc; });
  }
};

class Automaton final : public LazyDfa {
 public:
  Automaton(const MarkerProgram& program, std::u16string_view text, WorkBudget& budget,
            std::size_t cache_bytes, UnitClasses classes)
      : program_(program),
        code_(program.code),
        text_(text),
        budget_(budget),
        classes_(std::move(classes)),
        forward_(classes_.size(), cache_bytes),
        reverse_(classes_.size(), cache_bytes),
        predecessors_(code_),
        mark_(code_.size(), 0) {
    stack_.reserve(code_.size());
    has_at_begin_ = std::any_of(code_.begin(), code_.end(),
                                [](const Inst& inst) { return inst.op == Op::AtBegin; });
    match_pc_ = static_cast<std::uint32_t>(code_.size() - 1);  // the emitter ends with Match
    if (!program.literal_prefix.empty()) {
      prefix_.emplace(program.literal_prefix, UnitFold::AsciiLetters);
    }
    reset_forward();
    reset_reverse();
  }

  Outcome search(std::size_t from, Match& match) override {
    std::size_t end = 0, lowest_start = from;
    const auto forward = find_end(from, end, lowest_start);
    if (forward != Outcome::Found) return forward;
    std::size_t begin = kNone;
    if (!find_begin(end, lowest_start, begin)) return Outcome::GaveUp;
    match = {begin, end};
    return Outcome::Found;
  }

 private:
  // --- forward: where the leftmost-first match ends ---------------------------------------

  Outcome find_end(std::size_t from, std::size_t& end, std::size_t& lowest_start) {
    const std::size_t n = text_.size();
    std::uint32_t state = from == 0 && has_at_begin_ ? begin_ : idle_;
    bool found = false;
    std::size_t walked = 0;
    std::size_t pos = from;
    const std::uint8_t* classes = classes_.of.data();
    const unsigned shift = forward_.shift();
    if (state == idle_) {
      pos = next_candidate(pos);
      lowest_start = pos;
    }
    while (pos < n) {
      // The tight loop: transitions already built that neither match nor lead to the dead or
      // the idle state.
      const std::int32_t* table = forward_.table();
      std::int32_t row = static_cast<std::int32_t>(state << shift);
      std::int32_t to = 0;
      const std::size_t loop_from = pos;
      for (; pos < n; ++pos) {
        to = table[row + classes[text_[pos]]];
        if (to & DfaStateCache::kFlags) break;
        row = to;
      }
      walked += pos - loop_from;
      state = static_cast<std::uint32_t>(row) >> shift;
      if (pos == n) break;
      ++walked;
      if (to == DfaStateCache::kUnknown) {
        to = build_forward(state, classes[text_[pos]], walked);
        if (to == DfaStateCache::kUnknown) return Outcome::GaveUp;
      }
      if (to & kMatchedFlag) {
        found = true;
        end = pos;
      }
      state = static_cast<std::uint32_t>(to) >> shift;
      ++pos;
      if (state == dead_) break;
      if (state == idle_) {  // every thread alive from here on begins here or later
        pos = next_candidate(pos);
        lowest_start = pos;
      }
    }
    charge_walked(walked, forward_units_);
    if (pos >= n && state != dead_) {
      const std::u32string_view key = forward_.key(state);
      if (close_forward_list(key, Context{0, (key[0] & kAtBegin) != 0, true})) {
        found = true;
        end = n;
      }
    }
    return found ? Outcome::Found : Outcome::NotFound;
  }

  // With no thread alive, the next position where a match could begin; past the end when none.
  std::size_t next_candidate(std::size_t pos) const {
    if (program_.starts_anywhere) return pos;
    const std::size_t n = text_.size();
    if (prefix_) {
      const std::size_t at = prefix_->find(text_, pos);
      return at == MarkerSearch::npos ? n : at;
    }
    const auto& first = *program_.first_units;
    while (pos < n && !first.test(text_[pos])) ++pos;
    return pos;
  }

  // Closes the key's threads in priority order, then a new thread at the start when one may
  // begin, into consuming_; true when a match is reached, which ends the closing: what comes
  // after it has lower priority.
  bool close_forward_list(std::u32string_view key, const Context& context) {
    next_generation();
    consuming_.clear();
    std::size_t visited = 0;
    bool matched = false;
    for (std::size_t i = 1; i < key.size() && !matched; ++i) {
      matched = close_forward(static_cast<std::uint32_t>(key[i]), context, visited);
    }
    if (!matched && (key[0] & kStartAlive) != 0) matched = close_forward(0, context, visited);
    budget_.charge(visited);
    return matched;
  }

  bool close_forward(std::uint32_t pc0, const Context& context, std::size_t& visited) {
    stack_.clear();
    stack_.push_back(pc0);
    while (!stack_.empty()) {
      const std::uint32_t pc = stack_.back();
      stack_.pop_back();
      if (mark_[pc] == generation_) continue;
      mark_[pc] = generation_;
      ++visited;
      const Inst& inst = code_[pc];
      switch (inst.op) {
        case Op::Jump:
          stack_.push_back(inst.x);
          break;
        case Op::Split:
          stack_.push_back(inst.y);
          stack_.push_back(inst.x);
          break;
        case Op::Match:
          return true;
        case Op::Unit:
        case Op::Dot:
        case Op::Any:
          consuming_.push_back(pc);
          break;
        default:
          if (context.passes(inst)) stack_.push_back(pc + 1);
      }
    }
    return false;
  }

  std::int32_t build_forward(std::uint32_t state, std::size_t unit_class, std::size_t& walked) {
    const char16_t c = classes_.sample[unit_class];
    const std::u32string_view key = forward_.key(state);
    const bool matched = close_forward_list(key, Context{c, (key[0] & kAtBegin) != 0, false});
    next_key_.clear();
    next_key_.push_back(!matched && (key[0] & kStartAlive) != 0 ? kStartAlive : 0);
    for (std::uint32_t pc : consuming_) {
      if (takes(code_[pc], c)) next_key_.push_back(pc + 1);
    }
    budget_.charge(consuming_.size());
    charge_key();
    const bool flushed = forward_.full();
    if (flushed) {
      if (!flush(forward_units_, forward_states_, walked)) return DfaStateCache::kUnknown;
      forward_.clear();
      reset_forward();
    }
    ++forward_states_;
    const std::uint32_t to = forward_.intern(next_key_);
    const auto value =
        static_cast<std::int32_t>(to << forward_.shift() | (matched ? kMatchedFlag : 0u) |
                                  (to == dead_ || to == idle_ ? kSpecialFlag : 0u));
    if (!flushed) forward_.set_transition(state, unit_class, value);
    return value;
  }

  void reset_forward() {
    const char32_t dead[] = {0}, idle[] = {kStartAlive}, begin[] = {kStartAlive | kAtBegin};
    dead_ = forward_.intern({dead, 1});
    idle_ = forward_.intern({idle, 1});
    begin_ = forward_.intern({begin, 1});
  }

  // --- reverse: where the match that ends at `end` begins -----------------------------------

  // Scans back from `end`, no further than `lowest`, for the leftmost position a match ending
  // at `end` can begin at. False when the automaton gives up.
  bool find_begin(std::size_t end, std::size_t lowest, std::size_t& begin) {
    bool starts = false;
    std::uint32_t state = initial_reverse_state(end, starts);
    if (starts) begin = end;
    std::size_t walked = 0;
    const std::uint8_t* classes = classes_.of.data();
    const unsigned shift = reverse_.shift();
    // "^" holds only at 0, so the cached transition, built without it, may miss a start there.
    const std::size_t tight_lowest = has_at_begin_ ? std::max<std::size_t>(lowest, 1) : lowest;
    for (std::size_t pos = end; pos > lowest && state != empty_;) {
      const std::int32_t* table = reverse_.table();
      std::int32_t row = static_cast<std::int32_t>(state << shift);
      std::int32_t to = 0;
      const std::size_t loop_from = pos;
      for (; pos > tight_lowest; --pos) {
        to = table[row + classes[text_[pos - 1]]];
        if (to & DfaStateCache::kFlags) break;
        row = to;
      }
      walked += loop_from - pos;
      state = static_cast<std::uint32_t>(row) >> shift;
      if (pos <= lowest) break;
      const std::size_t unit_class = classes[text_[pos - 1]];
      const bool starts_at_text_begin = pos == 1 && has_at_begin_ && starts_at_zero(state);
      to = reverse_.transition(state, unit_class);
      ++walked;
      if (to == DfaStateCache::kUnknown) {
        to = build_reverse(state, unit_class, walked);
        if (to == DfaStateCache::kUnknown) return false;
      }
      --pos;
      if ((to & kMatchedFlag) || starts_at_text_begin) begin = pos;
      state = static_cast<std::uint32_t>(to) >> shift;
    }
    charge_walked(walked, reverse_units_);
    return begin != kNone;
  }

  bool starts_at_zero(std::uint32_t state) {
    seeds_.clear();
    const std::u32string_view key = reverse_.key(state);
    for (std::size_t i = 1; i < key.size(); ++i) {
      if (takes(code_[key[i]], text_[0])) seeds_.push_back(key[i]);
    }
    bool starts = false;
    close_backward(Context{text_[0], true, false}, starts);
    return starts;
  }

  // Marks every instruction from which one of seeds_ is reached without a unit, and gathers
  // into next_key_ the consuming instructions that lead into one; `starts` tells whether the
  // first instruction is among them: a match begins here.
  void close_backward(const Context& context, bool& starts) {
    next_generation();
    stack_.assign(seeds_.begin(), seeds_.end());
    next_key_.assign(1, 0);
    std::size_t visited = 0;
    while (!stack_.empty()) {
      const std::uint32_t pc = stack_.back();
      stack_.pop_back();
      if (mark_[pc] == generation_) continue;
      mark_[pc] = generation_;
      ++visited;
      if (pc > 0 && consumes(code_[pc - 1].op)) next_key_.push_back(pc - 1);
      for (std::uint32_t i = predecessors_.first[pc]; i < predecessors_.first[pc + 1]; ++i) {
        const std::uint32_t before = predecessors_.from[i];
        if (mark_[before] != generation_ && context.passes(code_[before])) {
          stack_.push_back(before);
        }
      }
    }
    starts = mark_[0] == generation_;
    std::sort(next_key_.begin() + 1, next_key_.end());
    budget_.charge(visited);
  }

  std::uint32_t reverse_state(const Context& context, bool& starts) {
    close_backward(context, starts);
    charge_key();
    return reverse_.intern(next_key_);
  }

  // Sorting, hashing and copying a state's key cost a few steps per thread in it.
  void charge_key() { budget_.charge(next_key_.size() * kKeyStepsPerThread); }

  std::int32_t build_reverse(std::uint32_t state, std::size_t unit_class, std::size_t& walked) {
    const char16_t c = classes_.sample[unit_class];
    seeds_.clear();
    const std::u32string_view key = reverse_.key(state);
    for (std::size_t i = 1; i < key.size(); ++i) {
      if (takes(code_[key[i]], c)) seeds_.push_back(key[i]);
    }
    budget_.charge(key.size());
    const bool flushed = reverse_.full();
    if (flushed) {
      if (!flush(reverse_units_, reverse_states_, walked)) return DfaStateCache::kUnknown;
      reverse_.clear();
      reset_reverse();
    }
    ++reverse_states_;
    bool starts = false;
    const std::uint32_t to = reverse_state(Context{c, false, false}, starts);
    const auto value = static_cast<std::int32_t>(
        to << reverse_.shift() | (starts ? kMatchedFlag : 0u) | (to == empty_ ? kSpecialFlag : 0u));
    if (!flushed) reverse_.set_transition(state, unit_class, value);
    return value;
  }

  void reset_reverse() {
    const char32_t empty[] = {0};
    empty_ = reverse_.intern({empty, 1});
    initial_.assign(classes_.size() + 1, kNoInitial);
  }

  // The state of the scan back from a match's end, which depends only on the unit after the
  // end (or its absence): kept per class, so that a page of many matches builds it once.
  std::uint32_t initial_reverse_state(std::size_t end, bool& starts) {
    const std::size_t n = text_.size();
    const std::size_t slot = end < n ? classes_.of[text_[end]] : classes_.size();
    if (end != 0 && initial_[slot] != kNoInitial) {
      starts = (initial_[slot] & kMatchedFlag) != 0;
      return static_cast<std::uint32_t>(initial_[slot] >> 1);
    }
    seeds_.assign(1, match_pc_);
    const char16_t c = end < n ? classes_.sample[slot] : char16_t{0};
    const std::uint32_t state = reverse_state(Context{c, end == 0, end == n}, starts);
    if (end != 0) initial_[slot] = std::int64_t{state} << 1 | (starts ? kMatchedFlag : 0u);
    return state;
  }

  // --- shared ------------------------------------------------------------------------------

  // Decides, when a cache is full, whether the automaton is still worth keeping: `units` counts
  // the units walked before the current scan since the last flush, `walked` those of this scan.
  bool flush(std::size_t& units, std::size_t& states, std::size_t walked) {
    const bool thrashing = units + walked < kMinUnitsPerState * states;
    if (thrashing && ++thrashing_flushes_ > kFlushesBeforeGivingUp) return false;
    units = 0 - walked;  // the scan's own units are added back when it ends
    states = 0;
    return true;
  }

  void charge_walked(std::size_t walked, std::size_t& units) {
    pending_transitions_ += walked;
    budget_.charge(pending_transitions_ / kTransitionsPerStep);
    pending_transitions_ %= kTransitionsPerStep;
    units += walked;
  }

  void next_generation() {
    if (++generation_ == 0) {
      std::fill(mark_.begin(), mark_.end(), 0);
      generation_ = 1;
    }
  }

  const MarkerProgram& program_;
  const std::vector<Inst>& code_;
  std::u16string_view text_;
  WorkBudget& budget_;
  UnitClasses classes_;
  DfaStateCache forward_;
  DfaStateCache reverse_;
  Predecessors predecessors_;
  std::vector<std::uint32_t> mark_;
  std::uint32_t generation_ = 0;
  std::vector<std::uint32_t> stack_;
  std::vector<std::uint32_t> consuming_;
  std::vector<std::uint32_t> seeds_;
  std::u32string next_key_;
  std::optional<MarkerSearch> prefix_;
  bool has_at_begin_ = false;
  std::uint32_t match_pc_ = 0;
  std::uint32_t dead_ = 0, idle_ = 0, begin_ = 0, empty_ = 0;
  std::vector<std::int64_t> initial_;  // per class of the unit after the end; -1: not built
  std::uint64_t pending_transitions_ = 0;
  std::size_t forward_units_ = 0, forward_states_ = 0;
  std::size_t reverse_units_ = 0, reverse_states_ = 0;
  unsigned thrashing_flushes_ = 0;
};

}  // namespace

std::unique_ptr<LazyDfa> LazyDfa::make(const MarkerProgram& program, std::u16string_view text,
                                       WorkBudget& budget, std::size_t cache_bytes) {
  UnitClasses classes;
  if (cache_bytes == 0 || !classes.build(program.code)) return nullptr;
  return std::make_unique<Automaton>(program, text, budget, cache_bytes, std::move(classes));
}

}  // namespace pelmo::extract
