#include "host/pcre2_regexp.h"

#include <pcre2.h>

#include <algorithm>
#include <string>
#include <utility>

#include "pelmo/error.h"
#include "pelmo/text.h"

namespace pelmo::host {

namespace {

template <auto Free>
struct Pcre2Deleter {
  template <typename T>
  void operator()(T* p) const noexcept {
    Free(p);
  }
};

using CodePtr = std::unique_ptr<pcre2_code, Pcre2Deleter<&pcre2_code_free>>;
using CompileContextPtr =
    std::unique_ptr<pcre2_compile_context, Pcre2Deleter<&pcre2_compile_context_free>>;
using MatchContextPtr =
    std::unique_ptr<pcre2_match_context, Pcre2Deleter<&pcre2_match_context_free>>;
using MatchDataPtr = std::unique_ptr<pcre2_match_data, Pcre2Deleter<&pcre2_match_data_free>>;
using JitStackPtr = std::unique_ptr<pcre2_jit_stack, Pcre2Deleter<&pcre2_jit_stack_free>>;

constexpr std::size_t kJitStackStart = 32 * 1024;

std::string error_message(int code) {
  PCRE2_UCHAR buffer[256];
  int n = pcre2_get_error_message(code, buffer, sizeof buffer / sizeof buffer[0]);
  if (n < 0) return "error " + std::to_string(code);
  return to_utf8(
      std::u16string_view(reinterpret_cast<const char16_t*>(buffer), static_cast<std::size_t>(n)));
}

[[noreturn]] void throw_out_of_memory() { throw AutomationError(7, "Out of memory"); }

template <typename T>
T* check_alloc(T* p) {
  if (p == nullptr) throw_out_of_memory();
  return p;
}

bool jit_available() {
  static const bool available = [] {
    std::uint32_t jit = 0;
    return pcre2_config(PCRE2_CONFIG_JIT, &jit) >= 0 && jit == 1;
  }();
  return available;
}

[[noreturn]] void throw_match_error(int rc) {
  switch (rc) {
    case PCRE2_ERROR_MATCHLIMIT:
    case PCRE2_ERROR_DEPTHLIMIT:
    case PCRE2_ERROR_HEAPLIMIT:
    case PCRE2_ERROR_JIT_STACKLIMIT:
    case PCRE2_ERROR_NOMEMORY:
      throw AutomationError(err::kOutOfStack,
                            "Out of stack space: the pattern is too complex for the regular "
                            "expression engine's limits (" +
                                error_message(rc) + ")");
    default:
      throw_invalid_call("regular expression: " + error_message(rc));
  }
}

class Pcre2RegExp final : public RegExp {
 public:
  explicit Pcre2RegExp(const Pcre2Limits& limits) : limits_(limits) {}

  // The pattern is only stored; a syntax error surfaces at Execute or Replace.
  void SetPattern(const std::u16string& pattern) override {
    pattern_ = pattern;
    code_.reset();
  }
  void SetIgnoreCase(bool on) override {
    if (on != ignore_case_) code_.reset();
    ignore_case_ = on;
  }
  void SetGlobal(bool on) override { global_ = on; }

  std::vector<RegExpMatch> Execute(std::u16string_view text) override {
    std::vector<RegExpMatch> matches;
    for_each_match(text, [&](std::size_t begin, std::size_t end) {
      matches.push_back({begin, std::u16string(text.substr(begin, end - begin))});
    });
    return matches;
  }

  std::u16string Replace(std::u16string_view text, std::u16string_view with) override {
    std::u16string out;
    out.reserve(text.size());
    std::size_t copied = 0;
    for_each_match(text, [&](std::size_t begin, std::size_t end) {
      out.append(text.substr(copied, begin - copied));
      out.append(with);
      copied = end;
    });
    out.append(text.substr(copied));
    return out;
  }

 private:
  void compile() {
    if (code_) return;
    CompileContextPtr context(check_alloc(pcre2_compile_context_create(nullptr)));
    pcre2_set_newline(context.get(), PCRE2_NEWLINE_LF);
    // Code units, not code points: "(*UTF)" and "(*UCP)" may not switch the dialect.
    std::uint32_t options =
        PCRE2_DOLLAR_ENDONLY | PCRE2_NEVER_UTF | PCRE2_NEVER_UCP | PCRE2_USE_OFFSET_LIMIT;
    if (ignore_case_) options |= PCRE2_CASELESS;
    int error = 0;
    PCRE2_SIZE offset = 0;
    CodePtr code(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern_.data()), pattern_.size(),
                               options, &error, &offset, context.get()));
    if (!code) {
      throw AutomationError(err::kRegexSyntax,
                            "Syntax error in regular expression: " + error_message(error) +
                                " at offset " + std::to_string(offset));
    }
    jit_ = limits_.use_jit && jit_available() &&
           pcre2_jit_compile(code.get(), PCRE2_JIT_COMPLETE) == 0;
    code_ = std::move(code);
  }

  void prepare_match_context() {
    if (!match_context_) {
      match_context_.reset(check_alloc(pcre2_match_context_create(nullptr)));
      pcre2_set_depth_limit(match_context_.get(), limits_.depth);
      pcre2_set_heap_limit(match_context_.get(), limits_.heap_kib);
    }
    if (jit_ && !jit_stack_) {
      std::size_t start = std::min(kJitStackStart, limits_.jit_stack_bytes);
      jit_stack_.reset(
          check_alloc(pcre2_jit_stack_create(start, limits_.jit_stack_bytes, nullptr)));
      pcre2_jit_stack_assign(match_context_.get(), nullptr, jit_stack_.get());
    }
  }

  struct Found {
    std::size_t begin = 0, end = 0;
    bool found = false;
  };

  // One engine call whose match must start in [from, last_start], each start allowed
  // `per_start` steps of the match counter.
  int match_once(std::u16string_view text, std::size_t from, std::size_t last_start,
                 std::uint64_t per_start, pcre2_match_data* data) {
    pcre2_set_offset_limit(match_context_.get(), last_start);
    pcre2_set_match_limit(match_context_.get(), static_cast<std::uint32_t>(std::min<std::uint64_t>(
                                                    per_start, UINT32_MAX)));
    return pcre2_match(code_.get(), reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), from,
                       jit_ ? 0 : PCRE2_NO_JIT, data, match_context_.get());
  }

  void charge(std::uint64_t steps) {
    if (steps > work_left_) throw_match_error(PCRE2_ERROR_MATCHLIMIT);
    work_left_ -= steps;
  }

  // The leftmost match starting at or after `from`, as one unanchored search would find it.
  // The engine restarts its match counter at every start position, so one call could try
  // many starts that each backtrack just under its limit. Instead, starts are searched in
  // windows where every start may take one step (what a start that fails at once costs),
  // charged one step per position passed; a window where some start needs more is halved
  // until that start stands alone, which then runs with a doubling limit and is charged each
  // limit it was allowed. The match is the one the single search gives, unless the budget
  // runs out first (error 28).
  Found find(std::u16string_view text, std::size_t from, pcre2_match_data* data) {
    const std::size_t n = text.size();
    std::size_t lo = from;
    // The end of a window known to hold a costly start, while that start is searched for.
    std::size_t costly_by = n + 1;
    while (lo <= n) {
      if (work_left_ == 0) throw_match_error(PCRE2_ERROR_MATCHLIMIT);
      const std::size_t hi =
          std::min<std::uint64_t>(n, lo + std::min<std::uint64_t>(window_, work_left_ - 1));
      int rc = match_once(text, lo, hi, 1, data);
      std::size_t passed = hi - lo + 1;  // positions paid for by this window
      if (rc == PCRE2_ERROR_MATCHLIMIT) {
        charge(passed);
        if (hi > lo) {
          costly_by = hi;
          window_ = (hi - lo) / 2;
          continue;
        }
        // Blocks on one page tend to be alike: start near what the last costly start needed.
        std::uint64_t allowed = std::max<std::uint64_t>(2, last_allowed_ / 2);
        for (;; allowed *= 2) {
          allowed = std::min(allowed, work_left_);
          if (allowed == 0) throw_match_error(PCRE2_ERROR_MATCHLIMIT);
          charge(allowed);
          rc = match_once(text, lo, lo, allowed, data);
          if (rc != PCRE2_ERROR_MATCHLIMIT) break;
        }
        last_allowed_ = allowed;
        costly_by = n + 1;
        window_ = kFirstWindow;
        passed = 0;
      }
      if (rc >= 0) {
        const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data);
        if (passed > 0) charge(ovector[0] - lo + 1);
        window_ = std::min(kLastWindow, window_ * 2);
        return {ovector[0], std::max(ovector[1], ovector[0]), true};
      }
      if (rc != PCRE2_ERROR_NOMATCH) throw_match_error(rc);
      charge(passed);
      if (hi == n) break;
      lo = hi + 1;
      // The costly start lies in what is left of the window that failed.
      window_ = costly_by <= n && costly_by >= lo
                    ? costly_by - lo
                    : std::min(kLastWindow, std::max<std::size_t>(1, window_ * 2));
    }
    return {};
  }

  // Calls on_match(begin, end) for every match left to right (the first only unless
  // Global). After an empty match the next search starts one code unit further on.
  template <typename OnMatch>
  void for_each_match(std::u16string_view text, OnMatch&& on_match) {
    compile();
    prepare_match_context();
    work_left_ = limits_.work;
    window_ = kFirstWindow;
    last_allowed_ = 0;
    // Only the whole match is read, so one offset pair is enough.
    MatchDataPtr data(check_alloc(pcre2_match_data_create(1, nullptr)));
    std::size_t from = 0;
    while (from <= text.size()) {
      const Found match = find(text, from, data.get());
      if (!match.found) break;
      on_match(match.begin, match.end);
      if (!global_) break;
      from = match.end > match.begin ? match.end : match.begin + 1;
    }
  }

  static constexpr std::size_t kFirstWindow = 64;
  static constexpr std::size_t kLastWindow = std::size_t{1} << 20;

  Pcre2Limits limits_;
  std::u16string pattern_;
  bool ignore_case_ = false;
  bool global_ = false;
  bool jit_ = false;
  CodePtr code_;
  MatchContextPtr match_context_;
  JitStackPtr jit_stack_;
  std::uint64_t work_left_ = 0;
  std::size_t window_ = kFirstWindow;
  std::uint64_t last_allowed_ = 0;
};

}  // namespace

std::unique_ptr<RegExp> make_pcre2_regexp() { return make_pcre2_regexp(Pcre2Limits{}); }

std::unique_ptr<RegExp> make_pcre2_regexp(const Pcre2Limits& limits) {
  return std::make_unique<Pcre2RegExp>(limits);
}

}  // namespace pelmo::host
