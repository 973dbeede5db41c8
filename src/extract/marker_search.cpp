#include "extract/marker_search.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "extract/probe_scan.h"

namespace pelmo::extract {

namespace {

// Knuth-Morris-Pratt prefix function into table[0..n): table[i] is the length of the longest
// proper border of the first i + 1 units.
template <typename At>
void prefix_function(std::size_t n, At at, std::size_t* table) {
  if (n == 0) return;
  table[0] = 0;
  for (std::size_t i = 1, k = 0; i < n; ++i) {
    while (k > 0 && at(i) != at(k)) k = table[k - 1];
    if (at(i) == at(k)) ++k;
    table[i] = k;
  }
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

namespace {

// How often a unit turns up in markup, lowest for the rarest: the quick skip probes the rarest
// units of a marker so that it stops at few positions where the marker is not.
int commonness(char16_t c) {
  static constexpr auto kAscii = [] {
    std::array<std::uint8_t, 128> table{};
    for (std::size_t u = 0; u < table.size(); ++u) table[u] = 2;
    for (const char c8 : std::string_view("etaoinsrhldcu")) table[static_cast<std::size_t>(c8)] = 4;
    for (const char c8 : std::string_view("bfgjkmpqvwxyz")) table[static_cast<std::size_t>(c8)] = 3;
    for (const char c8 : std::string_view(" <>\"=/'\n\r\t:;.-_")) {
      table[static_cast<std::size_t>(c8)] = 5;
    }
    return table;
  }();
  return c >= 0x80 ? 1 : kAscii[c];  // one given non-ASCII character is rare even in Chinese text
}

}  // namespace

MarkerSearch::MarkerSearch(std::u16string_view marker, UnitFold fold)
    : marker_(marker), fold_(fold) {
  for (char16_t& c : marker_) c = fold_unit(c, fold_);
  const std::size_t n = marker_.size();
  borders_.resize(2 * n);
  prefix_function(
      n, [&](std::size_t i) { return marker_[i]; }, borders_.data());
  prefix_function(
      n, [&](std::size_t i) { return marker_[n - 1 - i]; }, borders_.data() + n);
  choose_probes();
  choose_scans(probes_);
  if (n <= kComparedWhole && fold_ != UnitFold::Lower && widest_scan() != ScanWidth::Scalar) {
    const std::size_t padded = (n + kGroupUnits - 1) / kGroupUnits * kGroupUnits;
    grouped_units_.assign(padded, u'\xFFFF');
    grouped_masks_.assign(padded, u'\xFFFF');
    for (std::size_t k = 0; k < n; ++k) {
      const char16_t c = marker_[k];
      grouped_units_[k] = c;
      grouped_masks_[k] = fold_ == UnitFold::AsciiLetters && c >= u'a' && c <= u'z' ? 0x20 : 0;
    }
  }
}

// Probes two of the first unit, the last and the rarest between them, the rarer first, when
// what folds onto each can be compared side by side. A third probe would seldom stop the scan
// less often (in "<div id=" the "=" after "<" and "v"), and the scan reads the text once more
// for each probe.
void MarkerSearch::choose_probes() {
  const std::size_t n = marker_.size();
  if (n == 0) return;
  std::size_t rarest = 0;
  for (std::size_t i = 1; i + 1 < n; ++i) {
    if (commonness(marker_[i]) <= commonness(marker_[rarest]) || rarest == 0) rarest = i;
  }
  std::array<std::size_t, 3> offsets = {0, n - 1, rarest};
  std::stable_sort(offsets.begin(), offsets.end(), [&](std::size_t a, std::size_t b) {
    return commonness(marker_[a]) < commonness(marker_[b]);
  });
  for (const std::size_t offset : offsets) {
    if (probes_.count == ProbeSet::kMax) break;
    bool taken = false;
    for (std::size_t p = 0; p < probes_.count; ++p) taken |= probes_.probes[p].offset == offset;
    if (taken) continue;  // a short marker names the same offset more than once
    UnitProbe probe;
    probe.offset = offset;
    if (probe_for(marker_[offset], probe)) {
      probes_.probes[probes_.count++] = probe;
      probes_.span = std::max(probes_.span, offset);
    }
  }
}

bool MarkerSearch::probe_for(char16_t folded, UnitProbe& probe) const {
  std::array<char16_t, 5> units{};
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
  if (count == 0 || count > 4) return false;
  // A letter in either case, and nothing else, is one comparison with the 0x20 bit set.
  const bool letter_pair = count == 2 && (units[0] | 0x20) == (units[1] | 0x20) &&
                           units[0] != units[1] && (units[0] | 0x20) >= u'a' &&
                           (units[0] | 0x20) <= u'z';
  if (letter_pair) {
    probe.or_mask = 0x20;
    probe.units.fill(static_cast<char16_t>(units[0] | 0x20));
    return true;
  }
  for (std::size_t k = 0; k < 4; ++k) probe.units[k] = units[k < count ? k : 0];
  return true;
}

template <UnitFold F>
std::size_t MarkerSearch::find_with(std::u16string_view text, std::size_t from) const {
  const std::size_t m = marker_.size();
  const std::size_t n = text.size();
  const char16_t* units = text.data();
  const std::size_t* next = borders_.data();
  const UnitFolder<F> fold;
  if (m <= kComparedWhole) {
    // A short marker is compared whole wherever the probes pass: a bounded cost a position,
    // and less than the automaton's steps on the occurrence itself.
    for (std::size_t i = from;; ++i) {
      i = first_probed_start(probes_, units, i, n);
      if (i + m > n) return npos;
      if (occurs_at(units, n, i)) return i;
    }
  }
  std::size_t k = 0;
  for (std::size_t i = from; i < n; ++i) {
    // With nothing matched so far an occurrence can only start where the probes pass.
    if (k == 0) {
      i = first_probed_start(probes_, units, i, n);
      if (i == n) return npos;
    }
    const char16_t c = fold(units[i]);
    while (k > 0 && c != marker_[k]) k = next[k - 1];
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
  if (marker_.empty()) return text.size();
  if (text.size() < marker_.size()) return npos;
  switch (fold_) {
    case UnitFold::Exact:
      return find_last_with<UnitFold::Exact>(text);
    case UnitFold::AsciiLetters:
      return find_last_with<UnitFold::AsciiLetters>(text);
    case UnitFold::Lower:
      break;
  }
  return find_last_with<UnitFold::Lower>(text);
}

template <UnitFold F>
std::size_t MarkerSearch::find_last_with(std::u16string_view text) const {
  const std::size_t m = marker_.size();
  const std::size_t* prev = borders_.data() + m;
  const UnitFolder<F> fold;
  std::size_t k = 0;
  for (std::size_t i = text.size(); i-- > 0;) {
    // Matching backwards from the end: with nothing matched, unit i can only end an
    // occurrence whose start passes the probes.
    if (k == 0) {
      if (i + 1 < m) return npos;
      const std::size_t start = last_probed_start(probes_, text.data(), i + 1 - m);
      if (start == kNoStart) return npos;
      i = start + m - 1;
    }
    const char16_t c = fold(text[i]);
    while (k > 0 && c != marker_[m - 1 - k]) k = prev[k - 1];
    if (c == marker_[m - 1 - k]) ++k;
    if (k == m) return i;
  }
  return npos;
}

void MarkerRemoval::keep_until(char16_t* text, std::size_t n, std::size_t end) {
  const std::size_t count = end - kept_;
  // Until the first hit the kept units are already in place: moving them onto themselves
  // would cost a pass over the text when the marker is absent.
  if (written_ != kept_) {
    // The stretches between markers close together are short, and a library copy costs more
    // than the few pieces of fixed size they take. Each piece is read before it is written;
    // with room behind them, the last piece's overhang lands only on units already read.
    if (count <= 4 * kPiece && kept_ - written_ >= kPiece && end + kPiece <= n) {
      for (std::size_t k = 0; k < count; k += kPiece) {
        std::memcpy(text + written_ + k, text + kept_ + k, kPiece * sizeof(char16_t));
      }
    } else {
      std::char_traits<char16_t>::move(text + written_, text + kept_, count);
    }
  }
  written_ += count;
  kept_ = end;
}

void MarkerRemoval::advance(char16_t* text, std::size_t n, bool last) {
  if (size_ == 0) {
    written_ = kept_ = n;
    return;
  }
  // Compacts towards the front: what is written never overtakes what is still to be read, and
  // the search only reads from `kept_` on.
  search_.each(text, n, kept_, [&](std::size_t hit) {
    keep_until(text, n, hit);
    kept_ = hit + size_;
  });
  // An occurrence may still begin in the last size_ - 1 units, once more text follows.
  std::size_t open = n;
  if (!last) open = n >= size_ ? n - size_ + 1 : 0;
  if (open > kept_) keep_until(text, n, open);
}

void remove_all(std::u16string& text, std::u16string_view marker) {
  MarkerRemoval removal(marker);
  removal.advance(text.data(), text.size(), true);
  text.resize(removal.settled());
}

}  // namespace pelmo::extract
