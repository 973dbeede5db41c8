// The regular-expression object on PCRE2 (16-bit code units, not UTF, JIT when available).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "host/regexp.h"

namespace pelmo::host {

// Bounds on one Execute or Replace, so that a pattern that backtracks without end fails with
// error 28 instead of hanging. `work` is one budget for the whole call, in steps of the engine's
// match counter: every start position tried costs at least one, a start that needs more is
// charged what it was allowed. 50 million lets lazy runs cover a 10 MB page more than twice over
// while a runaway pattern stops within about a second under JIT.
struct Pcre2Limits {
  std::uint64_t work = 50'000'000;
  std::uint32_t depth = 10'000'000;
  std::uint32_t heap_kib = 64 * 1024;
  std::size_t jit_stack_bytes = 1024 * 1024;
  bool use_jit = true;  // false forces the interpreter (tests compare the two)
};

std::unique_ptr<RegExp> make_pcre2_regexp();
std::unique_ptr<RegExp> make_pcre2_regexp(const Pcre2Limits& limits);

}  // namespace pelmo::host
