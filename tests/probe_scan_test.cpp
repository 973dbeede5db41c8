#include "extract/probe_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace pelmo::extract {
namespace {

// Every width this processor runs must stop at the same starts as the one-at-a-time scan,
// from every position, for probe sets of each shape (one or two probes, single units, letter
// pairs through the 0x20 bit, sets of two and of four, the end of a run of one probe's units), and
// read the same windows of starts.
TEST(ProbeScan, EveryWidthFindsTheSameStarts) {
  std::vector<ScanWidth> widths = {ScanWidth::Scalar};
  if (widest_scan() != ScanWidth::Scalar) widths.push_back(ScanWidth::Sse2);
  if (widest_scan() >= ScanWidth::Avx2) widths.push_back(ScanWidth::Avx2);
  if (widest_scan() == ScanWidth::Avx512) widths.push_back(ScanWidth::Avx512);

  std::mt19937 rng(16);
  constexpr std::u16string_view kAlphabet = u"abAB@`<\u212A";
  std::uniform_int_distribution<std::size_t> pick(0, kAlphabet.size() - 1);
  for (int round = 0; round < 3000; ++round) {
    std::u16string text(std::uniform_int_distribution<std::size_t>(0, 200)(rng), u' ');
    for (char16_t& c : text) c = kAlphabet[pick(rng)];
    // Runs of one unit, so that a set passing outside its units stops far apart.
    for (std::size_t i = 0; i < text.size(); i += 1 + rng() % 90) {
      text.replace(i, std::min<std::size_t>(rng() % 80, text.size() - i), rng() % 80, u'a');
    }
    text.resize(std::min<std::size_t>(text.size(), 200));

    ProbeSet set;
    set.count = 1 + static_cast<std::size_t>(round / 4 % 2);
    for (std::size_t p = 0; p < set.count; ++p) {
      UnitProbe& probe = set.probes[p];
      probe.offset = std::uniform_int_distribution<std::size_t>(0, 20)(rng);
      probe.units.fill(kAlphabet[pick(rng)]);
      switch (round % 4) {
        case 0:  // a letter in either case
          probe.or_mask = 0x20;
          probe.units.fill(static_cast<char16_t>(u'a' + (round / 8) % 2));
          break;
        case 1:  // any of four
          for (char16_t& u : probe.units) u = kAlphabet[pick(rng)];
          break;
        case 2:  // either of two, the other slots repeating the first
          probe.units[1] = kAlphabet[pick(rng)];
          break;
        default:
          break;
      }
      set.span = std::max(set.span, probe.offset);
    }
    if (round % 5 == 4) {  // the first unit that is not an 'a' in either case
      set.count = 1;
      set.probes[0] = UnitProbe{0, 0x20, {u'a', u'a', u'a', u'a'}};
      set.span = 0;
      set.outside = true;
    }

    ProbeSet scalar = set;
    choose_scans(scalar, ScanWidth::Scalar);
    for (std::size_t from = 0; from <= text.size(); ++from) {
      const std::size_t first = first_probed_start(scalar, text.data(), from, text.size());
      std::size_t expected = text.size();
      for (std::size_t i = from; i + set.span < text.size(); ++i) {
        if (set.passes_at(text.data(), i)) {
          expected = i;
          break;
        }
      }
      ASSERT_EQ(first, expected);
      if (from + set.span < text.size()) {
        std::size_t expected_last = kNoStart;
        for (std::size_t s = from + 1; s-- > 0;) {
          if (set.passes_at(text.data(), s)) {
            expected_last = s;
            break;
          }
        }
        ASSERT_EQ(last_probed_start(scalar, text.data(), from), expected_last);
      }
      std::uint64_t window = 0;
      for (std::size_t i = 0; i < kWindow && from + i + set.span < text.size(); ++i) {
        if (set.passes_at(text.data(), from + i)) window |= std::uint64_t{1} << i;
      }
      for (const ScanWidth width : widths) {
        ProbeSet wide = set;
        choose_scans(wide, width);
        ASSERT_EQ(probed_window(wide, text.data(), from, text.size()), window)
            << "round " << round << " from " << from << " width " << static_cast<int>(width);
        ASSERT_EQ(first_probed_start(wide, text.data(), from, text.size()), first)
            << "round " << round << " from " << from << " width " << static_cast<int>(width);
        if (from + set.span < text.size()) {
          ASSERT_EQ(last_probed_start(wide, text.data(), from),
                    last_probed_start(scalar, text.data(), from))
              << "round " << round << " from " << from << " width " << static_cast<int>(width);
        }
      }
    }
  }
}

}  // namespace
}  // namespace pelmo::extract
