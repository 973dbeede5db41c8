// D1616_New_index on a fuzzed news page: the input bytes are the body of the news list address
// (PELMO_NEWS_HOST is set to a name of our own), served from memory as they are and decoded by
// the method as GB2312. The script text must stay one statement of closed, escaped pairs with
// no address that runs script, and the counter must point into it.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "fuzz_input.h"
#include "memory_object.h"
#include "pelmo/error.h"
#include "script_text.h"

namespace pelmo::fuzz {
namespace {

constexpr std::u16string_view kNewsUrl =
    u"http://news.fuzz/n?cmd=4&class=rolling&pn=1&from=tab&sub=0";

void check_news(const Variant& result) {
  check(result.type() == VarType::Array && result.as_array().size() == 2, "two elements");
  const Variant& script = result.as_array()[0];
  const Variant& counter = result.as_array()[1];
  check(script.is_string(), "element 0 is the script text");
  Cursor c(script.as_string());
  c.expect(u"var pelmo_Net_k=[[\"\",\"\"]", "declaration");
  std::size_t entries = 1;
  while (c.peek(u",[\"")) {
    c.expect(u",[\"", "entry start");
    check(!runs_script(unescaped(c.escaped_string())), "no address runs script");
    c.expect(u"\",\"", "between address and headline");
    c.escaped_string();
    c.expect(u"\"]", "entry end");
    ++entries;
  }
  c.expect(u"]", "closing");
  check(c.at_end(), "nothing after the statement");
  std::int64_t index = 0;
  if (counter.type() == VarType::Integer) {
    index = counter.as_integer();
  } else {
    check(counter.type() == VarType::Long && counter.as_long() > 32767, "Integer, then Long");
    index = counter.as_long();
  }
  check(index >= 1 && static_cast<std::size_t>(index) <= entries, "the counter points inside");
}

}  // namespace
}  // namespace pelmo::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("PELMO_NEWS_HOST", "news.fuzz", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelmo;
  using namespace pelmo::fuzz;
  memory_platform().serve(std::u16string(kNewsUrl), as_bytes(bytes_of(data, size)));
  Variant result = text(u"stale");
  try {
    memory_object().D1616_New_index(result);
  } catch (const AutomationError& e) {
    check(result.is_empty(), "a failed call leaves its result Empty");
    // An end marker only before its start marker (5) is the one failure a page can cause.
    if (e.number() != 5) fail("unexpected error " + std::to_string(e.number()));
    return 0;
  }
  check_news(result);
  return 0;
}
