// Finding a marker in a text in time linear in both, whatever the marker looks like
// (a self-similar marker such as "aaab" in "aaaa..." costs no more than any other: a short one
// is compared whole at a position, a long one runs the prefix function).
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "extract/probe_scan.h"
#include "pelmo/text.h"

namespace pelmo::extract {

// How code units compare. AsciiLetters folds A-Z onto a-z and nothing else: the case folding
// of the regular-expression engine in its code-unit (non-UTF) mode. Lower maps every unit to
// its lower case (pelmo::lower_unit), as the slicing's lower-cased comparison does.
enum class UnitFold { Exact, AsciiLetters, Lower };

inline char16_t fold_unit(char16_t c, UnitFold fold) {
  switch (fold) {
    case UnitFold::Exact:
      return c;
    case UnitFold::AsciiLetters:
      return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
    case UnitFold::Lower:
      return lower_units()[c];
  }
  return c;
}

// fold_unit for one folding fixed at compile time; the lower-case table is fetched once.
template <UnitFold F>
struct UnitFolder {
  char16_t operator()(char16_t c) const { return fold_unit(c, F); }
};
template <>
struct UnitFolder<UnitFold::Lower> {
  const char16_t* lower = lower_units();
  char16_t operator()(char16_t c) const { return lower[c]; }
};

class MarkerSearch {
 public:
  static constexpr std::size_t npos = std::u16string_view::npos;

  MarkerSearch(std::u16string_view marker, UnitFold fold);

  std::size_t size() const { return marker_.size(); }
  // Offset of the first occurrence starting at or after `from`; an empty marker is found at
  // `from` itself while from <= text.size().
  std::size_t find(std::u16string_view text, std::size_t from = 0) const;
  // Offset of the start of the last occurrence; an empty marker is found at text.size().
  std::size_t find_last(std::u16string_view text) const;

  // Calls found(at) for each occurrence in text[from, n), left to right, each looked for after
  // the end of the one before, as find(text, previous end) would; a non-empty marker only.
  // `found` may rewrite the text before the end of the occurrence it is given, not after.
  template <typename Found>
  void each(const char16_t* text, std::size_t n, std::size_t from, Found&& found) const {
    const std::size_t m = marker_.size();
    if (probes_.count == 0) {  // nothing to probe for: the one-at-a-time search
      for (std::size_t at = find({text, n}, from); at != npos; at = find({text, n}, at + m)) {
        found(at);
      }
      return;
    }
    // The probes are read a window of positions at a time, so that occurrences a few units
    // apart do not each cost a scan of their own. After two windows in a row without a probed
    // position one scan goes on to the next, so that a marker seldom there (a start marker in
    // the blocks) costs one scan of the whole text.
    bool empty_before = false;
    for (std::size_t base = from; base + m <= n;) {
      std::uint64_t bits = probed_window(probes_, text, base, n);
      if (bits == 0) {
        base = empty_before ? first_probed_start(probes_, text, base + kWindow, n) : base + kWindow;
        empty_before = true;
        continue;
      }
      empty_before = false;
      while (bits != 0) {
        const std::size_t at = base + static_cast<std::size_t>(__builtin_ctzll(bits));
        bits &= bits - 1;
        if (at < from || at + m > n || !occurs_at(text, n, at)) continue;
        found(at);
        from = at + m;
      }
      base = std::max(base + kWindow, from);
    }
  }

  // Whether the marker occurs at `at` of a text of `n` units; at + size() <= n.
  bool occurs_at(const char16_t* text, std::size_t n, std::size_t at) const {
    if (!grouped_units_.empty() && n - at >= grouped_units_.size()) {
      // Most positions differ at the first unit: that one is compared here, without a call.
      if (static_cast<char16_t>(text[at] | grouped_masks_[0]) != grouped_units_[0]) return false;
      return masked_groups_equal(text + at, grouped_units_.data(), grouped_masks_.data(),
                                 grouped_units_.size() / kGroupUnits);
    }
    switch (fold_) {
      case UnitFold::Exact:
        return occurs_with<UnitFold::Exact>(text + at);
      case UnitFold::AsciiLetters:
        return occurs_with<UnitFold::AsciiLetters>(text + at);
      case UnitFold::Lower:
        break;
    }
    return occurs_with<UnitFold::Lower>(text + at);
  }

 private:
  template <UnitFold F>
  bool occurs_with(const char16_t* units) const {
    // Local copies: the text's units may alias the marker's as far as the compiler knows.
    const char16_t* marker = marker_.data();
    const std::size_t m = marker_.size();
    const UnitFolder<F> fold;
    for (std::size_t k = 0; k < m; ++k) {
      if (fold(units[k]) != marker[k]) return false;
    }
    return true;
  }
  template <UnitFold F>
  std::size_t find_with(std::u16string_view text, std::size_t from) const;
  template <UnitFold F>
  std::size_t find_last_with(std::u16string_view text) const;
  void choose_probes();
  // The probe for the units that fold onto `folded`; false when there are more than four.
  bool probe_for(char16_t folded, UnitProbe& probe) const;

  // Markers up to this long are compared whole at each probed position, longer ones run the
  // prefix function so that no unit is read more than twice.
  static constexpr std::size_t kComparedWhole = 32;
  std::u16string marker_;  // folded
  // The prefix function of marker_, then that of marker_ reversed: one allocation for both.
  std::vector<std::size_t> borders_;
  UnitFold fold_;
  // Where an occurrence can start at all, checked many positions at a time: in markup the
  // first unit ("<", "\"") is everywhere, a few units together are rare.
  ProbeSet probes_;
  // A short marker set out to be compared eight units at a time (masked_groups_equal): 0x20 in
  // the mask of an ASCII letter, all ones in both for the units that fill the last group. Empty
  // for a long marker, the full lower-case folding or a processor without the vectors.
  std::u16string grouped_units_, grouped_masks_;
};

// Removes every exact occurrence of a marker, left to right, from a text that may still grow
// at its end: what is settled moves towards the front, in place, so that a text built piece by
// piece is cleaned while its newest part is still in the processor's cache.
class MarkerRemoval {
 public:
  explicit MarkerRemoval(std::u16string_view marker)
      : search_(marker, UnitFold::Exact), size_(marker.size()) {}

  // Removes the occurrences that lie in text[0, n), which holds what was given before, and
  // settles every unit later text cannot make part of one; with `last` nothing more comes.
  void advance(char16_t* text, std::size_t n, bool last);
  // The settled units, text[0, settled()), hold no occurrence.
  std::size_t settled() const { return written_; }

 private:
  // Moves the units from kept_ up to `end` of a text of `n` units down to written_.
  void keep_until(char16_t* text, std::size_t n, std::size_t end);
  static constexpr std::size_t kPiece = 16;  // units a short move copies at a time

  MarkerSearch search_;
  std::size_t size_;
  std::size_t kept_ = 0;     // the first unit not yet settled or removed
  std::size_t written_ = 0;  // where it goes
};

// Removes every exact occurrence of `marker`, left to right, without rescanning, in place.
void remove_all(std::u16string& text, std::u16string_view marker);

}  // namespace pelmo::extract
