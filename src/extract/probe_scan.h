// The quick skip of the marker search: finding the positions where a few chosen units of a
// marker could stand, many positions at a time, before the exact comparison runs there.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pelmo::extract {

// The units that may stand at one offset of an occurrence: a text unit u passes when
// (u | or_mask) is one of `units`. An ASCII letter in either case is one comparison with the
// 0x20 bit set; unused slots repeat the first.
struct UnitProbe {
  std::size_t offset = 0;
  char16_t or_mask = 0;
  std::array<char16_t, 4> units{};

  bool passes(char16_t u) const {
    const auto v = static_cast<char16_t>(u | or_mask);
    return v == units[0] || v == units[1] || v == units[2] || v == units[3];
  }
};

struct ProbeSet;
using FirstScan = std::size_t (*)(const ProbeSet&, const char16_t*, std::size_t, std::size_t);
using LastScan = std::size_t (*)(const ProbeSet&, const char16_t*, std::size_t);
using WindowScan = std::uint64_t (*)(const ProbeSet&, const char16_t*, std::size_t, std::size_t);

// Up to two probes, each a condition every occurrence meets at its start position, and the
// scans for them (choose_scans), picked once so that a search with many short hops pays for
// no choice per hop.
struct ProbeSet {
  static constexpr std::size_t kMax = 2;
  std::array<UnitProbe, kMax> probes{};
  std::size_t count = 0;
  std::size_t span = 0;  // the largest offset among them
  // With one probe: a position passes where that probe fails (the end of a run of its units).
  bool outside = false;
  FirstScan first_scan = nullptr;
  LastScan last_scan = nullptr;
  WindowScan window_scan = nullptr;

  bool passes_at(const char16_t* text, std::size_t start) const {
    for (std::size_t p = 0; p < count; ++p) {
      if (!probes[p].passes(text[start + probes[p].offset])) return outside;
    }
    return !outside;
  }
};

// How many positions a scan checks at a time: one, 8 (SSE2), 16 (AVX2) or 32 (AVX-512BW).
enum class ScanWidth { Scalar, Sse2, Avx2, Avx512 };
// The widest this processor runs; a narrower one may be asked for (the tests compare them).
ScanWidth widest_scan();

// Whether text[0, 8 * groups) equals units[0, 8 * groups) once each text unit is or-ed with its
// mask, eight units at a time where the processor can (widest_scan() is not Scalar).
inline constexpr std::size_t kGroupUnits = 8;
bool masked_groups_equal_called(const char16_t* text, const char16_t* units, const char16_t* masks,
                                std::size_t groups);
inline bool masked_groups_equal(const char16_t* text, const char16_t* units, const char16_t* masks,
                                std::size_t groups) {
#if defined(__SSE2__)
  // Every processor the build targets has SSE2: compared in place, a call would cost more than
  // the comparison of a short marker.
  for (std::size_t g = 0; g < groups * kGroupUnits; g += kGroupUnits) {
    auto load = [](const char16_t* p) {
      return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    };
    const __m128i v = _mm_or_si128(load(text + g), load(masks + g));
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(v, load(units + g))) != 0xFFFF) return false;
  }
  return true;
#else
  return masked_groups_equal_called(text, units, masks, groups);
#endif
}

// Sets the scans for the probes as they now stand.
void choose_scans(ProbeSet& set, ScanWidth width = widest_scan());

// The first start in [from, n - span) where every probe passes, or n when there is none.
inline std::size_t first_probed_start(const ProbeSet& set, const char16_t* text, std::size_t from,
                                      std::size_t n) {
  return set.first_scan(set, text, from, n);
}

// Every start in [from, from + kWindow) before n - span where every probe passes, as bits (bit i
// for from + i): a scan that stops often reads its next stops from one window.
inline constexpr std::size_t kWindow = 64;
inline std::uint64_t probed_window(const ProbeSet& set, const char16_t* text, std::size_t from,
                                   std::size_t n) {
  return set.window_scan(set, text, from, n);
}

// The last start in [0, from] where every probe passes, or kNoStart; `from + span` must be
// inside the text.
inline constexpr std::size_t kNoStart = static_cast<std::size_t>(-1);
inline std::size_t last_probed_start(const ProbeSet& set, const char16_t* text, std::size_t from) {
  return set.last_scan(set, text, from);
}

}  // namespace pelmo::extract
