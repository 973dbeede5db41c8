#include "extract/bounded_matcher.h"

#include <optional>

#include "extract/lazy_dfa.h"
#include "extract/marker_search.h"
#include "extract/straight_start.h"
#include "extract/work_budget.h"

namespace pelmo::extract {

namespace {

constexpr char16_t kLineFeed = u'\n';

// Threads in priority order, each an instruction and where its match began.
struct ThreadList {
  std::vector<std::uint32_t> pc;
  std::vector<std::size_t> start;

  explicit ThreadList(std::size_t capacity) {
    pc.reserve(capacity);
    start.reserve(capacity);
  }
  void clear() {
    pc.clear();
    start.clear();
  }
  bool empty() const { return pc.empty(); }
};

class Matcher {
 public:
  Matcher(const MarkerProgram& program, std::u16string_view text, WorkBudget& budget)
      : code_(program.code),
        program_(program),
        text_(text),
        budget_(budget),
        mark_(code_.size(), 0),
        current_(code_.size()),
        next_(code_.size()) {
    stack_.reserve(code_.size());
    if (!program.literal_prefix.empty()) {
      prefix_.emplace(program.literal_prefix, UnitFold::AsciiLetters);
    }
  }

  struct Found {
    std::size_t begin;
    std::size_t end;
  };

  // The match a backtracking engine finds starting its search at `from`. Threads that began
  // earlier come first, and within one start the order of the branches taken decides, so the
  // first thread to match with nothing ahead of it still alive is that engine's match.
  std::optional<Found> search(std::size_t from) {
    const std::size_t n = text_.size();
    std::optional<Found> found;
    current_.clear();
    next_generation();
    for (std::size_t pos = from;;) {
      if (!found && current_.empty()) {
        pos = next_candidate(pos);
        if (pos > n) break;
        next_generation();
      } else if (pos < n) {
        pos = skip_inside_run(pos, found.has_value());
      }
      if (!found && can_begin_at(pos)) add_thread(current_, 0, pos, pos);
      if (current_.empty()) {  // no match can begin here, for want of an anchor
        if (found || pos == n) break;
        ++pos;
        continue;
      }
      next_generation();
      const std::size_t count = current_.pc.size();
      for (std::size_t t = 0; t < count; ++t) {
        charge();
        const std::uint32_t pc = current_.pc[t];
        const Inst& inst = code_[pc];
        if (inst.op == Op::Match) {
          found = Found{current_.start[t], pos};
          break;  // threads behind this one have lower priority
        }
        if (pos < n && takes(inst, text_[pos]))
          add_thread(next_, pc + 1, current_.start[t], pos + 1);
      }
      std::swap(current_, next_);
      next_.clear();
      if (pos == n) break;
      ++pos;
    }
    return found;
  }

 private:
  static bool takes(const Inst& inst, char16_t c) {
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

  void charge() { budget_.charge(); }

  void next_generation() {
    if (++generation_ == 0) {  // wrapped: forget every mark
      std::fill(mark_.begin(), mark_.end(), 0);
      generation_ = 1;
    }
  }

  // Inside the run between the markers, while the only threads are the run and the end
  // marker's first unit waiting after it, every unit that is neither that unit nor one a new
  // match could begin with leaves the threads as they are: they are skipped in one scan, each
  // still charged. Returns the first position that may change them.
  std::size_t skip_inside_run(std::size_t pos, bool found) {
    if (current_.pc.size() != 2 || current_.start[0] != current_.start[1]) return pos;
    const Inst& run = code_[current_.pc[1]];
    if (run.op != Op::Any || run.x != current_.pc[0]) return pos;
    const Inst& exit = code_[current_.pc[0]];
    if (exit.op != Op::Unit) return pos;
    if (!found && program_.starts_anywhere) return pos;
    const std::size_t n = text_.size();
    const std::bitset<65536>* first = found ? nullptr : program_.first_units.get();
    std::size_t at = pos;
    while (at < n) {
      const char16_t c = text_[at];
      if (fold_unit(c, UnitFold::AsciiLetters) == exit.unit || (first && first->test(c))) break;
      ++at;
    }
    for (std::size_t i = pos; i < at; ++i) charge();
    return at;
  }

  // Whether a match may begin at `pos` as far as its first unit tells.
  bool can_begin_at(std::size_t pos) const {
    if (program_.starts_anywhere) return true;
    return pos < text_.size() && program_.first_units->test(text_[pos]);
  }

  // With no thread alive, skips to the next position where a match could begin; past the end
  // when there is none.
  std::size_t next_candidate(std::size_t pos) const {
    if (program_.starts_anywhere) return pos;
    const std::size_t n = text_.size();
    if (prefix_) {
      const std::size_t at = prefix_->find(text_, pos);
      return at == MarkerSearch::npos ? n + 1 : at;
    }
    const auto& first = *program_.first_units;
    while (pos < n && !first.test(text_[pos])) ++pos;
    return pos < n ? pos : n + 1;
  }

  // Adds the thread at `pc` and everything it reaches without taking a unit, in priority order;
  // an instruction already reached at this position by a thread ahead is not added again.
  void add_thread(ThreadList& list, std::uint32_t pc0, std::size_t start, std::size_t pos) {
    const std::size_t n = text_.size();
    stack_.push_back(pc0);
    while (!stack_.empty()) {
      const std::uint32_t pc = stack_.back();
      stack_.pop_back();
      if (mark_[pc] == generation_) continue;
      mark_[pc] = generation_;
      charge();
      const Inst& inst = code_[pc];
      switch (inst.op) {
        case Op::Jump:
          stack_.push_back(inst.x);
          break;
        case Op::Split:
          stack_.push_back(inst.y);
          stack_.push_back(inst.x);
          break;
        case Op::AtBegin:
          if (pos == 0) stack_.push_back(pc + 1);
          break;
        case Op::AtEnd:
          if (pos == n) stack_.push_back(pc + 1);
          break;
        case Op::NotNextUnit:
          if (pos == n || fold_unit(text_[pos], UnitFold::AsciiLetters) != inst.unit) {
            stack_.push_back(pc + 1);
          }
          break;
        case Op::NotNextDot:
          if (pos == n || text_[pos] == kLineFeed) stack_.push_back(pc + 1);
          break;
        case Op::Unit:
        case Op::Dot:
        case Op::Any:
        case Op::Match:
          list.pc.push_back(pc);
          list.start.push_back(start);
          break;
      }
    }
  }

  const std::vector<Inst>& code_;
  const MarkerProgram& program_;
  std::u16string_view text_;
  WorkBudget& budget_;
  std::vector<std::uint32_t> mark_;
  std::uint32_t generation_ = 0;
  ThreadList current_;
  ThreadList next_;
  std::vector<std::uint32_t> stack_;
  // Finds where the units every match begins with stand, many positions at a time.
  std::optional<MarkerSearch> prefix_;
};

// The matches of one program from a position on: on the automaton while it serves, then on the
// simulation for the rest of the call.
class ProgramSearch {
 public:
  ProgramSearch(const MarkerProgram& program, std::u16string_view text, WorkBudget& budget,
                std::size_t dfa_cache_bytes)
      : text_size_(text.size()),
        simulation_(program, text, budget),
        automaton_(LazyDfa::make(program, text, budget, dfa_cache_bytes)) {}

  // The match a search from `from` finds, into `match`; false when there is none.
  bool next(std::size_t from, LazyDfa::Match& match) {
    const auto outcome = automaton_ ? automaton_->search(from, match) : LazyDfa::Outcome::GaveUp;
    if (outcome != LazyDfa::Outcome::GaveUp) return outcome == LazyDfa::Outcome::Found;
    automaton_.reset();
    const std::optional<Matcher::Found> found = simulation_.search(from);
    if (found) match = {found->begin, found->end};
    return found.has_value();
  }

  // Every match from `from` on, not overlapping, to the sink.
  void each_from(std::size_t from, const BlockSink& sink) {
    LazyDfa::Match match;
    while (from <= text_size_ && next(from, match)) {
      sink({match.begin, match.end - match.begin});
      from = match.end > match.begin ? match.end : match.begin + 1;
    }
  }

 private:
  std::size_t text_size_;
  Matcher simulation_;
  std::unique_ptr<LazyDfa> automaton_;
};

// The first `over` at or after `from`. The next `look_near` positions are compared directly
// first: where the end marker stands just after a short start, that costs less than a search.
std::size_t find_over(const MarkerSearch& over, std::u16string_view text, std::size_t from,
                      std::size_t look_near) {
  const std::size_t room = text.size() >= over.size() ? text.size() - over.size() + 1 : 0;
  const std::size_t near_end = std::min(from + look_near, room);
  for (std::size_t at = from; at < near_end; ++at) {
    if (over.occurs_at(text.data(), text.size(), at)) return at;
  }
  return over.find(text, std::max(from, near_end));
}

}  // namespace

void bounded_matches(const MarkerProgram& program, std::u16string_view text, const BlockSink& sink,
                     std::uint64_t budget, std::size_t dfa_cache_bytes) {
  WorkBudget work(budget);
  ProgramSearch(program, text, work, dfa_cache_bytes).each_from(0, sink);
}

std::vector<Block> bounded_matches(const MarkerProgram& program, std::u16string_view text,
                                   std::uint64_t budget, std::size_t dfa_cache_bytes) {
  std::vector<Block> blocks;
  bounded_matches(
      program, text, [&](const Block& block) { blocks.push_back(block); }, budget, dfa_cache_bytes);
  return blocks;
}

void bounded_matches_to_literal(const ProgramSource& program, const MarkerProgram& start_only,
                                std::u16string_view over, std::u16string_view text,
                                std::size_t look_near, const BlockSink& sink, std::uint64_t budget,
                                std::size_t dfa_cache_bytes) {
  WorkBudget work(budget);
  const MarkerSearch over_search(over, UnitFold::AsciiLetters);
  std::size_t from = 0;
  // The start's first choice [begin, start_end) taken on to the first end marker after it;
  // false when none follows, where a later choice of the start may still end before one,
  // which only the whole program knows.
  auto take = [&](std::size_t begin, std::size_t start_end) {
    const std::size_t over_at = find_over(over_search, text, start_end, look_near);
    if (over_at == MarkerSearch::npos) return false;
    const std::size_t end = over_at + over.size();
    sink({begin, end - begin});
    from = end;  // not empty, and never past the text: the end marker is in it
    return true;
  };
  if (const std::optional<StraightStart> straight = StraightStart::of(start_only)) {
    for (;;) {
      const std::optional<Block> start = straight->next(text, from);
      if (!start) return;  // no start marker: no match either
      if (!take(start->offset, start->offset + start->length)) break;
    }
  } else {
    // Let go before the whole program's automaton is built: one cache's memory at a time.
    ProgramSearch starts(start_only, text, work, dfa_cache_bytes);
    LazyDfa::Match start;
    for (;;) {
      if (!starts.next(from, start)) return;
      if (!take(start.begin, start.end)) break;
    }
  }
  ProgramSearch(program(), text, work, dfa_cache_bytes).each_from(from, sink);
}

}  // namespace pelmo::extract
