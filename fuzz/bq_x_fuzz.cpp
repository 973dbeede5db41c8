// Bq_x on fuzzed tag texts (UTF-8), against the query built step by step: the parameters
// between the first space and the next "}", spaces removed, fields 1 to 3, digits only in the
// row count and the ids. Errors 5 (no "}" after the space, or a value that is not digits) and
// 9 (fewer than four fields) are the legitimate failures.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "pelmo/error.h"
#include "pelmo/object.h"

namespace pelmo::fuzz {
namespace {

_zaverer& object() {
  static const std::shared_ptr<_zaverer> instance = create_object("pelmo.zaverer");
  return *instance;
}

std::vector<std::u16string> pieces(const std::u16string& s, char16_t sep) {
  std::vector<std::u16string> out(1);
  for (char16_t c : s) {
    if (c == sep) {
      out.emplace_back();
    } else {
      out.back().push_back(c);
    }
  }
  return out;
}

bool digits(const std::u16string& s) {
  if (s.empty()) return false;
  for (char16_t c : s) {
    if (c < u'0' || c > u'9') return false;
  }
  return true;
}

// The expected array, or the expected error number in `error`.
Variant expected_query(const std::u16string& tag, int& error) {
  error = 0;
  const Variant nothing = Variant::array({text(u""), text(u"")});
  const std::size_t space = tag.find(u' ');
  if (space == std::u16string::npos || tag.find(u'}') == std::u16string::npos) return nothing;
  const std::size_t brace = tag.find(u'}', space + 1);
  if (brace == std::u16string::npos) {
    error = 5;
    return Variant();
  }
  std::u16string params;
  for (char16_t c : tag.substr(space + 1, brace - space - 1)) {
    if (c != u' ') params.push_back(c);
  }
  if (params.find(u',') == std::u16string::npos) return nothing;
  const std::vector<std::u16string> fields = pieces(params, u',');
  if (fields.size() < 4) {
    error = 9;
    return Variant();
  }
  if (!digits(fields[2])) {
    error = 5;
    return Variant();
  }
  std::u16string sql = u"select top " + fields[2] + u" * from  brimlowe_type1 where typehide=1 ";
  if (fields[3].find(u'|') != std::u16string::npos) {
    const std::vector<std::u16string> ids = pieces(fields[3], u'|');
    for (const auto& id : ids) {
      if (!digits(id)) {
        error = 5;
        return Variant();
      }
    }
    sql += u" and (typeid=" + ids.front();
    for (std::size_t i = 1; i + 1 < ids.size(); ++i) sql += u" or typeid=" + ids[i];
    sql += u" or typeid=" + ids.back() + u") ";
  } else if (fields[3] != u"0") {
    if (!digits(fields[3])) {
      error = 5;
      return Variant();
    }
    sql += u" and typeid=" + fields[3];
  }
  sql += u" order by typeno asc,typeid desc";
  return Variant::array({text(sql), text(fields[1])});
}

}  // namespace
}  // namespace pelmo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelmo;
  using namespace pelmo::fuzz;
  const std::u16string tag = from_utf8(bytes_of(data, size));
  Variant v1 = text(tag), result = text(u"stale");
  int error = 0;
  try {
    object().Bq_x(v1, result);
  } catch (const AutomationError& e) {
    error = e.number();
    check(result.is_empty(), "a failed call leaves its result Empty");
  }
  check(v1 == text(tag), "Bq_x leaves its argument alone");
  int expected_error = 0;
  const Variant expected = expected_query(tag, expected_error);
  if (error != expected_error) {
    fail("Bq_x failed with " + std::to_string(error) + " where " + std::to_string(expected_error) +
         " was due: \"" + shown(tag) + "\"");
  }
  if (error == 0 && result != expected) fail("Bq_x built another query for \"" + shown(tag) + "\"");
  return 0;
}
