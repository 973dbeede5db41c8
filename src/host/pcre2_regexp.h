// The regular-expression object on PCRE2 (16-bit code units, not UTF, JIT when available).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "host/regexp.h"

namespace pelmo::host {

// Bounds on one search, so that a pattern that backtracks without end fails with error 28
// instead of hanging. The match limit counts backtracking steps per start position; 100
// million lets a lazy run span a whole large page while a runaway pattern stops within
// about a tenth of a second under JIT.
struct Pcre2Limits {
  std::uint32_t match = 100'000'000;
  std::uint32_t depth = 10'000'000;
  std::uint32_t heap_kib = 64 * 1024;
  std::size_t jit_stack_bytes = 1024 * 1024;
  bool use_jit = true;  // false forces the interpreter (tests compare the two)
};

std::unique_ptr<RegExp> make_pcre2_regexp();
std::unique_ptr<RegExp> make_pcre2_regexp(const Pcre2Limits& limits);

}  // namespace pelmo::host
