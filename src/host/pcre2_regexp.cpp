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
    std::uint32_t options = PCRE2_DOLLAR_ENDONLY | PCRE2_NEVER_UTF | PCRE2_NEVER_UCP;
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
      pcre2_set_match_limit(match_context_.get(), limits_.match);
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

  // Calls on_match(begin, end) for every match left to right (the first only unless
  // Global). After an empty match the next search starts one code unit further on.
  template <typename OnMatch>
  void for_each_match(std::u16string_view text, OnMatch&& on_match) {
    compile();
    prepare_match_context();
    // Only the whole match is read, so one offset pair is enough.
    MatchDataPtr data(check_alloc(pcre2_match_data_create(1, nullptr)));
    const auto subject = reinterpret_cast<PCRE2_SPTR>(text.data());
    const std::uint32_t options = jit_ ? 0 : PCRE2_NO_JIT;
    std::size_t from = 0;
    while (from <= text.size()) {
      int rc = pcre2_match(code_.get(), subject, text.size(), from, options, data.get(),
                           match_context_.get());
      if (rc == PCRE2_ERROR_NOMATCH) break;
      if (rc < 0) throw_match_error(rc);
      const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data.get());
      std::size_t begin = ovector[0];
      std::size_t end = std::max(ovector[1], begin);
      on_match(begin, end);
      if (!global_) break;
      from = end > begin ? end : begin + 1;
    }
  }

  Pcre2Limits limits_;
  std::u16string pattern_;
  bool ignore_case_ = false;
  bool global_ = false;
  bool jit_ = false;
  CodePtr code_;
  MatchContextPtr match_context_;
  JitStackPtr jit_stack_;
};

}  // namespace

std::unique_ptr<RegExp> make_pcre2_regexp() { return make_pcre2_regexp(Pcre2Limits{}); }

std::unique_ptr<RegExp> make_pcre2_regexp(const Pcre2Limits& limits) {
  return std::make_unique<Pcre2RegExp>(limits);
}

}  // namespace pelmo::host
