#include "extract/marker_program.h"

#include <limits>
#include <string>

#include "extract/marker_search.h"
#include "pelmo/error.h"

namespace pelmo::extract {

namespace {

// The run between the markers as the pattern is written; offsets in error messages count it so.
constexpr std::size_t kWrittenRunLength = std::u16string_view(u"(\\n|.)*?").size();
constexpr std::uint32_t kUnbounded = std::numeric_limits<std::uint32_t>::max();
// The largest count a "{m,n}" may give, as in the usual engines.
constexpr std::uint32_t kMaxCount = 65535;

struct Item {
  enum class Kind { Unit, Dot, Run, Begin, End } kind;
  char16_t unit = 0;
  std::uint32_t min = 1;
  std::uint32_t max = 1;
  bool possessive = false;
  bool quantified = false;

  bool repeatable() const { return (kind == Kind::Unit || kind == Kind::Dot) && !quantified; }
};
using Alternative = std::vector<Item>;

[[noreturn]] void syntax_error(const char* what, std::size_t offset) {
  throw AutomationError(err::kRegexSyntax, std::string("Syntax error in regular expression: ") +
                                               what + " at offset " + std::to_string(offset));
}

[[noreturn]] void too_large() {
  throw AutomationError(err::kOutOfStack,
                        "Out of stack space: the pattern of the markers is too large for the "
                        "matcher's limits");
}

bool is_digit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Instructions the emitter gives an item.
std::size_t size_of(const Item& item) {
  switch (item.kind) {
    case Item::Kind::Begin:
    case Item::Kind::End:
      return 1;
    case Item::Kind::Run:
      return 3;
    case Item::Kind::Unit:
    case Item::Kind::Dot:
      break;
  }
  if (item.max == item.min) return item.min;
  const bool unbounded = item.max == kUnbounded;
  std::size_t size = item.min + (unbounded ? 3 : 2 * std::size_t{item.max - item.min});
  if (item.possessive) size += unbounded ? 1 : 2;
  return size;
}

// Reads one marker's escaped text into the alternatives, left to right, the way a backtracking
// engine's parser would, refusing what it refuses at the offset where it refuses it. It counts
// the instructions the alternatives will take as it goes, and fails with error 28 as soon as
// they pass the cap, so that a huge marker costs no more than the cap allows.
class MarkerParser {
 public:
  MarkerParser(std::vector<Alternative>& alternatives, std::size_t max_size)
      : alternatives_(alternatives), max_size_(max_size) {}

  void parse(std::u16string_view text, std::size_t base) {
    for (std::size_t i = 0; i < text.size();) {
      const char16_t c = text[i];
      switch (c) {
        case u'\\':
          // Escaping puts a backslash only before a unit that stands for itself.
          add({Item::Kind::Unit, i + 1 < text.size() ? text[i + 1] : c});
          i += 2;
          break;
        case u'.':
          add({Item::Kind::Dot});
          ++i;
          break;
        case u'^':
          add({Item::Kind::Begin});
          ++i;
          break;
        case u'$':
          add({Item::Kind::End});
          ++i;
          break;
        case u'|':
          grow(2);  // the split before an alternative and the jump after it
          alternatives_.emplace_back();
          ++i;
          break;
        case u'*':
        case u'+':
          i = quantify(text, base, i, i + 1, c == u'*' ? 0 : 1, kUnbounded);
          break;
        case u'{':
          i = counted_or_literal(text, base, i);
          break;
        default:
          add({Item::Kind::Unit, c});
          ++i;
      }
    }
  }

  // The shortest run of any units between the markers: a group already repeated.
  void add_run() { add({Item::Kind::Run}); }

 private:
  void add(Item item) {
    Alternative& items = alternatives_.back();
    // A unit repeated zero times takes no instruction: dropped, so that no run of them can
    // hold memory the cap does not count. Only the last item can still take a quantifier.
    if (!items.empty() && size_of(items.back()) == 0) items.pop_back();
    grow(size_of(item));
    items.push_back(item);
  }

  void grow(std::size_t instructions) {
    size_ += instructions;
    if (size_ > max_size_) too_large();
  }

  // "{m}", "{m,}" or "{m,n}" repeats the unit before it; any other "{" is itself.
  std::size_t counted_or_literal(std::u16string_view text, std::size_t base, std::size_t open) {
    std::size_t i = open + 1;
    const std::size_t min_from = i;
    while (i < text.size() && is_digit(text[i])) ++i;
    const std::size_t min_to = i;
    std::size_t max_from = i, max_to = i;
    bool bounded = true;
    if (min_to > min_from && i < text.size() && text[i] == u',') {
      max_from = ++i;
      while (i < text.size() && is_digit(text[i])) ++i;
      max_to = i;
      bounded = max_to > max_from;
    }
    if (min_to == min_from || i >= text.size() || text[i] != u'}') {
      add({Item::Kind::Unit, u'{'});
      return open + 1;
    }
    const std::size_t close = i;
    const std::uint32_t min = count(text, base, min_from, min_to);
    std::uint32_t max = min;
    if (max_from != min_to) max = bounded ? count(text, base, max_from, max_to) : kUnbounded;
    if (max < min) syntax_error("numbers out of order in {} quantifier", base + close);
    return quantify(text, base, close, close + 1, min, max);
  }

  // The number in text[from, to); too big is refused just past the digit that makes it so.
  static std::uint32_t count(std::u16string_view text, std::size_t base, std::size_t from,
                             std::size_t to) {
    std::uint32_t value = 0;
    for (std::size_t i = from; i < to; ++i) {
      value = value * 10 + static_cast<std::uint32_t>(text[i] - u'0');
      if (value > kMaxCount) syntax_error("number too big in {} quantifier", base + i + 1);
    }
    return value;
  }

  // Applies a repeat whose last unit is at `last` to the item before it; a "+" right after
  // makes it possessive. Returns where parsing goes on.
  std::size_t quantify(std::u16string_view text, std::size_t base, std::size_t last,
                       std::size_t next, std::uint32_t min, std::uint32_t max) {
    Alternative& items = alternatives_.back();
    if (items.empty() || !items.back().repeatable()) {
      syntax_error("quantifier does not follow a repeatable item", base + last);
    }
    Item& item = items.back();
    size_ -= size_of(item);
    item.min = min;
    item.max = max;
    item.quantified = true;
    if (next < text.size() && text[next] == u'+') {
      item.possessive = true;
      ++next;
    }
    grow(size_of(item));
    return next;
  }

  std::vector<Alternative>& alternatives_;
  std::size_t max_size_;
  std::size_t size_ = 1;  // the final match
};

class Emitter {
 public:
  Emitter(std::vector<Inst>& code, std::size_t max_size) : code_(code), max_size_(max_size) {}

  std::uint32_t here() const { return static_cast<std::uint32_t>(code_.size()); }

  std::uint32_t emit(Inst inst) {
    if (code_.size() >= max_size_) too_large();
    code_.push_back(inst);
    return here() - 1;
  }

  void alternatives(const std::vector<Alternative>& alternatives) {
    std::vector<std::uint32_t> to_end;
    for (std::size_t a = 0; a < alternatives.size(); ++a) {
      std::uint32_t split = 0;
      const bool last = a + 1 == alternatives.size();
      if (!last) split = emit({Op::Split});
      if (!last) code_[split].x = here();
      for (const Item& item : alternatives[a]) this->item(item);
      if (!last) {
        to_end.push_back(emit({Op::Jump}));
        code_[split].y = here();
      }
    }
    const std::uint32_t match = emit({Op::Match});
    for (std::uint32_t jump : to_end) code_[jump].x = match;
  }

 private:
  void item(const Item& item) {
    switch (item.kind) {
      case Item::Kind::Begin:
        emit({Op::AtBegin});
        return;
      case Item::Kind::End:
        emit({Op::AtEnd});
        return;
      case Item::Kind::Run: {
        // Shortest first: leaving the run comes before taking one more unit.
        const std::uint32_t split = emit({Op::Split});
        const std::uint32_t any = emit({Op::Any});
        emit({Op::Jump, 0, split});
        code_[split].x = here();
        code_[split].y = any;
        code_[any].x = here();  // where leaving the run goes: the matcher may skip ahead to it
        return;
      }
      case Item::Kind::Unit:
      case Item::Kind::Dot:
        repeat(item);
    }
  }

  Inst atom(const Item& item) const {
    return item.kind == Item::Kind::Dot
               ? Inst{Op::Dot}
               : Inst{Op::Unit, fold_unit(item.unit, UnitFold::AsciiLetters)};
  }

  // The unit repeated min to max times, more first. A possessive repeat may stop short of max
  // only where the next unit could not be taken, so it keeps exactly as many as it can.
  void repeat(const Item& item) {
    const Inst one = atom(item);
    for (std::uint32_t i = 0; i < item.min; ++i) emit(one);
    if (item.max == item.min) return;
    std::vector<std::uint32_t> splits;  // each: y is where a repeat that stops goes
    if (item.max == kUnbounded) {
      const std::uint32_t split = emit({Op::Split});
      code_[split].x = split + 1;
      emit(one);
      emit({Op::Jump, 0, split});
      splits.push_back(split);
    } else {
      for (std::uint32_t i = item.min; i < item.max; ++i) {
        const std::uint32_t split = emit({Op::Split});
        code_[split].x = split + 1;
        emit(one);
        splits.push_back(split);
      }
    }
    std::uint32_t stop = here();
    if (item.possessive) {
      if (item.max != kUnbounded) emit({Op::Jump, 0, here() + 2});  // max taken: nothing to check
      stop = emit({one.op == Op::Dot ? Op::NotNextDot : Op::NotNextUnit, one.unit});
    }
    for (std::uint32_t split : splits) code_[split].y = stop;
  }

  std::vector<Inst>& code_;
  std::size_t max_size_;
};

// Which units the first consuming step can take, every assertion taken as passing.
void find_first_units(MarkerProgram& program) {
  const std::vector<Inst>& code = program.code;
  auto units = std::make_unique<std::bitset<65536>>();
  std::vector<bool> seen(code.size());
  std::vector<std::uint32_t> stack{0};
  while (!stack.empty()) {
    const std::uint32_t pc = stack.back();
    stack.pop_back();
    if (seen[pc]) continue;
    seen[pc] = true;
    const Inst& inst = code[pc];
    switch (inst.op) {
      case Op::Unit:
        units->set(inst.unit);
        if (inst.unit >= u'a' && inst.unit <= u'z') units->set(inst.unit - (u'a' - u'A'));
        break;
      case Op::Dot:
      case Op::Any:
      case Op::Match:
        program.starts_anywhere = true;
        return;
      case Op::Split:
        stack.push_back(inst.y);
        stack.push_back(inst.x);
        break;
      case Op::Jump:
        stack.push_back(inst.x);
        break;
      case Op::AtBegin:
      case Op::AtEnd:
      case Op::NotNextUnit:
      case Op::NotNextDot:
        stack.push_back(pc + 1);
        break;
    }
  }
  program.first_units = std::move(units);
  for (const Inst& inst : code) {
    if (inst.op != Op::Unit) break;
    program.literal_prefix.push_back(inst.unit);
  }
}

}  // namespace

MarkerProgram compile_marker_program(std::u16string_view escaped_start,
                                     std::u16string_view escaped_over, std::size_t max_size) {
  std::vector<Alternative> alternatives(1);
  MarkerParser parser(alternatives, max_size);
  parser.parse(escaped_start, 0);
  parser.add_run();
  parser.parse(escaped_over, escaped_start.size() + kWrittenRunLength);

  MarkerProgram program;
  Emitter(program.code, max_size).alternatives(alternatives);
  find_first_units(program);
  if (alternatives.size() == 1) {
    for (std::uint32_t pc = 0; pc < program.code.size(); ++pc) {
      if (program.code[pc].op == Op::Any) program.run = pc;
    }
  }
  return program;
}

}  // namespace pelmo::extract
