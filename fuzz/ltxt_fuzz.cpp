// Ltxt's one-pass tag removal against the regular-expression engine running the tag pattern it
// stands for. Input: a flags byte (0x01: UTF-16 units), then the text. The engine may only give
// up on its limits (error 28); otherwise both must give the same text, and so must the method.
#include <cstdint>
#include <string>

#include "fuzz_input.h"
#include "memory_object.h"
#include "pelmo/error.h"
#include "util/text_cleanup.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelmo;
  using namespace pelmo::fuzz;
  if (size < 1) return 0;
  const std::u16string page = as_text(bytes_of(data + 1, size - 1), (data[0] & 1) != 0);
  const std::u16string linear = util::remove_tags(page);

  auto regexp = memory_platform().CreateRegExp();
  regexp->SetPattern(u"<\\/*[^<>]*>");
  regexp->SetIgnoreCase(true);
  regexp->SetGlobal(true);
  try {
    const std::u16string engine = regexp->Replace(page, u"");
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
  return 0;
}
