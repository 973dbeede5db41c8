#include "util/text_cleanup.h"

#include <string>
#include <utility>

#include "pelmo/convert.h"
#include "pelmo/text.h"

namespace pelmo::util {

Variant replace_quotes(Variant& str) {
  std::u16string replaced = replace_all(to_text(str), u"\"", u"\u201C");
  str = Variant::string(replaced);
  return Variant::string(std::move(replaced));
}

// The tag pattern "<\/*[^<>]*>" matches what "<[^<>]*>" matches: the slashes it lets
// through first are also "[^<>]". Leftmost-first, a match is a "<" and everything up to the
// next ">" when no "<" comes before it; a "<" followed by another "<" before any ">" starts
// nothing, and one with neither after it ends the search. One pass finds all of them, where
// the engine backtracks between the two runs that take the same slashes.
std::u16string remove_tags(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  std::size_t copied = 0;
  std::size_t open = text.find(u'<');
  while (open != std::u16string_view::npos) {
    const std::size_t stop = text.find_first_of(u"<>", open + 1);
    if (stop == std::u16string_view::npos) break;
    if (text[stop] == u'<') {
      open = stop;
      continue;
    }
    out.append(text.substr(copied, open - copied));
    copied = stop + 1;
    open = text.find(u'<', copied);
  }
  out.append(text.substr(copied));
  return out;
}

Variant strip_tags(const Variant& content) {
  // Read in place: a long text is not copied before its tags are taken out.
  std::u16string scratch;
  return Variant::string(remove_tags(text_view(content, scratch)));
}

Variant single_line(const Variant& info) {
  if (info.is_empty() || info.is_null()) return Variant::string(u"");
  const std::u16string trimmed = trim_spaces(to_text(info));
  // Quotes, apostrophes, CR, LF and tabs are removed outright, so their order does not
  // matter; repeated halving of space pairs ends with every run of spaces as one space, which
  // one pass gives directly (and in linear time on a megabyte of spaces).
  std::u16string out;
  out.reserve(trimmed.size());
  for (char16_t c : trimmed) {
    switch (c) {
      case u'"':
      case u'\'':
      case u'\r':
      case u'\n':
      case u'\t':
        continue;
      case u' ':
        if (!out.empty() && out.back() == u' ') continue;
        break;
      default:
        break;
    }
    out.push_back(c);
  }
  return Variant::string(std::move(out));
}

}  // namespace pelmo::util
