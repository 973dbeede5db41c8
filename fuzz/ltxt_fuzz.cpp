// Ltxt's tag removal and StayNub's digit filter, one pass each, against the plain search of the
// pattern each stands for. Input: a flags byte (0x01: UTF-16 units), then the text. The engine
// may only give up on its limits (error 28); otherwise both must give the same text, and so must
// the methods.
#include <cstdint>
#include <string>

#include "fuzz_input.h"
#include "memory_object.h"
#include "pelmo/error.h"
#include "support/plain_search.h"
#include "util/number_cleanup.h"
#include "util/text_cleanup.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelmo;
  using namespace pelmo::fuzz;
  if (size < 1) return 0;
  const std::u16string page = as_text(bytes_of(data + 1, size - 1), (data[0] & 1) != 0);
  const std::u16string linear = util::remove_tags(page);

  try {
    const std::u16string engine = testing::plain_replace(u"<\\/*[^<>]*>", page, u"");
    if (engine != linear) {
      fail("the one-pass scan gives \"" + shown(linear) + "\" where the engine gives \"" +
           shown(engine) + "\" on \"" + shown(page) + "\"");
    }
  } catch (const AutomationError& e) {
    if (e.number() != 28) fail("the engine failed with " + std::to_string(e.number()));
  }

  Variant content = text(page), result;
  memory_object().Ltxt(content, result);
  check(result == text(linear), "Ltxt gives the one-pass scan's text");
  check(content == text(page), "argument left alone");

  const std::u16string digits = util::keep_ascii_digits(page);
  if (digits != testing::plain_replace(u"[^\\d]*", page, u"")) {
    fail("the digit filter gives \"" + shown(digits) + "\" on \"" + shown(page) + "\"");
  }
  memory_object().StayNub(content, result);
  check(page.empty() ? result.is_empty() : result == text(digits),
        "StayNub gives the filter's text");
  return 0;
}
