#include "cli/demo_command.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "cli/demo_site.h"
#include "pelmo/catalogue.h"
#include "pelmo/convert.h"
#include "pelmo/error.h"
#include "pelmo/identity.h"
#include "pelmo/local_page.h"
#include "pelmo/object.h"
#include "pelmo/text.h"

namespace pelmo::cli {

namespace {

void print_value(std::ostream& out, const Variant& value) {
  if (value.type() == VarType::Array) {
    const VariantArray& items = value.as_array();
    for (std::size_t i = 0; i < items.size(); ++i) {
      out << "[" << i << "] ";
      print_value(out, items[i]);
    }
    return;
  }
  if (value.is_string()) {
    out << to_utf8(value.as_string()) << (value.as_string().ends_with(u"\n") ? "" : "\n");
  } else {
    out << value << "\n";
  }
}

// Calls one method by name, as a page does, and prints its result under a heading.
class Walk {
 public:
  Walk(std::ostream& out, _zaverer& object) : out_(out), object_(object) {}

  Variant call(const std::string& heading, std::string_view method, std::vector<Variant> args) {
    out_ << "\n== " << heading << " (" << method << ")\n";
    std::vector<Variant*> refs;
    for (Variant& arg : args) refs.push_back(&arg);
    Variant result;
    try {
      invoke_by_name(object_, method, refs, result);
      print_value(out_, result);
    } catch (const AutomationError& e) {
      out_ << "error " << e.number() << ": " << e.description() << "\n";
      failed_ = true;
    }
    return result;
  }

  bool failed() const { return failed_; }

 private:
  std::ostream& out_;
  _zaverer& object_;
  bool failed_ = false;
};

}  // namespace

int run_demo(std::ostream& out) {
  DemoSite site;
  const std::string here = "127.0.0.1:" + std::to_string(site.port());
  setenv("PELMO_AFFILIATE_HOST", here.c_str(), 1);
  setenv("PELMO_SHOPNAV_DOMAIN", ("localhost:" + std::to_string(site.port())).c_str(), 1);
  setenv("PELMO_LOTTERY_HOST", here.c_str(), 1);
  setenv("PELMO_NEWS_HOST", here.c_str(), 1);
  out << "pelmo demo: sample site on http://" << here
      << "/ (sub-sites under localhost:" << site.port() << ")\n";

  auto object = create_object(identity::kProgId);
  object->OnStartPage(host::make_local_page(u"GET"));
  Walk walk(out, *object);

  walk.call(
      "group-buy listing as JSON-shaped text, 15 of 18 offers", "D1616_Tuan_Smain",
      {text(from_utf8(site.listing_url())), text(u"\"bj\""), text(u"4"), Variant::integer(1)});
  walk.call("rolling news script and the index of the first international entry", "D1616_New_index",
            {});
  walk.call("affiliate link array, identifiers read from the bj sub-site", "D1616_Tuan_Shezhi",
            {text(DemoSite::affiliate_link_text(from_utf8(here))), text(u"bj")});

  const Variant navigation =
      walk.call("address of the bj sub-site's navigation page", "D1616_m",
                {text(u"tuangou3"), text(u"bj"), {}, {}, {}, {}, {}, {}, {}, {}});
  Variant page;
  {
    Variant path = navigation, result;
    object->Tarvessa_getHTTPPage(path, result);
    page = result;
  }
  walk.call("shopping collection with pictures", "D1616_Gouwu_Cj_Pic", {page, {}, text(u"mall")});
  walk.call("shopping collection as text", "D1616_Gouwu_Cj_Txt", {page, {}, text(u"mall")});

  walk.call("category query of a tag block", "Bq_x", {text(u"{pelmo:typelist 1, 8, 10, 3|5|7}")});
  walk.call("lottery data script", "D1616_m",
            {text(u"caipiao"), {}, {}, {}, {}, {}, {}, {}, {}, {}});
  walk.call(
      "horoscope data script", "D1616_m",
      {text(u"xingzuo2"), text(u"1"), text(u"default"), text(u"today"), {}, {}, {}, {}, {}, {}});
  walk.call("plug-in picture", "D1616_m", {text(u"tuangou"), {}, {}, {}, {}, {}, {}, {}, {}, {}});
  walk.call("console menu section 2", "pelmoConstStr", {text(u"2"), {}, text(u"1")});
  walk.call("member panel 71 (placeholders left for the page)", "pelmoConstStr",
            {text(u"71"), {}, text(u"1")});

  walk.call("e-mail check of user@host.qq", "Emailis", {text(u"user@host.qq")});
  walk.call("e-mail check of us..er@host.qq", "Emailis", {text(u"us..er@host.qq")});
  walk.call("is this request a form post?", "isPb", {});
  walk.call("script path under the virtual root", "aDir", {text(u"portal"), text(u"js/menu.js")});
  walk.call("number list", "FNum", {text(u"1, 2.5,abc,,-3")});
  walk.call("whole number", "Bint", {text(u" 3.5 ")});
  walk.call("one quiet line", "Str4Null", {text(u"  It's  a \"test\"\r\n\t")});

  object->OnEndPage();
  out << "\n" << (walk.failed() ? "demo finished with errors" : "demo finished") << "\n";
  return walk.failed() ? 1 : 0;
}

}  // namespace pelmo::cli
