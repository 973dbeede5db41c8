// D1616_Tuan_Smain on a fuzzed listing page: the input bytes are the body, served from memory
// as they are and decoded by the method as GB2312. The output must keep its shape whatever the
// page holds: the header, at most 15 records of the fourteen keys in order, every value a
// closed, escaped script string, no address that runs script, a count that is a multiple of 16
// up to 1500.
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz_input.h"
#include "memory_object.h"
#include "pelmo/error.h"
#include "script_text.h"

namespace pelmo::fuzz {
namespace {

constexpr std::u16string_view kUrl = u"http://tuan.fuzz/list";

constexpr std::u16string_view kKeys[] = {
    u"VC2COMNAME",   u"VC2COMURL",  u"VC2CLASSCODE", u"VC2CITY",     u"VC2PINGYIN",
    u"VC2TITLE",     u"NUMPRICE",   u"NUMDISPRICE",  u"NUMDISPER",   u"NUMORDERS",
    u"VC2SOURCEURL", u"DATOFFLINE", u"VC2THUMB",     u"VC2BEFOREURL"};

void check_listing(std::u16string_view out) {
  Cursor c(out);
  c.expect(u"{\r\n\"count\": \"", "count");
  const std::u16string_view count = c.escaped_string();
  std::size_t pages = 0;
  for (char16_t d : count) {
    check(d >= u'0' && d <= u'9', "the count is plain digits");
    pages = pages * 10 + (d - u'0');
  }
  check(!count.empty() && (count == u"0" || count[0] != u'0'), "the count has no leading zero");
  check(pages <= 1500 && (pages % 16 == 0 || pages == 1500), "the count is 16 a page, to 1500");
  c.expect(u"\",\r\n\"city\": bj,\r\n\"cate\": \"4\",\r\n\"page\": 3,\r\n\"list\": [\r\n",
           "header");
  std::size_t records = 0;
  while (!c.peek(u"]\r\n}\r\n")) {
    if (records > 0) c.expect(u",", "between records");
    c.expect(u"{\r\n", "record start");
    for (std::u16string_view key : kKeys) {
      c.expect(u"\"", "key");
      c.expect(key, "key name");
      c.expect(u"\": \"", "key end");
      const std::u16string_view value = c.escaped_string();
      if (key == u"NUMDISPER") check(value.size() <= 3, "the ratio is three characters at most");
      if (key == u"VC2COMURL" || key == u"VC2THUMB" || key == u"VC2SOURCEURL") {
        check(!runs_script(unescaped(value)), "no address runs script");
      }
      if (key == u"VC2CLASSCODE" || key == u"VC2CITY" || key == u"VC2PINGYIN" ||
          key == u"DATOFFLINE" || key == u"VC2BEFOREURL") {
        check(value.empty(), "the five fixed keys are empty");
      }
      c.expect(key == u"VC2BEFOREURL" ? u"\"\r\n" : u"\",\r\n", "value end");
    }
    c.expect(u"}", "record end");
    ++records;
  }
  check(records <= 15, "at most 15 records");
  c.expect(u"]\r\n}\r\n", "closing");
  check(c.at_end(), "nothing after the closing lines");
}

}  // namespace
}  // namespace pelmo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelmo;
  using namespace pelmo::fuzz;
  memory_platform().serve(std::u16string(kUrl), as_bytes(bytes_of(data, size)));
  Variant url = text(kUrl), city = text(u"bj"), cate = text(u"4"), page = Variant::integer(3);
  Variant result = text(u"stale");
  try {
    memory_object().D1616_Tuan_Smain(url, city, cate, page, result);
  } catch (const AutomationError& e) {
    check(result.is_empty(), "a failed call leaves its result Empty");
    // A price that is no number (13), a zero list price (11), a ratio or page count beyond
    // range (6), an end marker only before its start marker (5).
    const int n = e.number();
    if (n != 5 && n != 6 && n != 11 && n != 13) fail("unexpected error " + std::to_string(n));
    return 0;
  }
  check(url == text(kUrl) && city == text(u"bj") && cate == text(u"4"), "arguments left alone");
  check_listing(result.as_string());
  return 0;
}
