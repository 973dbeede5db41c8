#include "extract/marker_search.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <memory>

namespace pelmo::extract {

namespace {

// Knuth-Morris-Pratt prefix function: table[i] is the length of the longest proper border of
// the first i + 1 units.
template <typename At>
std::vector<std::size_t> prefix_function(std::size_t n, At at) {
  std::vector<std::size_t> table(n, 0);
  for (std::size_t i = 1, k = 0; i < n; ++i) {
    while (k > 0 && at(i) != at(k)) k = table[k - 1];
    if (at(i) == at(k)) ++k;
    table[i] = k;
  }
  return table;
}

// For every lower-case unit, the units whose lower case it is (itself included when it maps to
// itself), built once from the lower-case table.
const std::vector<char16_t>& starting_units(char16_t lowered) {
  static const auto preimages = [] {
    auto table = std::make_unique<std::vector<std::vector<char16_t>>>(0x10000);
    const char16_t* lower = lower_units();
    for (std::size_t c = 0; c < 0x10000; ++c)
      (*table)[lower[c]].push_back(static_cast<char16_t>(c));
    return table;
  }();
  return (*preimages)[lowered];
}

}  // namespace

MarkerSearch::MarkerSearch(std::u16string_view marker, UnitFold fold)
    : marker_(marker), fold_(fold) {
  for (char16_t& c : marker_) c = fold_unit(c, fold_);
  const std::size_t n = marker_.size();
  next_ = prefix_function(n, [&](std::size_t i) { return marker_[i]; });
  prev_ = prefix_function(n, [&](std::size_t i) { return marker_[n - 1 - i]; });
  if (n == 0) return;
  starter_count_ = folding_onto(marker_[0], starters_);
  if (n > 1) second_count_ = folding_onto(marker_[1], seconds_);
}

std::size_t MarkerSearch::folding_onto(char16_t folded, std::array<char16_t, 4>& units) const {
  std::size_t count = 0;
  auto add = [&](char16_t c) {
    if (count < units.size()) units[count] = c;
    ++count;
  };
  if (fold_ == UnitFold::Lower) {
    for (const char16_t c : starting_units(folded)) add(c);
  } else {
    add(folded);
    if (fold_ == UnitFold::AsciiLetters && folded >= u'a' && folded <= u'z') {
      add(static_cast<char16_t>(folded - (u'a' - u'A')));
    }
  }
  // Unused slots repeat the first one, so the wide comparison needs no count.
  for (std::size_t i = std::min(count, units.size()); i < units.size(); ++i) units[i] = units[0];
  return count;
}

template <UnitFold F>
std::size_t MarkerSearch::next_start(const char16_t* text, std::size_t i, std::size_t n) const {
#if defined(__SSE2__)
  auto any_of = [](__m128i units, const std::array<char16_t, 4>& set) {
    const __m128i a = _mm_cmpeq_epi16(units, _mm_set1_epi16(static_cast<short>(set[0])));
    const __m128i b = _mm_cmpeq_epi16(units, _mm_set1_epi16(static_cast<short>(set[1])));
    const __m128i c = _mm_cmpeq_epi16(units, _mm_set1_epi16(static_cast<short>(set[2])));
    const __m128i d = _mm_cmpeq_epi16(units, _mm_set1_epi16(static_cast<short>(set[3])));
    return _mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d));
  };
  if (starter_count_ <= starters_.size()) {
    const bool pair = second_count_ > 0 && second_count_ <= seconds_.size();
    // With a pair, position i is a candidate only when unit i + 1 can be the second unit; the
    // last unit of the text is then left to the scalar loop below.
    for (; i + 8 + (pair ? 1 : 0) <= n; i += 8) {
      __m128i hits = any_of(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i)), starters_);
      if (pair) {
        hits = _mm_and_si128(
            hits,
            any_of(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i + 1)), seconds_));
      }
      const int mask = _mm_movemask_epi8(hits);
      if (mask != 0) {
        return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)) / 2);
      }
    }
  }
#endif
  const char16_t first = marker_[0];
  while (i < n && fold_unit(text[i], F) != first) ++i;
  return i;
}

template <UnitFold F>
std::size_t MarkerSearch::find_with(std::u16string_view text, std::size_t from) const {
  const std::size_t m = marker_.size();
  const std::size_t n = text.size();
  const char16_t* units = text.data();
  std::size_t k = 0;
  for (std::size_t i = from; i < n; ++i) {
    if (k == 0) {
      i = next_start<F>(units, i, n);
      if (i == n) return npos;
    }
    const char16_t c = fold_unit(units[i], F);
    while (k > 0 && c != marker_[k]) k = next_[k - 1];
    if (c == marker_[k]) ++k;
    if (k == m) return i + 1 - m;
  }
  return npos;
}

std::size_t MarkerSearch::find(std::u16string_view text, std::size_t from) const {
  if (from > text.size()) return npos;
  if (marker_.empty()) return from;
  switch (fold_) {
    case UnitFold::Exact:
      return find_with<UnitFold::Exact>(text, from);
    case UnitFold::AsciiLetters:
      return find_with<UnitFold::AsciiLetters>(text, from);
    case UnitFold::Lower:
      break;
  }
  return find_with<UnitFold::Lower>(text, from);
}

std::size_t MarkerSearch::find_last(std::u16string_view text) const {
  const std::size_t m = marker_.size();
  if (m == 0) return text.size();
  std::size_t k = 0;
  for (std::size_t i = text.size(); i-- > 0;) {
    char16_t c = fold_unit(text[i], fold_);
    while (k > 0 && c != marker_[m - 1 - k]) k = prev_[k - 1];
    if (c == marker_[m - 1 - k]) ++k;
    if (k == m) return i;
  }
  return npos;
}

void remove_all(std::u16string& text, std::u16string_view marker) {
  if (marker.empty()) return;
  const MarkerSearch search(marker, UnitFold::Exact);
  // Compacts towards the front: what is written never overtakes what is still to be read,
  // and the search only reads from `kept` on.
  std::size_t kept = 0, written = 0;
  auto keep_until = [&](std::size_t end) {
    std::char_traits<char16_t>::move(text.data() + written, text.data() + kept, end - kept);
    written += end - kept;
  };
  for (std::size_t hit = search.find(text); hit != MarkerSearch::npos;
       hit = search.find(text, kept)) {
    keep_until(hit);
    kept = hit + marker.size();
  }
  keep_until(text.size());
  text.resize(written);
}

}  // namespace pelmo::extract
