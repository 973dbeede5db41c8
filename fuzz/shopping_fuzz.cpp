// D1616_Gouwu_Cj_Pic and D1616_Gouwu_Cj_Txt on fuzzed page text (UTF-8), once with a fixed
// block id and once with a fuzzed one. Input: id 0xFF page. Checked: the
// markup's shape (six links to an item, class b on every sixth, the item closed once), that no
// scraped value can break out of its single-quoted attribute (the count of single quotes is the
// markup's own), that no address runs script, that the text method never writes a picture, and
// that the twins agree.
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz_input.h"
#include "pelmo/error.h"
#include "pelmo/object.h"
#include "script_text.h"

namespace pelmo::fuzz {
namespace {

_zaverer& object() {
  static const std::shared_ptr<_zaverer> instance = create_object("pelmo.zaverer");
  return *instance;
}

std::size_t count(std::u16string_view s, std::u16string_view what) {
  std::size_t n = 0;
  for (std::size_t at = s.find(what); at != std::u16string_view::npos;
       at = s.find(what, at + what.size())) {
    ++n;
  }
  return n;
}

struct Rendered {
  Variant result;
  int error = 0;
};

Rendered render(const std::u16string& page, const std::u16string& id, bool pictures) {
  Variant str2 = text(page), ostr = text(u"ignored"), oid = text(id);
  Rendered r{text(u"stale")};
  try {
    if (pictures) {
      object().D1616_Gouwu_Cj_Pic(str2, ostr, oid, r.result);
    } else {
      object().D1616_Gouwu_Cj_Txt(str2, ostr, oid, r.result);
    }
  } catch (const AutomationError& e) {
    r.error = e.number();
    check(r.result.is_empty(), "a failed call leaves its result Empty");
    // 9: fewer pictures or titles than links; 5: the block's end only before its start.
    if (r.error != 9 && r.error != 5) fail("unexpected error " + std::to_string(r.error));
  }
  check(str2 == text(page) && oid == text(id), "the arguments are left alone");
  return r;
}

// The links of well-shaped markup, or a failure.
std::size_t links_of(const std::u16string& out, bool pictures) {
  const std::size_t links = count(out, u"</a></span>\r\n");
  const std::size_t items = (links + 5) / 6;
  check(count(out, u"<li>\r\n") == items && count(out, u"</li>\r\n") == items, "one item a six");
  check(count(out, u"<span class='b'>") == links / 6, "class b on every sixth link");
  check(count(out, u"<span class='a'>") == links - links / 6, "class a on the others");
  check(count(out, u"'") == links * (pictures ? 18 : 14), "no value leaves its attribute");
  check(pictures || out.find(u"<img") == std::u16string::npos, "no picture in the text list");
  check(links > 0 || out.empty(), "no links, no markup");
  for (std::u16string_view attribute : {u"href='", u"src='"}) {
    for (std::size_t at = out.find(attribute); at != std::u16string::npos;
         at = out.find(attribute, at + 1)) {
      const std::size_t from = at + attribute.size();
      check(!runs_script(std::u16string_view(out).substr(from, out.find(u'\'', from) - from)),
            "no address runs script");
    }
  }
  return links;
}

void compare_twins(const std::u16string& page, const std::u16string& id) {
  const Rendered pic = render(page, id, true);
  const Rendered txt = render(page, id, false);
  std::size_t pic_links = 0, txt_links = 0;
  if (pic.error == 0) pic_links = links_of(pic.result.as_string(), true);
  if (txt.error == 0) txt_links = links_of(txt.result.as_string(), false);
  if (txt.error != 0) check(pic.error != 0, "the picture list fails where the text list does");
  if (pic.error == 0 && txt.error == 0) check(pic_links == txt_links, "the twins list as many");
}

}  // namespace
}  // namespace pelmo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelmo;
  using namespace pelmo::fuzz;
  const auto fields = split_fields(bytes_of(data, size), 2);
  const std::u16string id = from_utf8(fields[0]);
  const std::u16string page = from_utf8(fields[1]);
  compare_twins(page, u"gw1");
  compare_twins(page, id);
  return 0;
}
