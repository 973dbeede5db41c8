#include "portal/rolling_news.h"

#include <string>
#include <string_view>
#include <vector>

#include "automation/inner_calls.h"
#include "config/outside_hosts.h"
#include "pelmo/convert.h"
#include "pelmo/text.h"
#include "util/output_escape.h"
#include "util/web_address.h"

namespace pelmo::portal {

namespace {

constexpr std::u16string_view kListPath = u"/n?cmd=4&class=rolling&pn=1&from=tab&sub=0";
constexpr std::u16string_view kDomestic = u"国内新闻</a></div>";
constexpr std::u16string_view kInternational = u"国际新闻</a></div>";
constexpr std::u16string_view kMilitary = u"军事新闻</a></div>";

// Appends one entry per item block of the group; returns how many pieces the group gave.
std::size_t append_group(_zaverer& self, Variant& page, std::u16string_view start,
                         std::u16string_view end, std::u16string& script) {
  Variant group = text(inner::slice(self, page, start, end));
  const std::vector<std::u16string> pieces =
      split(inner::blocks(self, group, u"<div class=\"p2\">", u"</div>", u"###"), u"###");
  for (const std::u16string& piece : pieces) {
    Variant item = text(piece);
    const std::u16string address = inner::slice(self, item, u"href=\"", u"\"");
    Variant headline = text(inner::slice(self, item, u"target=\"_blank\">", u"</a>"));
    Variant quoted;
    self.Rm(headline, quoted);
    script += u",[\"" + util::escape_script_string(util::scriptless_address(trim_spaces(address))) +
              u"\",\"" + util::escape_script_string(trim_spaces(to_text(quoted))) + u"\"]";
  }
  return pieces.size();
}

// The counter is a script integer: 16-bit while it fits, then 32-bit.
Variant counter_value(std::size_t counter) {
  if (counter <= 32767) return Variant::integer(static_cast<std::int16_t>(counter));
  return Variant::long_(static_cast<std::int32_t>(counter));
}

}  // namespace

Variant rolling_news(_zaverer& self) {
  Variant page =
      inner::fetch_page(self, text(u"http://" + outside_hosts().news + std::u16string(kListPath)));
  std::u16string script = u"var pelmo_Net_k=[[\"\",\"\"]";
  const std::size_t counter = 1 + append_group(self, page, kDomestic, kInternational, script);
  append_group(self, page, kInternational, kMilitary, script);
  script += u"]";
  return Variant::array({Variant::string(std::move(script)), counter_value(counter)});
}

}  // namespace pelmo::portal
