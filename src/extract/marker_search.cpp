#include "extract/marker_search.h"

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

}  // namespace

MarkerSearch::MarkerSearch(std::u16string_view marker, UnitFold fold)
    : marker_(marker), fold_(fold) {
  for (char16_t& c : marker_) c = fold_unit(c, fold_);
  const std::size_t n = marker_.size();
  next_ = prefix_function(n, [&](std::size_t i) { return marker_[i]; });
  prev_ = prefix_function(n, [&](std::size_t i) { return marker_[n - 1 - i]; });
}

std::size_t MarkerSearch::find(std::u16string_view text, std::size_t from) const {
  const std::size_t m = marker_.size();
  if (from > text.size()) return npos;
  if (m == 0) return from;
  const char16_t first = marker_[0];
  std::size_t k = 0;
  for (std::size_t i = from; i < text.size(); ++i) {
    char16_t c = fold_unit(text[i], fold_);
    if (k == 0) {
      // Skip quickly to the next unit that can begin an occurrence.
      while (c != first) {
        if (++i == text.size()) return npos;
        c = fold_unit(text[i], fold_);
      }
    } else {
      while (k > 0 && c != marker_[k]) k = next_[k - 1];
    }
    if (c == marker_[k]) ++k;
    if (k == m) return i + 1 - m;
  }
  return npos;
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
