#include "groupbuy/category_codes.h"

#include "pelmo/convert.h"

namespace pelmo::groupbuy {

Variant known_category(const Variant& v) {
  // "5" is not a category of the listing site.
  for (std::u16string_view code : {u"1", u"2", u"3", u"4", u"6"}) {
    if (equals_text(v, code)) return text(code);
  }
  return text(u"");
}

}  // namespace pelmo::groupbuy
