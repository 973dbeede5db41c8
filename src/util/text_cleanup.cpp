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

Variant strip_tags(host::Platform& platform, const Variant& content) {
  std::u16string text = to_text(content);
  auto pattern = platform.CreateRegExp();
  pattern->SetPattern(u"<\\/*[^<>]*>");
  pattern->SetIgnoreCase(true);
  pattern->SetGlobal(true);
  return Variant::string(pattern->Replace(text, u""));
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
