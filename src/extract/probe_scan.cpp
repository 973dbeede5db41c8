#include "extract/probe_scan.h"

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define PELMO_X86_VECTORS 1
#include <immintrin.h>
#else
#define PELMO_X86_VECTORS 0
#endif

#include <algorithm>
#include <cstddef>

namespace pelmo::extract {

namespace {

// Scalar scans, for the tails the vectors leave and for processors without them.
std::size_t first_scalar(const ProbeSet& set, const char16_t* text, std::size_t i, std::size_t n) {
  for (; i + set.span < n; ++i) {
    if (set.passes_at(text, i)) return i;
  }
  return n;
}

std::size_t last_scalar_from(const ProbeSet& set, const char16_t* text, std::ptrdiff_t s) {
  for (; s >= 0; --s) {
    if (set.passes_at(text, static_cast<std::size_t>(s))) return static_cast<std::size_t>(s);
  }
  return kNoStart;
}

std::uint64_t window_scalar(const ProbeSet& set, const char16_t* text, std::size_t from,
                            std::size_t n) {
  std::uint64_t bits = 0;
  for (std::size_t i = 0; i < kWindow && from + i + set.span < n; ++i) {
    if (set.passes_at(text, from + i)) bits |= std::uint64_t{1} << i;
  }
  return bits;
}

std::uint64_t window_unprobed(const ProbeSet& set, const char16_t* text, std::size_t from,
                              std::size_t n) {
  return window_scalar(set, text, from, n);
}

std::size_t last_scalar(const ProbeSet& set, const char16_t* text, std::size_t from) {
  return last_scalar_from(set, text, static_cast<std::ptrdiff_t>(from));
}

// Without probes every position may start an occurrence.
std::size_t first_unprobed(const ProbeSet&, const char16_t*, std::size_t from, std::size_t n) {
  return from < n ? from : n;
}

std::size_t last_unprobed(const ProbeSet&, const char16_t*, std::size_t from) { return from; }

#if PELMO_X86_VECTORS

// One vector width's operations. Each scan below is compiled for its instruction set through
// the target attribute and chosen at run time, so the module still runs on any x86 processor.
#define PELMO_SSE2 __attribute__((target("sse2"), always_inline)) inline
#define PELMO_AVX2 __attribute__((target("avx2"), always_inline)) inline
#define PELMO_AVX512 __attribute__((target("avx512f,avx512bw"), always_inline)) inline

// The comparisons give a vector of all-ones units (Hits), read out two bits a unit.
struct Sse2 {
  using Vec = __m128i;
  using Hits = Vec;
  static constexpr std::size_t kUnits = 8;
  static constexpr unsigned kBitsPerUnit = 2;
  PELMO_SSE2 static Vec load(const char16_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  }
  PELMO_SSE2 static Vec splat(char16_t u) { return _mm_set1_epi16(static_cast<short>(u)); }
  PELMO_SSE2 static Vec ones() { return _mm_set1_epi8(-1); }
  PELMO_SSE2 static Vec bit_or(Vec a, Vec b) { return _mm_or_si128(a, b); }
  PELMO_SSE2 static Vec bit_and(Vec a, Vec b) { return _mm_and_si128(a, b); }
  PELMO_SSE2 static Vec bit_xor(Vec a, Vec b) { return _mm_xor_si128(a, b); }
  PELMO_SSE2 static Vec equal(Vec a, Vec b) { return _mm_cmpeq_epi16(a, b); }
  // Two bits a unit.
  PELMO_SSE2 static unsigned mask(Vec a) { return static_cast<unsigned>(_mm_movemask_epi8(a)); }
  // One bit a unit, for the units of a then b.
  PELMO_SSE2 static unsigned pair_mask(Vec a, Vec b) {
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(a, b)));
  }
};

struct Avx2 {
  using Vec = __m256i;
  using Hits = Vec;
  static constexpr std::size_t kUnits = 16;
  static constexpr unsigned kBitsPerUnit = 2;
  PELMO_AVX2 static Vec load(const char16_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  }
  PELMO_AVX2 static Vec splat(char16_t u) { return _mm256_set1_epi16(static_cast<short>(u)); }
  PELMO_AVX2 static Vec ones() { return _mm256_set1_epi8(-1); }
  PELMO_AVX2 static Vec bit_or(Vec a, Vec b) { return _mm256_or_si256(a, b); }
  PELMO_AVX2 static Vec bit_and(Vec a, Vec b) { return _mm256_and_si256(a, b); }
  PELMO_AVX2 static Vec bit_xor(Vec a, Vec b) { return _mm256_xor_si256(a, b); }
  PELMO_AVX2 static Vec equal(Vec a, Vec b) { return _mm256_cmpeq_epi16(a, b); }
  PELMO_AVX2 static unsigned mask(Vec a) { return static_cast<unsigned>(_mm256_movemask_epi8(a)); }
  PELMO_AVX2 static unsigned pair_mask(Vec a, Vec b) {
    // The packing works within each half: put the quarters back in order.
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packs_epi16(a, b), 0xD8);
    return static_cast<unsigned>(_mm256_movemask_epi8(packed));
  }
};

// Here the comparisons give mask registers, one bit a unit: half the instructions a unit of
// the AVX2 scan, where the text is in the cache.
struct Avx512 {
  using Vec = __m512i;
  using Hits = __mmask32;
  static constexpr std::size_t kUnits = 32;
  static constexpr unsigned kBitsPerUnit = 1;
  PELMO_AVX512 static Vec load(const char16_t* p) { return _mm512_loadu_si512(p); }
  PELMO_AVX512 static Vec splat(char16_t u) { return _mm512_set1_epi16(static_cast<short>(u)); }
  PELMO_AVX512 static Hits ones() { return static_cast<Hits>(~0U); }
  PELMO_AVX512 static Vec bit_or(Vec a, Vec b) { return _mm512_or_si512(a, b); }
  PELMO_AVX512 static Hits bit_or(Hits a, Hits b) { return a | b; }
  PELMO_AVX512 static Hits bit_and(Hits a, Hits b) { return a & b; }
  PELMO_AVX512 static Hits bit_xor(Hits a, Hits b) { return a ^ b; }
  PELMO_AVX512 static Hits equal(Vec a, Vec b) { return _mm512_cmpeq_epi16_mask(a, b); }
  PELMO_AVX512 static unsigned mask(Hits a) { return a; }
  PELMO_AVX512 static std::uint64_t pair_mask(Hits a, Hits b) {
    return a | static_cast<std::uint64_t>(b) << 32;
  }
};

// The probes broadcast into vectors once per scan.
template <typename W, std::size_t kCount, std::size_t kUnits>
struct WideProbes {
  typename W::Vec or_mask[kCount], units[kCount][4];
  std::size_t offset[kCount];
};

// The bodies are written once as macros because a lambda or helper would not inherit the
// target attribute of the function it serves.
#define PELMO_BROADCAST(W)                                                                   \
  WideProbes<W, kCount, kUnits> wide;                                                        \
  for (std::size_t p = 0; p < kCount; ++p) {                                                 \
    wide.offset[p] = set.probes[p].offset;                                                   \
    wide.or_mask[p] = W::splat(set.probes[p].or_mask);                                       \
    for (std::size_t k = 0; k < 4; ++k) wide.units[p][k] = W::splat(set.probes[p].units[k]); \
  }

#define PELMO_HITS(W, at, hits)                                                                    \
  {                                                                                                \
    hits = W::ones();                                                                              \
    for (std::size_t p = 0; p < kCount; ++p) {                                                     \
      const typename W::Vec v = W::bit_or(W::load(text + (at) + wide.offset[p]), wide.or_mask[p]); \
      typename W::Hits h = W::equal(v, wide.units[p][0]);                                          \
      if constexpr (kUnits == 2) h = W::bit_or(h, W::equal(v, wide.units[p][1]));                  \
      if constexpr (kUnits == 4) {                                                                 \
        h = W::bit_or(W::bit_or(h, W::equal(v, wide.units[p][1])),                                 \
                      W::bit_or(W::equal(v, wide.units[p][2]), W::equal(v, wide.units[p][3])));    \
      }                                                                                            \
      hits = W::bit_and(hits, h);                                                                  \
    }                                                                                              \
    if constexpr (kOutside) hits = W::bit_xor(hits, W::ones());                                    \
  }

#define PELMO_PASSING(W, at, out) \
  {                               \
    typename W::Hits hits;        \
    PELMO_HITS(W, at, hits)       \
    (out) = W::mask(hits);        \
  }

// Two vectors' worth of units at a time, one bit each, into a 64-bit window.
#define PELMO_WINDOW_BODY(W)                                                   \
  if (from + kWindow + set.span > n) return window_scalar(set, text, from, n); \
  PELMO_BROADCAST(W)                                                           \
  std::uint64_t bits = 0;                                                      \
  for (std::size_t k = 0; k < kWindow; k += 2 * W::kUnits) {                   \
    typename W::Hits a, b;                                                     \
    PELMO_HITS(W, from + k, a)                                                 \
    PELMO_HITS(W, from + k + W::kUnits, b)                                     \
    bits |= static_cast<std::uint64_t>(W::pair_mask(a, b)) << k;               \
  }                                                                            \
  return bits;

// Two vectors a step while the text lasts, tested together: one branch for both.
#define PELMO_FIRST_BODY(W)                                             \
  PELMO_BROADCAST(W)                                                    \
  for (; i + 2 * W::kUnits + set.span <= n; i += 2 * W::kUnits) {       \
    typename W::Hits a, b;                                              \
    PELMO_HITS(W, i, a)                                                 \
    PELMO_HITS(W, i + W::kUnits, b)                                     \
    if (W::mask(W::bit_or(a, b)) == 0) continue;                        \
    const unsigned first = W::mask(a);                                  \
    if (first != 0) return i + __builtin_ctz(first) / W::kBitsPerUnit;  \
    return i + W::kUnits + __builtin_ctz(W::mask(b)) / W::kBitsPerUnit; \
  }                                                                     \
  for (; i + W::kUnits + set.span <= n; i += W::kUnits) {               \
    unsigned bits;                                                      \
    PELMO_PASSING(W, i, bits)                                           \
    if (bits != 0) return i + __builtin_ctz(bits) / W::kBitsPerUnit;    \
  }                                                                     \
  return first_scalar(set, text, i, n);

#define PELMO_LAST_BODY(W)                                                     \
  PELMO_BROADCAST(W)                                                           \
  auto s = static_cast<std::ptrdiff_t>(from);                                  \
  constexpr auto kWidth = static_cast<std::ptrdiff_t>(W::kUnits);              \
  for (; s >= kWidth - 1; s -= kWidth) {                                       \
    const auto base = static_cast<std::size_t>(s - (kWidth - 1));              \
    unsigned bits;                                                             \
    PELMO_PASSING(W, base, bits)                                               \
    if (bits != 0) return base + (31 - __builtin_clz(bits)) / W::kBitsPerUnit; \
  }                                                                            \
  return last_scalar_from(set, text, s);

template <std::size_t kCount, std::size_t kUnits, bool kOutside = false>
__attribute__((target("sse2"))) std::size_t first_sse2(const ProbeSet& set, const char16_t* text,
                                                       std::size_t i, std::size_t n) {
  PELMO_FIRST_BODY(Sse2)
}

template <std::size_t kCount, std::size_t kUnits, bool kOutside = false>
__attribute__((target("avx2"))) std::size_t first_avx2(const ProbeSet& set, const char16_t* text,
                                                       std::size_t i, std::size_t n) {
  PELMO_FIRST_BODY(Avx2)
}

template <std::size_t kCount, std::size_t kUnits, bool kOutside = false>
__attribute__((target("avx512f,avx512bw"))) std::size_t first_avx512(const ProbeSet& set,
                                                                     const char16_t* text,
                                                                     std::size_t i, std::size_t n) {
  PELMO_FIRST_BODY(Avx512)
}

template <std::size_t kCount, std::size_t kUnits, bool kOutside = false>
__attribute__((target("sse2"))) std::uint64_t window_sse2(const ProbeSet& set, const char16_t* text,
                                                          std::size_t from, std::size_t n) {
  PELMO_WINDOW_BODY(Sse2)
}

template <std::size_t kCount, std::size_t kUnits, bool kOutside = false>
__attribute__((target("avx2"))) std::uint64_t window_avx2(const ProbeSet& set, const char16_t* text,
                                                          std::size_t from, std::size_t n) {
  PELMO_WINDOW_BODY(Avx2)
}

template <std::size_t kCount, std::size_t kUnits, bool kOutside = false>
__attribute__((target("avx512f,avx512bw"))) std::uint64_t window_avx512(const ProbeSet& set,
                                                                        const char16_t* text,
                                                                        std::size_t from,
                                                                        std::size_t n) {
  PELMO_WINDOW_BODY(Avx512)
}

template <std::size_t kCount, std::size_t kUnits, bool kOutside = false>
__attribute__((target("sse2"))) std::size_t last_sse2(const ProbeSet& set, const char16_t* text,
                                                      std::size_t from) {
  PELMO_LAST_BODY(Sse2)
}

template <std::size_t kCount, std::size_t kUnits, bool kOutside = false>
__attribute__((target("avx2"))) std::size_t last_avx2(const ProbeSet& set, const char16_t* text,
                                                      std::size_t from) {
  PELMO_LAST_BODY(Avx2)
}

// clang-format would fold this macro body into the signature.
// clang-format off
template <std::size_t kCount, std::size_t kUnits, bool kOutside = false>
__attribute__((target("avx512f,avx512bw"))) std::size_t last_avx512(const ProbeSet& set,
                                                                    const char16_t* text,
                                                                    std::size_t from) {
  PELMO_LAST_BODY(Avx512)
}  // clang-format on

// How many units the widest probe compares: 1, 2, or 4 for three or four (its slots repeat the
// first unit), so that a stop at '<' or a line feed costs two comparisons, not four.
std::size_t compared_units(const ProbeSet& set) {
  std::size_t widest = 1;
  for (std::size_t p = 0; p < set.count; ++p) {
    const auto& units = set.probes[p].units;
    auto in_first_two = [&](char16_t u) { return u == units[0] || u == units[1]; };
    const std::size_t compared = !in_first_two(units[2]) || !in_first_two(units[3]) ? 4
                                 : units[1] != units[0]                             ? 2
                                                                                    : 1;
    widest = std::max(widest, compared);
  }
  return widest;
}

template <std::size_t kCount, std::size_t kUnits, bool kOutside = false>
void set_vector_scans(ProbeSet& set, ScanWidth width) {
  if (width == ScanWidth::Avx512) {
    set.first_scan = first_avx512<kCount, kUnits, kOutside>;
    set.last_scan = last_avx512<kCount, kUnits, kOutside>;
    set.window_scan = window_avx512<kCount, kUnits, kOutside>;
  } else if (width == ScanWidth::Avx2) {
    set.first_scan = first_avx2<kCount, kUnits, kOutside>;
    set.last_scan = last_avx2<kCount, kUnits, kOutside>;
    set.window_scan = window_avx2<kCount, kUnits, kOutside>;
  } else {
    set.first_scan = first_sse2<kCount, kUnits, kOutside>;
    set.last_scan = last_sse2<kCount, kUnits, kOutside>;
    set.window_scan = window_sse2<kCount, kUnits, kOutside>;
  }
}

template <std::size_t kUnits>
void set_vector_scans_of(ProbeSet& set, ScanWidth width) {
  if (set.outside) return set_vector_scans<1, kUnits, true>(set, width);
  switch (set.count) {
    case 1:
      return set_vector_scans<1, kUnits>(set, width);
    default:
      return set_vector_scans<2, kUnits>(set, width);
  }
}

// Picks the instantiation for the probe count, the unit sets' shape and the width.
void set_vector_scans(ProbeSet& set, ScanWidth width) {
  switch (compared_units(set)) {
    case 1:
      return set_vector_scans_of<1>(set, width);
    case 2:
      return set_vector_scans_of<2>(set, width);
    default:
      return set_vector_scans_of<4>(set, width);
  }
}

#endif  // PELMO_X86_VECTORS

}  // namespace

#if PELMO_X86_VECTORS
__attribute__((target("sse2"))) bool masked_groups_equal_called(const char16_t* text,
                                                                const char16_t* units,
                                                                const char16_t* masks,
                                                                std::size_t groups) {
  for (std::size_t g = 0; g < groups * kGroupUnits; g += kGroupUnits) {
    const __m128i v = _mm_or_si128(Sse2::load(text + g), Sse2::load(masks + g));
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(v, Sse2::load(units + g))) != 0xFFFF) return false;
  }
  return true;
}
#else
bool masked_groups_equal_called(const char16_t* text, const char16_t* units, const char16_t* masks,
                                std::size_t groups) {
  for (std::size_t k = 0; k < groups * kGroupUnits; ++k) {
    if (static_cast<char16_t>(text[k] | masks[k]) != units[k]) return false;
  }
  return true;
}
#endif

ScanWidth widest_scan() {
#if PELMO_X86_VECTORS
  static const ScanWidth widest = [] {
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512bw")) return ScanWidth::Avx512;
    if (__builtin_cpu_supports("avx2")) return ScanWidth::Avx2;
    if (__builtin_cpu_supports("sse2")) return ScanWidth::Sse2;
    return ScanWidth::Scalar;
  }();
  return widest;
#else
  return ScanWidth::Scalar;
#endif
}

void choose_scans(ProbeSet& set, ScanWidth width) {
  if (set.count == 0) {
    set.first_scan = first_unprobed;
    set.last_scan = last_unprobed;
    set.window_scan = window_unprobed;
    return;
  }
  set.first_scan = first_scalar;
  set.last_scan = last_scalar;
  set.window_scan = window_scalar;
#if PELMO_X86_VECTORS
  if (width != ScanWidth::Scalar) set_vector_scans(set, width);
#else
  (void)width;
#endif
}

}  // namespace pelmo::extract
