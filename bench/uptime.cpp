// Uptime: many calls in one process, as a long-running web server makes them, with the
// process's resident size sampled as it goes. The calls come in pages: an object is created,
// started, called through a fixed mix of methods by name, ended and released. The scrapers
// fetch the benchmarks' generated pages from a loopback site that runs in this process (its
// threads and buffers are part of the resident size).
//
// After a warm-up (the first tenth of the calls: converter tables, JIT code, allocator arenas,
// the site's threads) the resident size should stay flat: "growth" is the resident size after
// the last call less the one after the warm-up's last call.
//
//   pelmo_uptime [--json] [CALLS]     (default 200000; a sample every tenth)
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/demo_site.h"
#include "inputs.h"
#include "loopback_site.h"
#include "pelmo/catalogue.h"
#include "pelmo/error.h"
#include "pelmo/local_page.h"
#include "pelmo/object.h"
#include "pelmo/text.h"

namespace {

using pelmo::text;
using pelmo::Variant;

// The pages the mix fetches, by path: the calls add queries of their own.
pelmo::bench::LoopbackSite::Pages site_pages() {
  return {{"/tuan/list.html", pelmo::bench::gb2312(pelmo::bench::listing_page(16 * 1024))},
          {"/n", pelmo::bench::gb2312(pelmo::bench::news_page())},
          {"/navigate.html", pelmo::bench::gb2312(pelmo::bench::shopping_page())},
          {"/tuan/searchproduct.do",
           "<html><head><script>var siteid = '71234';\r\nvar earnerid = 'ue-5678';</script>"}};
}

struct Call {
  std::string_view method;
  std::vector<Variant> args;
};

std::size_t resident_bytes() {
  std::ifstream statm("/proc/self/statm");
  std::size_t pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

double mib(std::size_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

// One page's calls: five fetch from the loopback site, the rest work on text; the last fails
// on purpose so that the error path runs as often as the others.
std::vector<Call> page_calls(const std::string& here, const Variant& shop_page) {
  const Variant listing = text(pelmo::from_utf8("http://" + here + "/tuan/list.html?city=bj"));
  const Variant navigation = text(pelmo::from_utf8("http://" + here + "/navigate.html"));
  const Variant block =
      text(u"<div id=\"a\">one</div><p>x</p><div id=\"a\">two</div><div id=\"b\">three</div>");
  return {
      {"D1616_Tuan_Smain", {listing, text(u"\"bj\""), text(u"4"), Variant::integer(1)}},
      {"D1616_New_index", {}},
      {"D1616_Tuan_Shezhi",
       {text(pelmo::cli::DemoSite::affiliate_link_text(pelmo::from_utf8(here))), text(u"bj")}},
      {"Tarvessa_getHTTPPage", {navigation}},
      {"Tarvessa_GetBody_s", {listing}},
      {"D1616_Gouwu_Cj_Pic", {shop_page, {}, text(u"mall")}},
      {"D1616_body2s",
       {block, text(u"<div id=\"a\">"), text(u"</div>"), text(u"|"), Variant::integer(1)}},
      {"Bq_x", {text(u"{pelmo:typelist 1, 8, 10, 3|5|7}")}},
      {"D1616_m", {text(u"tuangou3"), text(u"bj"), {}, {}, {}, {}, {}, {}, {}, {}}},
      {"pelmoConstStr", {text(u"2"), {}, text(u"1")}},
      {"Str4Null", {text(u"  It's  a \"test\"\r\n\t")}},
      {"Rm", {Variant::null()}},
  };
}

// Calls by name with copies of the arguments, as a page passes its own variables; true when
// the call succeeded.
bool call(pelmo::_zaverer& object, const Call& row, Variant& result) {
  std::vector<Variant> args = row.args;
  std::vector<Variant*> refs;
  for (Variant& arg : args) refs.push_back(&arg);
  try {
    pelmo::invoke_by_name(object, row.method, refs, result);
    return true;
  } catch (const pelmo::AutomationError&) {
    return false;
  }
}

}  // namespace

int main(int argc, char** argv) {
  bool json = false;
  std::size_t total = 200000;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--json") == 0) {
      json = true;
    } else {
      total = std::strtoul(argv[i], nullptr, 10);
    }
  }
  if (total < 10) {
    std::fprintf(stderr, "usage: pelmo_uptime [--json] [CALLS (at least 10)]\n");
    return 2;
  }
  const std::size_t sample_every = total / 10;

  const pelmo::bench::LoopbackSite site(site_pages(),
                                        {.match = pelmo::bench::LoopbackSiteOptions::Match::path});
  const std::string here = "127.0.0.1:" + std::to_string(site.port());
  setenv("PELMO_AFFILIATE_HOST", here.c_str(), 1);
  setenv("PELMO_SHOPNAV_DOMAIN", ("localhost:" + std::to_string(site.port())).c_str(), 1);
  setenv("PELMO_NEWS_HOST", here.c_str(), 1);
  Variant shop_page;
  {
    auto object = pelmo::create_object("pelmo.zaverer");
    object->OnStartPage(pelmo::host::make_local_page());
    call(*object,
         {"Tarvessa_getHTTPPage", {text(pelmo::from_utf8("http://" + here + "/navigate.html"))}},
         shop_page);
    object->OnEndPage();
  }
  const std::vector<Call> mix = page_calls(here, shop_page);

  std::vector<std::pair<std::size_t, std::size_t>> samples;  // (calls so far, resident bytes)
  std::size_t calls = 0, unexpected = 0;
  const auto started = std::chrono::steady_clock::now();
  while (calls < total) {
    auto object = pelmo::create_object("pelmo.zaverer");
    object->OnStartPage(pelmo::host::make_local_page());
    for (const Call& row : mix) {
      Variant result;
      if (call(*object, row, result) == (row.method == "Rm")) ++unexpected;
      if (++calls % sample_every == 0) samples.emplace_back(calls, resident_bytes());
      if (calls == total) break;
    }
    object->OnEndPage();
  }

  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  const std::size_t warm = samples.front().second, last = samples.back().second;
  const long long growth = static_cast<long long>(last) - static_cast<long long>(warm);
  if (json) {
    std::printf(
        "{\"calls\": %zu, \"unexpected\": %zu, \"rss_after_warmup_bytes\": %zu, "
        "\"rss_last_bytes\": %zu, \"growth_bytes\": %lld, \"seconds\": %.1f}\n",
        calls, unexpected, warm, last, growth, seconds);
  } else {
    std::printf("%zu calls, %zu to a page, in %.1f s (%zu did not answer as expected)\n", calls,
                mix.size(), seconds, unexpected);
    for (const auto& [at, bytes] : samples)
      std::printf("%9zu calls  RSS %8.2f MiB\n", at, mib(bytes));
    std::printf("growth from call %zu to call %zu: %+.2f MiB (%+lld bytes)\n",
                samples.front().first, samples.back().first,
                static_cast<double>(growth) / (1024.0 * 1024.0), growth);
  }
  if (unexpected != 0) std::fprintf(stderr, "%zu calls did not answer as expected\n", unexpected);
  return unexpected == 0 ? 0 : 1;
}
