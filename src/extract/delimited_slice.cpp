#include "extract/delimited_slice.h"

#include <optional>
#include <string>

#include "extract/marker_search.h"
#include "pelmo/convert.h"
#include "pelmo/error.h"
#include "pelmo/text.h"

namespace pelmo::extract {

namespace {

constexpr std::size_t npos = MarkerSearch::npos;

// The mode that `n` selects by equality with 0..9, if any. Empty is 0, False 0 and True -1;
// a numeric text selects the mode of its value, any other text none.
std::optional<int> select_mode(const Variant& n) {
  double value = 0;
  switch (n.type()) {
    case VarType::Null:
      return std::nullopt;
    case VarType::String:
      if (!is_numeric_text(n.as_string())) return std::nullopt;
      value = to_number(n);
      break;
    default:
      value = to_number(n);  // Bytes and arrays do not compare with a number (13)
      break;
  }
  for (int mode = 0; mode <= 9; ++mode) {
    if (value == mode) return mode;
  }
  return std::nullopt;
}

// The 1-based position of `needle` in `hay` from `from` (0-based), relative to `from`, or 0.
// Like the first-occurrence search the modes are written with: an empty remainder holds
// nothing, and an empty needle is found at once.
std::size_t position_from(std::u16string_view hay, std::size_t from, const MarkerSearch& needle) {
  if (from >= hay.size()) return 0;
  std::size_t hit = needle.find(hay, from);
  return hit == npos ? 0 : hit - from + 1;
}

Variant text_result(std::u16string_view s) { return Variant::string(std::u16string(s)); }

}  // namespace

Variant slice_at_markers(const Variant& text, const Variant& start, const Variant& last,
                         const Variant& mode) {
  if (text.is_null() || start.is_null() || last.is_null()) return text_result({});
  std::u16string scratch;
  const std::u16string_view page = text_view(text, scratch);
  const std::u16string a_text = to_text(start);
  const std::u16string b_text = to_text(last);

  // Markers are compared lower-cased unit by unit as the page is read, which keeps every
  // position, so the result is cut from the page's own text; the page is never copied.
  const MarkerSearch a(a_text, UnitFold::Lower);
  const MarkerSearch b(b_text, UnitFold::Lower);

  const std::size_t p = position_from(page, 0, a);
  if (p == 0 || position_from(page, 0, b) == 0) return text_result({});

  const std::optional<int> selected = select_mode(mode);
  if (!selected) return Variant();

  const std::size_t length = page.size();
  const std::size_t la = a_text.size();
  const std::size_t lb = b_text.size();
  const std::size_t first = p - 1;  // 0-based start of the first A
  // 0-based start of the last A; an empty A is taken at the last code unit, where a search
  // from the end begins (the page is not empty once the guard has passed).
  const auto last_a = [&] { return la == 0 ? length - 1 : a.find_last(page); };

  switch (*selected) {
    case 0: {
      const std::size_t after = first + la;
      const std::size_t q = position_from(page, after, b);
      if (q == 0) throw_invalid_call("the end marker does not follow the start marker");
      return text_result(page.substr(after, q - 1));
    }
    case 1: {
      const std::size_t q = position_from(page, first, b);
      // Not found from A on: the first lb - 1 code units, as Left(T, 0 + lb - 1) gives.
      const std::size_t count = q == 0 ? (lb == 0 ? 0 : lb - 1) : q + lb - 1;
      return text_result(page.substr(first, count));
    }
    case 2:
      return text_result(page.substr(first + la));
    case 3:
      return text_result(page.substr(first));
    case 4:
      return text_result(page.substr(0, last_a() + la));
    case 5:
      return text_result(page.substr(0, last_a()));
    case 6:
      return text_result(page.substr(0, first + la));
    case 7:
      return text_result(page.substr(last_a()));
    case 8:
      return text_result(page.substr(0, first));
    default:  // 9: after the first code unit of the last A
      return text_result(page.substr(last_a() + 1));
  }
}

}  // namespace pelmo::extract
