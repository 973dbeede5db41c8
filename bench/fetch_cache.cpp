// The fetch cache at work on a portal's home page: D1616_New_index, D1616_Tuan_Smain and
// Tarvessa_getHTTPPage of a shopping page, called in sequence on a fresh object per view, as a
// page does, against a loopback outside site whose every answer takes 200 ms. Each phase reports
// the wall time per view (median and 99th percentile: the views wait on the network, so CPU
// time would not show what a visitor waits for) and the requests the site received.
//
//   pelmo_fetch_cache [--views N]     (default 200; the cache-off phase takes N x 0.6 s)
//
// Phases: the cache off and on (60 s), one view at a time and 8 at once on 8 threads; then the
// site stopped, with a 1 s cache time and a 2 s stale time: views within the stale time, after
// it, and with the cache off.
#include "fetch/fetch_cache.h"

#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "inputs.h"
#include "jobs.h"
#include "loopback_site.h"
#include "pelmo/error.h"
#include "pelmo/local_page.h"
#include "pelmo/object.h"
#include "pelmo/text.h"

namespace {

using Clock = std::chrono::steady_clock;
using pelmo::Variant;

constexpr const char* kNewsPath = "/n?cmd=4&class=rolling&pn=1&from=tab&sub=0";
constexpr auto kAnswerDelay = std::chrono::milliseconds(200);

// The outside site's pages; it holds back every answer by kAnswerDelay and counts requests.
pelmo::bench::LoopbackSite::Pages home_page_sources() {
  return {{kNewsPath, pelmo::bench::gb2312(pelmo::bench::news_page())},
          {"/listing", pelmo::bench::gb2312(pelmo::bench::listing_page(200 * pelmo::bench::kKiB))},
          {"/shopping", pelmo::bench::gb2312(pelmo::bench::shopping_page())}};
}
const pelmo::bench::LoopbackSiteOptions kSlowSite{.delay = kAnswerDelay};

double thread_cpu_ms() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

struct View {
  double ms = 0;
  double cpu_ms = 0;    // of the calling thread: the view's own work, however loaded the machine
  std::string outcome;  // "ok" or the first error's number
  std::string digest;   // of the three results, to show the cache gives the same answers
};

View home_page_view(const std::string& host) {
  View view;
  const auto start = Clock::now();
  const double cpu_start = thread_cpu_ms();
  try {
    auto object = pelmo::create_object("pelmo.zaverer");
    object->OnStartPage(pelmo::host::make_local_page());
    Variant news, listing, shopping;
    object->D1616_New_index(news);
    Variant url = pelmo::text(pelmo::from_utf8("http://" + host + "/listing"));
    Variant city = pelmo::text(u"bj"), cate = pelmo::text(u"4"), page = Variant::integer(1);
    object->D1616_Tuan_Smain(url, city, cate, page, listing);
    Variant path = pelmo::text(pelmo::from_utf8("http://" + host + "/shopping"));
    object->Tarvessa_getHTTPPage(path, shopping);
    object->OnEndPage();
    view.outcome = "ok";
    view.digest = pelmo::bench::crc32_hex(pelmo::bench::result_text_utf8(news) + "\n" +
                                          pelmo::bench::result_text_utf8(listing) + "\n" +
                                          pelmo::bench::result_text_utf8(shopping));
  } catch (const pelmo::AutomationError& e) {
    view.outcome = "error " + std::to_string(e.number());
  }
  view.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  view.cpu_ms = thread_cpu_ms() - cpu_start;
  return view;
}

// `views` views, `threads` of them at a time.
std::vector<View> run_views(const std::string& host, int views, int threads) {
  std::vector<View> results(static_cast<std::size_t>(views));
  std::atomic<int> next{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&] {
      for (int i; (i = next++) < views;)
        results[static_cast<std::size_t>(i)] = home_page_view(host);
    });
  }
  for (std::thread& worker : workers) worker.join();
  return results;
}

double percentile(std::vector<double> ms, double p) {
  if (ms.empty()) return 0;
  std::sort(ms.begin(), ms.end());
  const auto rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(ms.size())));
  return ms[std::max<std::size_t>(rank, 1) - 1];
}

struct Row {
  std::string phase;
  int views = 0;
  double median = 0, p99 = 0, first = 0, cpu_median = 0;
  int requests = 0;
  std::string outcomes;
  std::string digests;
};

Row summarise(std::string phase, const std::vector<View>& views, int requests) {
  Row row;
  row.phase = std::move(phase);
  row.views = static_cast<int>(views.size());
  std::vector<double> ms, cpu;
  std::map<std::string, int> outcomes, digests;
  for (const View& v : views) {
    ms.push_back(v.ms);
    cpu.push_back(v.cpu_ms);
    ++outcomes[v.outcome];
    if (!v.digest.empty()) ++digests[v.digest];
  }
  row.first = views.empty() ? 0 : views.front().ms;
  // After the first view, which pays for the requests that fill the cache.
  if (ms.size() > 1) {
    ms.erase(ms.begin());
    cpu.erase(cpu.begin());
  }
  row.cpu_median = percentile(cpu, 0.5);
  row.median = percentile(ms, 0.5);
  row.p99 = percentile(ms, 0.99);
  row.requests = requests;
  for (const auto& [outcome, count] : outcomes) {
    row.outcomes += (row.outcomes.empty() ? "" : ", ") + std::to_string(count) + " " + outcome;
  }
  for (const auto& [digest, count] : digests) {
    row.digests += (row.digests.empty() ? "" : " ") + digest;
  }
  return row;
}

void set_cache(int fresh_seconds, int stale_seconds) {
  setenv("PELMO_FETCH_CACHE_SECONDS", std::to_string(fresh_seconds).c_str(), 1);
  setenv("PELMO_FETCH_STALE_SECONDS", std::to_string(stale_seconds).c_str(), 1);
  pelmo::fetch::fetch_cache().clear();
}

}  // namespace

int main(int argc, char** argv) {
  int views = 200;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--views") == 0 && i + 1 < argc) {
      views = std::max(8, std::atoi(argv[++i]));
    } else {
      std::fprintf(stderr, "usage: pelmo_fetch_cache [--views N]\n");
      return 2;
    }
  }

  std::vector<Row> rows;
  {
    pelmo::bench::LoopbackSite site(home_page_sources(), kSlowSite);
    setenv("PELMO_NEWS_HOST", site.host().c_str(), 1);
    for (const int threads : {1, 8}) {
      for (const int cache_seconds : {0, 60}) {
        set_cache(cache_seconds, 0);
        const int before = site.requests();
        const std::vector<View> done = run_views(site.host(), views, threads);
        rows.push_back(summarise(std::string(cache_seconds == 0 ? "cache off" : "cache 60 s") +
                                     ", " + std::to_string(threads) + " at once",
                                 done, site.requests() - before));
      }
    }
  }
  {
    // The site goes away after the cache was filled: 1 s cache time, 2 s stale time.
    pelmo::bench::LoopbackSite site(home_page_sources(), kSlowSite);
    setenv("PELMO_NEWS_HOST", site.host().c_str(), 1);
    set_cache(1, 2);
    const std::vector<View> warm = run_views(site.host(), 1, 1);
    rows.push_back(summarise("site up, cache 1 s, stale 2 s: filling view", warm, site.requests()));
    site.stop();
    const auto filled = Clock::now();
    std::this_thread::sleep_until(filled + std::chrono::milliseconds(1100));
    const int stale_views = std::min(views, 20);
    rows.push_back(summarise("site stopped, copies expired, within the stale time",
                             run_views(site.host(), stale_views, 1), 0));
    std::this_thread::sleep_until(filled + std::chrono::milliseconds(3200));
    rows.push_back(
        summarise("site stopped, past the stale time", run_views(site.host(), stale_views, 1), 0));
    set_cache(0, 0);
    rows.push_back(summarise("site stopped, cache off", run_views(site.host(), stale_views, 1), 0));
  }
  unsetenv("PELMO_FETCH_CACHE_SECONDS");
  unsetenv("PELMO_FETCH_STALE_SECONDS");

  std::printf(
      "| Phase | Views | First view (ms) | Median after it (ms) | p99 after it (ms) | CPU median "
      "(ms) | Requests received | Outcomes | Result digests "
      "|\n|---|--:|--:|--:|--:|--:|--:|---|---|"
      "\n");
  for (const Row& row : rows) {
    std::printf("| %s | %d | %.1f | %.2f | %.2f | %.2f | %d | %s | %s |\n", row.phase.c_str(),
                row.views, row.first, row.median, row.p99, row.cpu_median, row.requests,
                row.outcomes.c_str(), row.digests.c_str());
  }
  return 0;
}
