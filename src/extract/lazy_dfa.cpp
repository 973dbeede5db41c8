#include "extract/lazy_dfa.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "extract/dfa_state_cache.h"
#include "extract/marker_search.h"
#include "extract/probe_scan.h"

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
// The state after the literal prefix: not built yet, or not one to jump to.
constexpr std::int64_t kNoPrefixState = -1;
constexpr std::int64_t kPrefixUnsteady = -2;
constexpr std::uint32_t kNoWindow = static_cast<std::uint32_t>(-1);
// How far ahead of a new stop window the text is fetched into the cache: a kilobyte.
constexpr std::size_t kPrefetchAhead = 512;
// How many recent stops decide whether a run's first units are looked at before its window,
// and how many.
constexpr int kPeekMemory = 4;
constexpr std::size_t kLookUnits = 4;

// Transition flags: a match ends (forward) or begins (reverse) here; the next state is one the
// scan must look at (dead, idle, empty, accelerated); forward, the match that ends here began
// where the scan's threads did (see kFirstThreads).
constexpr std::uint32_t kMatchedFlag = 1;
constexpr std::uint32_t kSpecialFlag = 2;
constexpr std::uint32_t kFirstFlag = 4;

// State tags (DfaStateCache::tag): not looked at yet, not accelerated, or 1 + the index of its
// acceleration.
constexpr std::int32_t kUnchecked = 0;
constexpr std::int32_t kNotAccelerated = -1;

// Forward state flags, the first character of its key.
constexpr char32_t kStartAlive = 1;  // no match found yet: a new one may begin at each unit
constexpr char32_t kAtBegin = 2;     // the start of the text, where "^" holds
// The second character of a forward key counts its leading threads that descend from the one
// that began where the scan last left the idle state: the match's start is known when one of
// them matches. Threads are ordered by start, so they always lead the list.
constexpr std::size_t kFirstThreads = 1;
constexpr std::size_t kForwardThreads = 2;  // where the threads begin in a forward key

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
//
// A unit's class is pages[unit >> 8][unit & 0xFF]: the pages that hold no named unit share one
// page of zeros, so that a call builds a few hundred bytes rather than a table of every unit.
struct UnitClasses {
  using Page = std::array<std::uint8_t, 256>;
  static constexpr Page kRest{};  // class 0: the rest

  std::array<const std::uint8_t*, 256> pages;
  std::vector<Page> own;                    // the pages with a named unit
  std::vector<char16_t> sample{0};          // one unit of each class
  std::vector<std::u16string> members{{}};  // every unit of each class; class 0 is not listed

  std::size_t of(char16_t unit) const { return pages[unit >> 8][unit & 0xFF]; }

  bool build(const std::vector<Inst>& code) {
    std::array<std::int16_t, 256> page_of;  // index into own, or -1
    page_of.fill(-1);
    auto cell = [&](char16_t unit) -> std::uint8_t& {
      std::int16_t& page = page_of[unit >> 8];
      if (page < 0) {
        page = static_cast<std::int16_t>(own.size());
        own.emplace_back().fill(0);
      }
      return own[static_cast<std::size_t>(page)][unit & 0xFF];
    };
    auto named = [&](char16_t unit) {
      return page_of[unit >> 8] >= 0 &&
             own[static_cast<std::size_t>(page_of[unit >> 8])][unit & 0xFF];
    };
    auto add = [&](char16_t unit) {
      if (named(unit)) return true;
      if (sample.size() == kMaxClasses) return false;
      const auto id = static_cast<std::uint8_t>(sample.size());
      std::u16string& units = members.emplace_back();
      for (char16_t each :
           {unit, fold_unit(unit, UnitFold::AsciiLetters),
            static_cast<char16_t>(unit >= u'a' && unit <= u'z' ? unit - 32 : unit)}) {
        if (!named(each)) units.push_back(each);
        cell(each) = id;
      }
      sample.push_back(unit);
      return true;
    };
    if (!add(kLineFeed)) return false;
    for (const Inst& inst : code) {
      if ((inst.op == Op::Unit || inst.op == Op::NotNextUnit) && !add(inst.unit)) return false;
    }
    char16_t rest = 0;
    while (named(rest)) ++rest;
    sample[0] = rest;
    for (std::size_t high = 0; high < pages.size(); ++high) {
      pages[high] =
          page_of[high] < 0 ? kRest.data() : own[static_cast<std::size_t>(page_of[high])].data();
    }
    return true;
  }
  std::size_t size() const { return sample.size(); }
};

// A probe that passes every unit of `units` (and, as a scan that stops early is harmless, maybe
// a few others); with `exact`, those units and no other. False when it would take more than
// four comparisons.
bool probe_for(std::u16string_view units, bool exact, ProbeSet& set) {
  for (const char16_t mask : {char16_t{0}, char16_t{0x20}}) {
    std::u16string values;
    for (char16_t u : units) {
      const auto v = static_cast<char16_t>(u | mask);
      if (values.find(v) == values.npos) values.push_back(v);
      // Under the mask a value stands for both v and v ^ mask.
      if (exact && mask != 0 && units.find(static_cast<char16_t>(u ^ mask)) == units.npos) {
        values.assign(5, 0);
        break;
      }
    }
    if (values.empty() || values.size() > 4) continue;
    UnitProbe& probe = set.probes[0];
    probe.or_mask = mask;
    for (std::size_t k = 0; k < 4; ++k) probe.units[k] = values[k < values.size() ? k : 0];
    set.count = 1;
    set.outside = exact;
    choose_scans(set);
    return true;
  }
  return false;
}

// A state that leads to itself on every unit but a few (".*" inside quotes stays on all but a
// quote and a line feed), or on a few units only (the "a" of "a+"): a scan passes over its run
// with the probe scan instead of one transition per unit.
struct Acceleration {
  std::int32_t loop = 0;  // the transition to itself, flags included
  bool never_leaves = false;
  ProbeSet stops;  // where it may leave: one of the exits, or the first unit not a loop
  // The first run with the same stops: states a scan moves between (after each quote of
  // `class=".*"`) read their stops from one window instead of probing it again.
  std::uint32_t window_key = 0;
  // How often the forward scan found a stop on the first kLookUnits units of the run, lately:
  // from zero up, those units are looked at before a window is probed.
  int stops_at_once = 0;
  // Forward, units after which a match ends, whatever comes next (each quote after the ".*" of
  // `class=".*"` alone): they lead to a state that is this one with a match pending, and back
  // here on the next unit, so they stay in the run, and the last one before its stop tells where
  // the match ends. `mark` is their transition, kUnknown when there are none, and `mark_flags`
  // those the next unit's transition carries. `marks` passes them, and maybe a few others.
  std::int32_t mark = DfaStateCache::kUnknown;
  std::int32_t mark_flags = 0;
  ProbeSet marks;
};

bool same_stops(const ProbeSet& a, const ProbeSet& b) {
  if (a.count != b.count || a.outside != b.outside) return false;
  for (std::size_t p = 0; p < a.count; ++p) {
    const UnitProbe &x = a.probes[p], &y = b.probes[p];
    if (x.offset != y.offset || x.or_mask != y.or_mask || x.units != y.units) return false;
  }
  return true;
}

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
    } else if (!program.starts_anywhere) {
      has_first_probe_ = probe_for(first_units(), false, first_probe_);
    }
    reset_forward();
    reset_reverse();
  }

  Outcome search(std::size_t from, Match& match) override {
    std::size_t end = 0, lowest_start = from;
    bool first = false;
    const auto forward = find_end(from, end, lowest_start, first);
    if (forward != Outcome::Found) return forward;
    if (first) {  // no scan back needed
      match = {lowest_start, end};
      return Outcome::Found;
    }
    std::size_t begin = kNone;
    if (!find_begin(end, lowest_start, begin)) return Outcome::GaveUp;
    match = {begin, end};
    return Outcome::Found;
  }

 private:
  // --- forward: where the leftmost-first match ends ---------------------------------------

  // Where the match found from `from` ends; `first` tells whether it began at `lowest_start`,
  // where the scan last left the idle state.
  Outcome find_end(std::size_t from, std::size_t& end, std::size_t& lowest_start, bool& first) {
    const std::size_t n = text_.size();
    std::uint32_t state = from == 0 && has_at_begin_ ? begin_ : idle_;
    bool found = false;
    std::size_t walked = 0;
    std::size_t pos = from;
    const auto& classes = classes_;
    const unsigned shift = forward_.shift();
    if (state == idle_) {
      pos = next_candidate(pos);
      lowest_start = pos;
      enter_prefix(state, pos, walked);
    }
    bool at_stop = false;
    while (pos < n) {
      const std::int32_t* table = forward_.table();
      // Read as unsigned, a row indexes the table with no sign extension between two loads.
      std::size_t row = std::size_t{state} << shift;
      std::int32_t to = 0;
      if (at_stop) {
        // The unit an accelerated run stopped at mostly leaves it: taken here, its transition
        // spares the tight loop an exit the processor cannot predict.
        to = table[row + classes.of(text_[pos])];
        at_stop = false;
      } else {
        // The tight loop: transitions already built that carry no flag.
        const std::size_t loop_from = pos;
        for (; pos < n; ++pos) {
          to = table[row + classes.of(text_[pos])];
          if (to & DfaStateCache::kFlags) break;
          row = static_cast<std::uint32_t>(to);
        }
        walked += pos - loop_from;
        state = static_cast<std::uint32_t>(row >> shift);
        if (pos == n) break;
      }
      ++walked;
      if (to == DfaStateCache::kUnknown) {
        to = build_forward(state, classes.of(text_[pos]), walked, true);
        if (to == DfaStateCache::kUnknown) return Outcome::GaveUp;
      }
      if (to & kMatchedFlag) {
        found = true;
        end = pos;
        first = (to & kFirstFlag) != 0;
      }
      state = static_cast<std::uint32_t>(to) >> shift;
      ++pos;
      if (state == dead_) break;
      if (state == idle_) {  // every thread alive from here on begins here or later
        pos = next_candidate(pos);
        lowest_start = pos;
        enter_prefix(state, pos, walked);
        continue;
      }
      const std::int32_t tag = forward_.tag(state);
      if (tag <= 0) continue;
      // An accelerated state: on to the next unit that may leave it.
      Acceleration& run = forward_runs_[static_cast<std::size_t>(tag - 1)];
      const std::size_t stop = run.never_leaves ? n : next_stop(run, pos);
      if (stop > pos && (run.loop & kMatchedFlag) != 0) {
        found = true;
        end = stop - 1;
        first = (run.loop & kFirstFlag) != 0;
      } else if (stop > pos && run.mark != DfaStateCache::kUnknown) {
        // The match a mark sets pending ends after it, with the next unit's transition. Just
        // before the stop, the scan goes on from the pending state: the stop's own transition,
        // or the end of the text, then ends that match.
        const std::size_t last = last_mark(run, state, pos, stop);
        if (last == stop - 1) {
          state = static_cast<std::uint32_t>(run.mark) >> shift;
        } else if (last != kNone) {
          found = true;
          end = last + 1;
          first = (run.mark_flags & kFirstFlag) != 0;
        }
      }
      walked += stop - pos;
      pos = stop;
      at_stop = true;
    }
    charge_walked(walked, forward_units_);
    if (pos >= n && state != dead_) {
      const std::u32string_view key = forward_.key(state);
      if (close_forward_list(key, Context{0, (key[0] & kAtBegin) != 0, true})) {
        found = true;
        end = n;
        first = matched_first_;
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
    if (has_first_probe_) return first_probed_start(first_probe_, text_.data(), pos, n);
    const auto& first = *program_.first_units;
    while (pos < n && !first.test(text_[pos])) ++pos;
    return pos;
  }

  // The next unit at or after `pos` that may leave the accelerated state of `run`, or the end.
  // Stops come a few units apart in markup: they are read from a window of 64 positions probed
  // at once, kept while the scan stays in that window and in states with the same stops.
  std::size_t next_stop(Acceleration& run, std::size_t pos) {
    const std::size_t n = text_.size();
    if (window_key_ != run.window_key || pos < window_from_ || pos >= window_from_ + kWindow) {
      // Where a run is often left within a few units (".{1,3}" before "</span>", the class
      // name after `class="`), a look at them spares the window; elsewhere the look costs more
      // than it saves, and the windows tell when it would pay again.
      const bool look = run.stops_at_once >= 0;
      if (look) {
        const std::size_t reach = std::min(pos + kLookUnits, n - std::min(n, run.stops.span));
        std::size_t at = pos;
        while (at < reach && !run.stops.passes_at(text_.data(), at)) ++at;
        remember_stop_at_once(run, at < reach);
        if (at < reach) return at;
      }
      window_key_ = run.window_key;
      window_from_ = pos;
      // Stops lead the scan through a large page: ask for the text ahead before it is needed.
      __builtin_prefetch(text_.data() + std::min(pos + kPrefetchAhead, n - 1));
      window_ = probed_window(run.stops, text_.data(), pos, n);
      if (!look) remember_stop_at_once(run, (window_ & ((1u << kLookUnits) - 1)) != 0);
    }
    const std::uint64_t ahead = window_ >> (pos - window_from_);
    if (ahead != 0) return pos + static_cast<std::size_t>(__builtin_ctzll(ahead));
    const std::size_t beyond = window_from_ + kWindow;
    return beyond < n ? first_probed_start(run.stops, text_.data(), beyond, n) : n;
  }

  static void remember_stop_at_once(Acceleration& run, bool at_once) {
    run.stops_at_once =
        std::clamp(run.stops_at_once + (at_once ? 1 : -1), -kPeekMemory, kPeekMemory);
  }

  // At a candidate the literal prefix has just been found at `pos`: the state after it is always
  // the same, taken at once instead of one transition per unit.
  void enter_prefix(std::uint32_t& state, std::size_t& pos, std::size_t& walked) {
    const std::size_t length = program_.literal_prefix.size();
    if (length == 0 || pos + length > text_.size()) return;
    if (prefix_state_ == kNoPrefixState) prefix_state_ = walk_prefix(pos, walked);
    if (prefix_state_ < 0) return;
    state = static_cast<std::uint32_t>(prefix_state_);
    pos += length;
    walked += length;
  }

  // The state reached from idle over the prefix at `pos`, or kNoPrefixState when it cannot be
  // built without emptying the cache, or kPrefixUnsteady when the walk ends or matches early.
  std::int64_t walk_prefix(std::size_t pos, std::size_t& walked) {
    std::uint32_t state = idle_;
    for (std::size_t i = pos; i < pos + program_.literal_prefix.size(); ++i) {
      const std::size_t unit_class = classes_.of(text_[i]);
      std::int32_t to = forward_.transition(state, unit_class);
      if (to == DfaStateCache::kUnknown) to = build_forward(state, unit_class, walked, false);
      if (to == DfaStateCache::kUnknown) return kNoPrefixState;
      state = static_cast<std::uint32_t>(to) >> forward_.shift();
      if ((to & kMatchedFlag) != 0 || state == dead_ || state == idle_) return kPrefixUnsteady;
    }
    return state;
  }

  // The units that may begin a match, in both cases, when the program has no literal prefix
  // and does not start anywhere.
  std::u16string first_units() const {
    std::u16string units;
    std::vector<bool> seen(code_.size(), false);
    std::vector<std::uint32_t> stack{0};
    while (!stack.empty() && units.size() <= 8) {
      const std::uint32_t pc = stack.back();
      stack.pop_back();
      if (seen[pc]) continue;
      seen[pc] = true;
      const Inst& inst = code_[pc];
      if (inst.op == Op::Unit) {
        units.push_back(inst.unit);
        if (inst.unit >= u'a' && inst.unit <= u'z') units.push_back(inst.unit - (u'a' - u'A'));
      } else if (inst.op == Op::Split) {
        stack.push_back(inst.y);
        stack.push_back(inst.x);
      } else if (inst.op == Op::Jump) {
        stack.push_back(inst.x);
      } else if (inst.op != Op::Match && !consumes(inst.op)) {
        stack.push_back(pc + 1);
      }
    }
    if (!stack.empty()) units.clear();  // too many to probe for
    return units;
  }

  // Closes the key's threads in priority order, then a new thread at the start when one may
  // begin, into consuming_; true when a match is reached, which ends the closing: what comes
  // after it has lower priority. Sets first_consuming_ to how many of consuming_ come from the
  // key's first threads (or from the new thread, in a state with none alive), and
  // matched_first_ when one of those matched.
  bool close_forward_list(std::u32string_view key, const Context& context) {
    next_generation();
    consuming_.clear();
    std::size_t visited = 0;
    bool matched = false;
    first_consuming_ = 0;
    matched_first_ = false;
    const std::size_t firsts = kForwardThreads + key[kFirstThreads];
    for (std::size_t i = kForwardThreads; i < key.size() && !matched; ++i) {
      matched = close_forward(static_cast<std::uint32_t>(key[i]), context, visited);
      if (i < firsts) {
        first_consuming_ = consuming_.size();
        matched_first_ = matched;
      }
    }
    if (!matched && (key[0] & kStartAlive) != 0) {
      matched = close_forward(0, context, visited);
      if (key.size() == kForwardThreads) {  // idle: this thread begins where the scan does
        first_consuming_ = consuming_.size();
        matched_first_ = matched;
      }
    }
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

  // The transition from `state` on `unit_class`, built and cached. When the cache is full it is
  // emptied first, or, without `may_flush`, nothing is built. kUnknown when the automaton gives
  // up or nothing was built.
  std::int32_t build_forward(std::uint32_t state, std::size_t unit_class, std::size_t& walked,
                             bool may_flush) {
    const char16_t c = classes_.sample[unit_class];
    const std::u32string_view key = forward_.key(state);
    const bool matched = close_forward_list(key, Context{c, (key[0] & kAtBegin) != 0, false});
    next_key_.clear();
    next_key_.push_back(!matched && (key[0] & kStartAlive) != 0 ? kStartAlive : 0);
    next_key_.push_back(0);
    next_generation();
    std::size_t visited = consuming_.size();
    for (std::size_t i = 0; i < consuming_.size(); ++i) {
      const std::uint32_t pc = consuming_[i];
      if (!takes(code_[pc], c)) continue;
      const std::size_t added = add_key_thread(pc + 1, visited);
      if (i < first_consuming_) next_key_[kFirstThreads] += static_cast<char32_t>(added);
    }
    budget_.charge(visited);
    // Once a thread is in the run between the markers, a match beginning later could only end
    // at an end marker that thread reaches first: no new threads need to begin.
    if (program_.run != MarkerProgram::kNoRun &&
        next_key_.find(static_cast<char32_t>(program_.run), kForwardThreads) !=
            std::u32string::npos) {
      next_key_[0] &= ~kStartAlive;
    }
    charge_key();
    const bool flushed = forward_.full();
    if (flushed) {
      if (!may_flush) return DfaStateCache::kUnknown;
      if (!flush(forward_units_, forward_states_, walked)) return DfaStateCache::kUnknown;
      forward_.clear();
      forward_runs_.clear();
      prefix_state_ = kNoPrefixState;
      window_key_ = kNoWindow;
      reset_forward();
    }
    ++forward_states_;
    const std::uint32_t to = forward_.intern(next_key_);
    const bool special = to == dead_ || to == idle_ || forward_.tag(to) > 0;
    const auto value = static_cast<std::int32_t>(
        to << forward_.shift() | (matched ? kMatchedFlag : 0u) |
        (matched && matched_first_ ? kFirstFlag : 0u) | (special ? kSpecialFlag : 0u));
    if (flushed) return value;
    forward_.set_transition(state, unit_class, value);
    if (to == state && forward_.tag(state) == kUnchecked && state != idle_ && state != begin_) {
      accelerate(
          forward_, forward_runs_, state, value, true,
          [&](std::uint32_t from, std::size_t k) { return build_forward(from, k, walked, false); });
    }
    return value;
  }

  // Adds the thread at `pc0` to next_key_ as the instructions it reaches through splits and
  // jumps alone, in priority order, each once in the key: lists that close alike (a thread back
  // at a repeat's jump and one at the split it leads to) get one key, so a run that keeps its
  // threads stays in one state. Returns how many were added.
  std::size_t add_key_thread(std::uint32_t pc0, std::size_t& visited) {
    std::size_t added = 0;
    stack_.assign(1, pc0);
    while (!stack_.empty()) {
      const std::uint32_t pc = stack_.back();
      stack_.pop_back();
      if (mark_[pc] == generation_) continue;
      mark_[pc] = generation_;
      ++visited;
      const Inst& inst = code_[pc];
      if (inst.op == Op::Jump) {
        stack_.push_back(inst.x);
      } else if (inst.op == Op::Split) {
        stack_.push_back(inst.y);
        stack_.push_back(inst.x);
      } else {
        next_key_.push_back(pc);
        ++added;
      }
    }
    return added;
  }

  void reset_forward() {
    const char32_t dead[] = {0, 0}, idle[] = {kStartAlive, 0},
                   begin[] = {kStartAlive | kAtBegin, 0};
    dead_ = forward_.intern({dead, 2});
    idle_ = forward_.intern({idle, 2});
    begin_ = forward_.intern({begin, 2});
  }

  // Decides whether `state`, just seen to lead to itself by `loop`, is accelerated: builds the
  // rest of its row (unless that would empty the cache) and looks at the units that leave it.
  // The transitions that stay are then flagged, so that the tight loop stops on them. With
  // `with_marks`, units that only set a match pending stay in the run too (Acceleration::mark).
  // `build(from, unit_class)` builds a transition without emptying the cache.
  template <typename Build>
  void accelerate(DfaStateCache& cache, std::vector<Acceleration>& runs, std::uint32_t state,
                  std::int32_t loop, bool with_marks, Build&& build) {
    cache.set_tag(state, kNotAccelerated);
    const auto row_of = [&](std::uint32_t from, std::vector<std::int32_t>& row) {
      row.resize(classes_.size());
      for (std::size_t k = 0; k < classes_.size(); ++k) {
        std::int32_t to = cache.transition(from, k);
        if (to == DfaStateCache::kUnknown) to = build(from, k);
        if (to == DfaStateCache::kUnknown) return false;  // the cache is full
        row[k] = to;
      }
      return true;
    };
    // Rows of its own: building a transition may accelerate another state meanwhile.
    std::vector<std::int32_t> row;
    if (!row_of(state, row)) return;
    Acceleration run;
    if (with_marks && (loop & kMatchedFlag) == 0) find_mark(state, row, row_of, run);
    if (!classify_run(row, loop, run)) {
      if (run.mark == DfaStateCache::kUnknown) return;
      run = Acceleration{};  // marks that cannot be found are left as exits
      if (!classify_run(row, loop, run)) return;
    }
    run.window_key = static_cast<std::uint32_t>(runs.size());
    for (const Acceleration& other : runs) {
      if (!other.never_leaves && same_stops(other.stops, run.stops)) {
        run.window_key = other.window_key;
        break;
      }
    }
    runs.push_back(run);
    cache.set_tag(state, static_cast<std::int32_t>(runs.size()));
    for (std::size_t k = 0; k < classes_.size(); ++k) {
      if (cache.transition(state, k) == loop) {
        cache.set_transition(state, k, loop | static_cast<std::int32_t>(kSpecialFlag));
      }
    }
  }

  // Looks in `row` (that of `state`) for a transition to a state whose own row is `row` with
  // one more flag set, the same for every unit: a match that ends on whichever unit comes next.
  template <typename RowOf>
  void find_mark(std::uint32_t state, const std::vector<std::int32_t>& row, RowOf&& row_of,
                 Acceleration& run) {
    constexpr auto kSpecial = static_cast<std::int32_t>(kSpecialFlag);
    const unsigned shift = forward_.shift();
    std::vector<std::int32_t> pending_row;
    for (const std::int32_t to : row) {
      const std::uint32_t pending = static_cast<std::uint32_t>(to) >> shift;
      if ((to & kMatchedFlag) != 0 || pending == state || pending == dead_ || pending == idle_) {
        continue;
      }
      if (!pends_match(state, pending)) continue;
      if (!row_of(pending, pending_row)) return;
      const std::int32_t flags = (pending_row[0] & ~kSpecial) ^ (row[0] & ~kSpecial);
      if ((flags & kMatchedFlag) == 0 || (flags & ~DfaStateCache::kFlags) != 0) continue;
      bool alike = true;
      for (std::size_t k = 0; k < row.size() && alike; ++k) {
        alike = (pending_row[k] & ~kSpecial) == ((row[k] & ~kSpecial) | flags);
      }
      if (!alike) continue;
      run.mark = to;
      run.mark_flags = flags;
      return;
    }
  }

  // Whether the key of `pending` holds the threads of `state`, then one at the match: only then
  // can its row be that of `state` with a match pending, which is worth building it to see.
  bool pends_match(std::uint32_t state, std::uint32_t pending) const {
    const std::u32string_view key = forward_.key(state), other = forward_.key(pending);
    return other.size() > key.size() && other[0] == key[0] &&
           other.substr(kForwardThreads, key.size() - kForwardThreads) ==
               key.substr(kForwardThreads) &&
           code_[other[key.size()]].op == Op::Match;
  }

  // The stops of a run over `row` that stays on `loop` or `run.mark`, and how its marks are
  // found; false when a probe would take too many comparisons. Marks are kept only in a run that
  // stays on the units the program does not name, as ".*" does: a few, found by their probe.
  bool classify_run(const std::vector<std::int32_t>& row, std::int32_t loop, Acceleration& run) {
    std::u16string exits, stays, marks;
    for (std::size_t k = 0; k < row.size(); ++k) {
      (row[k] == loop ? stays : row[k] == run.mark ? marks : exits) += classes_.members[k];
    }
    const bool rest_stays = row[0] == loop;
    run.loop = loop;
    if (rest_stays) {
      run.never_leaves = exits.empty();
      if (!run.never_leaves && !probe_for(exits, false, run.stops)) return false;
    } else if (run.mark != DfaStateCache::kUnknown || !probe_for(stays, true, run.stops)) {
      return false;
    }
    return run.mark == DfaStateCache::kUnknown || probe_for(marks, false, run.marks);
  }

  // Where the last mark of `run` in [from, stop) is, or kNone; `stop` > `from`.
  std::size_t last_mark(const Acceleration& run, std::uint32_t state, std::size_t from,
                        std::size_t stop) const {
    for (std::size_t length = stop - from; length > 0;) {
      const std::size_t at = last_probed_start(run.marks, text_.data() + from, length - 1);
      if (at == kNoStart) return kNone;
      if (forward_.transition(state, classes_.of(text_[from + at])) == run.mark) return from + at;
      length = at;
    }
    return kNone;
  }

  // --- reverse: where the match that ends at `end` begins -----------------------------------

  // Scans back from `end`, no further than `lowest`, for the leftmost position a match ending
  // at `end` can begin at. False when the automaton gives up.
  bool find_begin(std::size_t end, std::size_t lowest, std::size_t& begin) {
    bool starts = false;
    std::uint32_t state = initial_reverse_state(end, starts);
    if (starts) begin = end;
    std::size_t walked = 0;
    const auto& classes = classes_;
    const unsigned shift = reverse_.shift();
    // "^" holds only at 0, so the cached transition, built without it, may miss a start there.
    const std::size_t tight_lowest = has_at_begin_ ? std::max<std::size_t>(lowest, 1) : lowest;
    for (std::size_t pos = end; pos > lowest && state != empty_;) {
      const std::int32_t* table = reverse_.table();
      std::size_t row = std::size_t{state} << shift;
      std::int32_t to = 0;
      const std::size_t loop_from = pos;
      for (; pos > tight_lowest; --pos) {
        to = table[row + classes.of(text_[pos - 1])];
        if (to & DfaStateCache::kFlags) break;
        row = static_cast<std::uint32_t>(to);
      }
      walked += loop_from - pos;
      state = static_cast<std::uint32_t>(row >> shift);
      if (pos <= lowest) break;
      const std::size_t unit_class = classes.of(text_[pos - 1]);
      const bool starts_at_text_begin = pos == 1 && has_at_begin_ && starts_at_zero(state);
      to = reverse_.transition(state, unit_class);
      ++walked;
      if (to == DfaStateCache::kUnknown) {
        to = build_reverse(state, unit_class, walked, true);
        if (to == DfaStateCache::kUnknown) return false;
      }
      --pos;
      if ((to & kMatchedFlag) || starts_at_text_begin) begin = pos;
      state = static_cast<std::uint32_t>(to) >> shift;
      const std::int32_t tag = reverse_.tag(state);
      if (tag <= 0 || pos <= tight_lowest) continue;
      // An accelerated state: back to just after the previous unit that may leave it.
      const Acceleration& run = reverse_runs_[static_cast<std::size_t>(tag - 1)];
      std::size_t stop = tight_lowest;
      if (!run.never_leaves) {
        const std::size_t at =
            last_probed_start(run.stops, text_.data() + tight_lowest, pos - 1 - tight_lowest);
        if (at != kNoStart) stop = tight_lowest + at + 1;
      }
      if (stop < pos && (run.loop & kMatchedFlag) != 0) begin = stop;
      walked += pos - stop;
      pos = stop;
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

  std::int32_t build_reverse(std::uint32_t state, std::size_t unit_class, std::size_t& walked,
                             bool may_flush) {
    const char16_t c = classes_.sample[unit_class];
    seeds_.clear();
    const std::u32string_view key = reverse_.key(state);
    for (std::size_t i = 1; i < key.size(); ++i) {
      if (takes(code_[key[i]], c)) seeds_.push_back(key[i]);
    }
    budget_.charge(key.size());
    const bool flushed = reverse_.full();
    if (flushed) {
      if (!may_flush) return DfaStateCache::kUnknown;
      if (!flush(reverse_units_, reverse_states_, walked)) return DfaStateCache::kUnknown;
      reverse_.clear();
      reverse_runs_.clear();
      reset_reverse();
    }
    ++reverse_states_;
    bool starts = false;
    const std::uint32_t to = reverse_state(Context{c, false, false}, starts);
    const bool special = to == empty_ || reverse_.tag(to) > 0;
    const auto value = static_cast<std::int32_t>(
        to << reverse_.shift() | (starts ? kMatchedFlag : 0u) | (special ? kSpecialFlag : 0u));
    if (flushed) return value;
    reverse_.set_transition(state, unit_class, value);
    if (to == state && reverse_.tag(state) == kUnchecked && state != empty_) {
      accelerate(
          reverse_, reverse_runs_, state, value, false,
          [&](std::uint32_t from, std::size_t k) { return build_reverse(from, k, walked, false); });
    }
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
    const std::size_t slot = end < n ? classes_.of(text_[end]) : classes_.size();
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
  ProbeSet first_probe_;  // without a prefix: where a unit that may begin a match stands
  bool has_first_probe_ = false;
  std::vector<Acceleration> forward_runs_, reverse_runs_;  // the accelerated states of each cache
  std::int64_t prefix_state_ = kNoPrefixState;
  // The stops of the forward runs with one window key in positions [window_from_, + kWindow).
  std::uint32_t window_key_ = kNoWindow;
  std::size_t window_from_ = 0;
  std::uint64_t window_ = 0;
  std::size_t first_consuming_ = 0;
  bool matched_first_ = false;
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
