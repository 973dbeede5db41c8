// A web server calls many objects from many worker threads at once. Each thread here drives
// objects of its own through every method by name (the scrapers against a loopback site), and
// every answer must equal the one the same call gives on a single thread. Under the tsan preset
// this also shows any data race in state the objects share.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/charset_encode.h"
#include "cli/demo_site.h"
#include "pelmo/catalogue.h"
#include "pelmo/error.h"
#include "pelmo/local_page.h"
#include "pelmo/object.h"
#include "pelmo/text.h"

namespace pelmo {
namespace {

struct Call {
  std::string_view method;
  std::vector<Variant> args;
  bool fails = false;  // on one thread already: the error must come back the same every time
};

// What the caller sees after a call: the result, its variables (write-backs) or the error.
struct Outcome {
  Variant result;
  std::vector<Variant> args;
  std::int32_t error = 0;
  std::string description;
  bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
  if (o.error != 0) return out << "error " << o.error << ": " << o.description;
  out << o.result << " args:";
  for (const Variant& arg : o.args) out << " " << arg;
  return out;
}

Outcome run(_zaverer& object, const Call& call) {
  Outcome out;
  out.args = call.args;
  std::vector<Variant*> refs;
  for (Variant& arg : out.args) refs.push_back(&arg);
  try {
    invoke_by_name(object, call.method, refs, out.result);
  } catch (const AutomationError& e) {
    out.error = e.number();
    out.description = e.description();
  }
  return out;
}

std::shared_ptr<_zaverer> started_object() {
  auto object = create_object("pelmo.zaverer");
  object->OnStartPage(host::make_local_page(u"POST"));
  return object;
}

Variant none() { return Variant(); }

class ConcurrentCalls : public ::testing::Test {
 protected:
  // Set before any thread starts and left alone until all have joined: the hosts are read from
  // the environment on every call.
  ConcurrentCalls() {
    setenv("PELMO_AFFILIATE_HOST", here_.c_str(), 1);
    setenv("PELMO_SHOPNAV_DOMAIN", ("localhost:" + std::to_string(site_.port())).c_str(), 1);
    setenv("PELMO_LOTTERY_HOST", here_.c_str(), 1);
    setenv("PELMO_NEWS_HOST", here_.c_str(), 1);
  }
  ~ConcurrentCalls() override {
    for (const char* name : {"PELMO_AFFILIATE_HOST", "PELMO_SHOPNAV_DOMAIN", "PELMO_LOTTERY_HOST",
                             "PELMO_NEWS_HOST"}) {
      unsetenv(name);
    }
  }

  Variant url(std::string_view path) const {
    return text(from_utf8("http://" + here_ + std::string(path)));
  }

  std::vector<Call> calls() const {
    const Variant gb2312_bytes = Variant::bytes([] {
      const std::string raw = cli::encode_text(u"团购列表 <b>今日</b>", "windows-936-2000");
      return Bytes(raw.begin(), raw.end());
    }());
    const Variant page = text(
        u"<html><div id=\"a\">one</div><p>x</p><div id=\"a\">two</div><div id=\"b\">three</div>"
        u"</html>");
    Variant navigation_page;
    {
      auto object = started_object();
      navigation_page = run(*object, {"Tarvessa_getHTTPPage", {url("/navigate.html")}}).result;
    }
    return {
        {"aDir", {text(u"portal"), text(u"js/menu.js")}},
        {"Tarvessa_getHTTPPage_utf2", {url("/n")}},
        {"Tarvessa_GetBody_s", {url("/n")}},
        {"Tarvessa_BytesToBstr", {gb2312_bytes, text(u"gb2312")}},
        {"Tarvessa_BytesToBstr", {gb2312_bytes, text(u"no-such-charset")}, true},
        {"Tarvessa_getHTTPPage", {url("/tuan/list.html")}},
        {"Tarvessa_getHTTPPage", {text(u"ftp://127.0.0.1/")}, true},
        {"Tarvessa_getHTTPPage_new", {url("/navigate.html")}},
        {"Tarvessa_GetBody_s_new", {url("/tuan/searchproduct.do")}},
        {"Tarvessa_BytesToBstr_new", {gb2312_bytes}},
        {"Tarvessa_getHTTPPage_utf", {url("/n")}, true},  // always refused by its stream
        {"Emailis", {text(u"user@host.qq")}},
        {"Emailis", {text(u"us..er@host.qq")}},
        {"FNum", {text(u"1, 2.5,abc,,-3")}},
        {"Bint", {text(u" 3.5 ")}},
        {"StayNub", {text(u"a1b22c333 四5")}},
        {"Lnumbs", {text(u"a\r\nb\nc")}},
        {"Rm", {text(u"<p onclick=\"x\">It's  <b>bold</b></p>\r\n")}},
        {"Rm", {Variant::null()}, true},
        {"isPb", {}},
        {"Ltxt", {text(u"  line one\r\n\tline two  ")}},
        {"Str4Null", {text(u"  It's  a \"test\"\r\n\t")}},
        {"pelmoConstStr", {text(u"2"), none(), text(u"1")}},
        {"pelmoConstStr", {text(u"71"), none(), text(u"1")}},
        {"D1616_m", {text(u"tuangou3"), text(u"bj"), {}, {}, {}, {}, {}, {}, {}, {}}},
        {"D1616_m", {text(u"caipiao"), {}, {}, {}, {}, {}, {}, {}, {}, {}}},
        {"D1616_m",
         {text(u"xingzuo2"), text(u"1"), text(u"default"), text(u"today"), {}, {}, {}, {}, {}, {}}},
        {"D1616_Tuan_ppk_2", {text(u"4")}},
        {"D1616_body2s",
         {page, text(u"<div id=\"a\">"), text(u"</div>"), text(u"|"), Variant::integer(1)}},
        {"D1616_GetContent", {page, text(u"<div"), text(u"</div>"), Variant::integer(2)}},
        {"D1616_Tuan_Smain",
         {url("/tuan/list.html?city=bj&page=1"), text(u"\"bj\""), text(u"4"), Variant::integer(1)}},
        {"D1616_Tuan_Shezhi",
         {text(cli::DemoSite::affiliate_link_text(from_utf8(here_))), text(u"bj")}},
        {"D1616_New_index", {}},
        {"D1616_Gouwu_Cj_Pic", {navigation_page, none(), text(u"mall")}},
        {"D1616_Gouwu_Cj_Txt", {navigation_page, none(), text(u"mall")}},
        {"Bq_x", {text(u"{pelmo:typelist 1, 8, 10, 3|5|7}")}},
        {"Bq_x", {text(u"{pelmo:typelist 1, 8, x, 3}")}, true},
    };
  }

  cli::DemoSite site_;
  std::string here_ = "127.0.0.1:" + std::to_string(site_.port());
};

TEST_F(ConcurrentCalls, EveryMethodAnswersOnManyThreadsAsOnOne) {
  const std::vector<Call> table = calls();
  std::set<std::string_view> covered;
  for (const Call& call : table) {
    const MethodEntry* entry = find_method(call.method);
    ASSERT_NE(entry, nullptr) << call.method;
    covered.insert(entry->name);
  }
  for (const MethodEntry& entry : catalogue()) {
    EXPECT_TRUE(entry.is_page_hook() || covered.count(entry.name) == 1)
        << entry.name << " has no call in the table";
  }

  std::vector<Outcome> expected;
  {
    auto object = started_object();
    for (const Call& call : table) {
      expected.push_back(run(*object, call));
      EXPECT_EQ(expected.back().error != 0, call.fails) << call.method << ": " << expected.back();
    }
    object->OnEndPage();
  }

  // Each thread starts at another row, so different methods overlap in time; each round is a
  // page's life: a new object, started, called, ended and released.
  constexpr int kThreads = 4;
  constexpr int kRounds = 8;
  std::vector<std::string> mismatches(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::ostringstream report;
      for (int round = 0; round < kRounds; ++round) {
        auto object = started_object();
        for (std::size_t i = 0; i < table.size(); ++i) {
          const std::size_t row = (i + static_cast<std::size_t>(t) * table.size() / kThreads +
                                   static_cast<std::size_t>(round)) %
                                  table.size();
          const Outcome got = run(*object, table[row]);
          if (!(got == expected[row])) {
            report << "thread " << t << " round " << round << " " << table[row].method << ": got "
                   << got << "\n  want " << expected[row] << "\n";
          }
        }
        object->OnEndPage();
      }
      mismatches[static_cast<std::size_t>(t)] = report.str();
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const std::string& mismatch : mismatches) EXPECT_EQ(mismatch, "");
}

}  // namespace
}  // namespace pelmo
