#include "jobs.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "inputs.h"
#include "loopback_site.h"
#include "pelmo/convert.h"
#include "pelmo/local_page.h"
#include "pelmo/object.h"
#include "pelmo/text.h"
#include "support/memory_platform.h"

namespace pelmo::bench {

namespace {

constexpr std::u16string_view kNewsPath = u"/n?cmd=4&class=rolling&pn=1&from=tab&sub=0";

std::u16string ascii16(std::string_view s) { return std::u16string(s.begin(), s.end()); }

Bytes as_bytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

// The start marker with its quotes written as ".", which makes it a pattern.
std::u16string pattern_start_of(std::u16string start) {
  std::replace(start.begin(), start.end(), u'"', u'.');
  return start;
}

struct Markers {
  std::u16string start, over, separator;
};

// Dense markers that meet every page's filler lines (peer.py writes the same).
const std::pair<std::string, Markers> kDenseMarkers[] = {
    {"dense_star", {u"class=\".*\"", u"</li>", u"###"}},
    {"dense_plus", {u"href=\".+\"", u"</a>", u"###"}},
    {"dense_counted", {u"<span class=.n.>.{1,3}", u"</span>", u"###"}},
    {"dense_alternation", {u"<li class=.nav.>|<span", u"</a>|</li>", u"###"}},
};

}  // namespace

std::string result_text_utf8(const Variant& result) {
  if (result.type() != VarType::Array) return to_utf8(to_text(result));
  std::string joined;
  bool first = true;
  for (const Variant& element : result.as_array()) {
    if (!first) joined += "\n";
    first = false;
    joined += to_utf8(to_text(element));
  }
  return joined;
}

struct JobSet::State {
  LoopbackSite site;
  std::shared_ptr<testing::MemoryPlatform> memory = std::make_shared<testing::MemoryPlatform>();
  std::shared_ptr<_zaverer> local;   // fetches from memory
  std::shared_ptr<_zaverer> remote;  // fetches over loopback HTTP
};

JobSet::JobSet() : state_(std::make_unique<State>()) {
  State& s = *state_;
  // The news host is a build-time default unless the environment names one; the loopback
  // site answers for it, and the memory platform under the same address.
  setenv("PELMO_NEWS_HOST", s.site.host().c_str(), 1);
  s.local = create_object("pelmo.zaverer", s.memory);
  s.local->OnStartPage(host::make_local_page());
  s.remote = create_object("pelmo.zaverer");
  s.remote->OnStartPage(host::make_local_page());
  _zaverer& local = *s.local;
  _zaverer& remote = *s.remote;

  auto add = [&](std::string name, std::size_t bytes, std::string digest,
                 std::function<Variant()> run, std::function<void()> reset = {}) {
    jobs_.push_back({std::move(name), bytes, std::move(digest), std::move(reset), std::move(run)});
  };
  auto text_digest = [](const std::u16string& text) { return crc32_hex(gb2312(text)); };
  auto shared_text = [](std::u16string text) {
    return std::make_shared<Variant>(Variant::string(std::move(text)));
  };

  struct Sized {
    std::string label;
    std::size_t bytes;
  };
  const std::vector<Sized> listing_sizes = {{"listing_200KB", 200 * kKiB},
                                            {"listing_1MB", 1 * kMiB},
                                            {"listing_2MB", 2 * kMiB},
                                            {"listing_4MB", 4 * kMiB},
                                            {"listing_8MB", 8 * kMiB}};
  std::map<std::string, std::u16string> pages;
  for (const Sized& size : listing_sizes) pages[size.label] = listing_page(size.bytes);
  pages["news"] = news_page();
  pages["shopping"] = shopping_page();

  // Decoders: GB2312 bodies of the listing page padded to each size; the UTF-8 body is the
  // same text in UTF-8.
  for (const Sized& size : std::vector<Sized>{{"1MB", 1 * kMiB},
                                              {"2MB", 2 * kMiB},
                                              {"4MB", 4 * kMiB},
                                              {"8MB", 8 * kMiB},
                                              {"10MB", 10 * kMiB}}) {
    const std::u16string page = listing_page(size.bytes);
    const std::string gb = gb2312(page);
    const std::string digest = crc32_hex(gb);
    auto body = std::make_shared<Variant>(Variant::bytes(as_bytes(gb)));
    auto cset = std::make_shared<Variant>(text(u"GB2312"));
    add("decode_stream_gb2312/" + size.label, gb.size(), digest, [&local, body, cset] {
      Variant result;
      local.Tarvessa_BytesToBstr(*body, *cset, result);
      return result;
    });
    if (size.label != "1MB" && size.label != "10MB") continue;
    auto pairs = std::make_shared<Variant>(*body);
    add(
        "decode_pairs/" + size.label, gb.size(), digest,
        [&local, pairs] {
          Variant result;
          local.Tarvessa_BytesToBstr_new(*pairs, result);
          return result;
        },
        [pairs, body] { *pairs = *body; });
    const std::string u8 = utf8(page);
    auto u8_body = std::make_shared<Variant>(Variant::bytes(as_bytes(u8)));
    auto u8_cset = std::make_shared<Variant>(text(u"UTF-8"));
    add("decode_stream_utf8/" + size.label, u8.size(), crc32_hex(u8), [&local, u8_body, u8_cset] {
      Variant result;
      local.Tarvessa_BytesToBstr(*u8_body, *u8_cset, result);
      return result;
    });
  }

  // Extraction on the pages: the callers' markers.
  const std::map<std::string, Markers> block_markers = {
      {"listing", {u"<div id=\"productlist\"", u"<div class=\"cl\"></div>", u"#####"}},
      {"news", {u"<div class=\"p2\">", u"</div>", u"###"}},
      {"shopping", {u"<span", u"</a>", u"#####"}}};
  const std::map<std::string, Markers> slice_markers = {
      {"listing", {u"pageCount : ", u">", u""}},
      {"news", {u"国内新闻</a></div>", u"国际新闻</a></div>", u""}},
      {"shopping", {u"<div id=\"mall\" style=\"display:none\">", u"</div>", u""}}};
  const std::map<std::string, Markers> last_markers = {
      {"listing", {u"<div id=\"productlist\"", u"<div class=\"cl\"></div>", u""}},
      {"news", {u"<div class=\"p2\">", u"</div>", u""}},
      {"shopping", {u"<span", u"</a>", u""}}};
  for (const auto& [label, page] : pages) {
    const std::string kind = label.substr(0, label.find('_'));
    const std::string digest = text_digest(page);
    const std::size_t bytes = gb_length(page);
    auto wstr = shared_text(page);
    const Markers& bm = block_markers.at(kind);
    auto b_start = shared_text(bm.start), b_over = shared_text(bm.over),
         b_sep = shared_text(bm.separator);
    auto tag = std::make_shared<Variant>(Variant::boolean(true));
    add("body2s/" + label, bytes, digest, [&local, wstr, b_start, b_over, b_sep, tag] {
      Variant result;
      local.D1616_body2s(*wstr, *b_start, *b_over, *b_sep, *tag, result);
      return result;
    });
    if (kind != "shopping") {
      // The same blocks through the regular-expression engine: the start marker's quotes as ".".
      auto p_start = shared_text(pattern_start_of(bm.start));
      add("body2s_pattern/" + label, bytes, digest, [&local, wstr, p_start, b_over, b_sep, tag] {
        Variant result;
        local.D1616_body2s(*wstr, *p_start, *b_over, *b_sep, *tag, result);
        return result;
      });
    }
    // Dense pattern markers: no literal prefix to search for, ".*" and ".+" inside attributes,
    // counted repeats, alternation over the whole pattern; the matcher meets them at most units.
    std::u16string quoted_over = bm.over;
    std::replace(quoted_over.begin(), quoted_over.end(), u'"', u'.');
    std::vector<std::pair<std::string, Markers>> dense = {
        {"dense_quotes", {pattern_start_of(bm.start), quoted_over, bm.separator}}};
    for (const auto& [name, markers] : kDenseMarkers) dense.push_back({name, markers});
    for (const auto& [name, markers] : dense) {
      auto d_start = shared_text(markers.start), d_over = shared_text(markers.over),
           d_sep = shared_text(markers.separator);
      add(name + "/" + label, bytes, digest, [&local, wstr, d_start, d_over, d_sep, tag] {
        Variant result;
        local.D1616_body2s(*wstr, *d_start, *d_over, *d_sep, *tag, result);
        return result;
      });
    }
    for (int mode : {0, 4}) {
      if (mode == 4 && (label == "listing_1MB" || label == "listing_4MB" || label == "listing_8MB"))
        continue;
      const Markers& sm = mode == 0 ? slice_markers.at(kind) : last_markers.at(kind);
      auto a = shared_text(sm.start), b = shared_text(sm.over);
      auto n = std::make_shared<Variant>(Variant::integer(static_cast<std::int16_t>(mode)));
      add("getcontent_mode" + std::to_string(mode) + "/" + label, bytes, digest,
          [&local, wstr, a, b, n] {
            Variant result;
            local.D1616_GetContent(*wstr, *a, *b, *n, result);
            return result;
          });
    }
  }

  // The dense markers on a plain 10 MB item listing, and a repeat that spans the whole text.
  {
    const std::u16string items = item_listing(10 * kMiB);
    auto wstr = shared_text(items);
    const std::string digest = text_digest(items);
    const std::size_t bytes = gb_length(items);
    const std::u16string a_run = std::u16string(10'000'000, u'a') + u"b";
    auto a_wstr = shared_text(a_run);
    const std::string a_digest = text_digest(a_run);
    struct Row {
      std::string name;
      std::u16string start, over;
      bool on_items;
    };
    const Row rows[] = {{"dense_class_star/items_10MB", u"class=\".*\"", u"</li>", true},
                        {"dense_li_class_star/items_10MB", u"<li class=\".*\">", u"</li>", true},
                        {"dense_href_plus/items_10MB", u"href=\".+\"", u"</a>", true},
                        {"dense_a_plus/a_10M", u"a+", u"b", false}};
    auto tag = std::make_shared<Variant>(Variant::boolean(true));
    auto sep = shared_text(u"###");
    for (const Row& row : rows) {
      auto r_start = shared_text(row.start), r_over = shared_text(row.over);
      auto page = row.on_items ? wstr : a_wstr;
      add(row.name, row.on_items ? bytes : a_run.size(), row.on_items ? digest : a_digest,
          [&local, page, r_start, r_over, sep, tag] {
            Variant result;
            local.D1616_body2s(*page, *r_start, *r_over, *sep, *tag, result);
            return result;
          });
    }
  }

  // Cleaners on long texts: the listing page's text (markup, quotes, line breaks, runs of
  // spaces) and a number list.
  for (const Sized& size : std::vector<Sized>{
           {"1MB", 1 * kMiB}, {"2MB", 2 * kMiB}, {"4MB", 4 * kMiB}, {"8MB", 8 * kMiB}}) {
    const std::u16string page = listing_page(size.bytes);
    const std::string digest = text_digest(page);
    auto arg = shared_text(page);
    add("str4null/" + size.label, gb_length(page), digest, [&local, arg] {
      Variant result;
      local.Str4Null(*arg, result);
      return result;
    });
    add("ltxt/" + size.label, gb_length(page), digest, [&local, arg] {
      Variant result;
      local.Ltxt(*arg, result);
      return result;
    });
    if (size.label != "1MB") continue;
    add("staynub/" + size.label, gb_length(page), digest, [&local, arg] {
      Variant result;
      local.StayNub(*arg, result);
      return result;
    });
    const std::u16string list = number_list(size.bytes);
    auto original = shared_text(list);
    auto s_arg = shared_text(list);
    add(
        "fnum/" + size.label, list.size(), text_digest(list),
        [&local, s_arg] {
          Variant result;
          local.FNum(*s_arg, result);
          return result;
        },
        [s_arg, original] { *s_arg = *original; });
  }

  // The scrapers end to end, the page served from memory and then over loopback HTTP.
  const std::u16string news_url = ascii16("http://" + s.site.host()) + std::u16string(kNewsPath);
  for (const std::string label : {"listing_200KB", "listing_2MB", "news", "shopping"}) {
    const std::string gb = gb2312(pages[label]);
    const std::string digest = crc32_hex(gb);
    const std::string target = label == "news" ? to_utf8(kNewsPath) : "/" + label;
    s.site.page(target, gb);
    const std::u16string url =
        label == "news" ? news_url : ascii16("http://" + s.site.host() + target);
    s.memory->serve(url, as_bytes(gb));
    for (const bool over_http : {false, true}) {
      _zaverer& obj = over_http ? remote : local;
      const std::string suffix = over_http ? "_http/" : "/";
      if (label == "news") {
        add("new_index" + suffix + label, gb.size(), digest, [&obj] {
          Variant result;
          obj.D1616_New_index(result);
          return result;
        });
        continue;
      }
      auto url_arg = shared_text(url);
      if (label == "shopping") {
        // A page fetches the navigation page and hands its text to the collection.
        auto ignored = std::make_shared<Variant>(Variant::null());
        auto id = shared_text(u"mall");
        add("gouwu_cj_pic" + suffix + label, gb.size(), digest, [&obj, url_arg, ignored, id] {
          Variant path = *url_arg, page, result;
          obj.Tarvessa_getHTTPPage(path, page);
          obj.D1616_Gouwu_Cj_Pic(page, *ignored, *id, result);
          return result;
        });
        continue;
      }
      auto city = shared_text(u"bj"), cate = shared_text(u"4");
      auto page_no = std::make_shared<Variant>(Variant::integer(1));
      add("tuan_smain" + suffix + label, gb.size(), digest, [&obj, url_arg, city, cate, page_no] {
        Variant result;
        obj.D1616_Tuan_Smain(*url_arg, *city, *cate, *page_no, result);
        return result;
      });
    }
  }
}

JobSet::~JobSet() = default;

}  // namespace pelmo::bench
