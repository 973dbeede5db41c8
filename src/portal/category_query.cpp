#include "portal/category_query.h"

#include <algorithm>
#include <string>
#include <vector>

#include "automation/inner_calls.h"
#include "pelmo/error.h"
#include "pelmo/text.h"

namespace pelmo::portal {

namespace {

bool all_digits(const std::u16string& s) {
  return !s.empty() &&
         std::all_of(s.begin(), s.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

// The row count and the ids go into SQL unquoted, so only plain digits are let through.
void require_digits(const std::u16string& value, const char* what) {
  if (!all_digits(value)) {
    throw_invalid_call(std::string("the tag's ") + what + " must be made of digits only");
  }
}

}  // namespace

Variant category_query(_zaverer& self, Variant& tag) {
  const std::u16string params = replace_all(inner::slice(self, tag, u" ", u"}"), u" ", u"");
  if (params.find(u',') == std::u16string::npos) {
    return Variant::array({text(u""), text(u"")});
  }
  const std::vector<std::u16string> fields = split(params, u",");
  if (fields.size() < 4) throw_subscript_out_of_range();
  const std::u16string& page_value = fields[1];
  const std::u16string& rows = fields[2];
  const std::u16string& filter = fields[3];
  require_digits(rows, "row count");

  std::u16string sql = u"select top " + rows + u" * from  brimlowe_type1 where typehide=1 ";
  if (filter.find(u'|') != std::u16string::npos) {
    const std::vector<std::u16string> ids = split(filter, u"|");
    for (const std::u16string& id : ids) require_digits(id, "category id");
    for (std::size_t i = 0; i < ids.size(); ++i) {
      if (i == 0) {
        sql += u" and (typeid=" + ids[i];
      } else if (i == ids.size() - 1) {
        sql += u" or typeid=" + ids[i] + u") ";
      } else {
        sql += u" or typeid=" + ids[i];
      }
    }
  } else if (filter != u"0") {
    require_digits(filter, "category id");
    sql += u" and typeid=" + filter;
  }
  sql += u" order by typeno asc,typeid desc";
  return Variant::array({Variant::string(std::move(sql)), text(page_value)});
}

}  // namespace pelmo::portal
