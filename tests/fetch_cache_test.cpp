#include "fetch/fetch_cache.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "config/fetch_address_setting.h"
#include "config/setting_catalogue.h"
#include "pelmo/error.h"
#include "pelmo/object.h"
#include "pelmo/text.h"
#include "support/allocation_limit.h"
#include "support/loopback_server.h"
#include "support/memory_platform.h"

namespace pelmo::fetch {
namespace {

using namespace std::chrono_literals;
using testing::expect_automation_error;

TEST(FetchCacheSettings, OnlyWholeNumbersWithinTheirBoundsAreTaken) {
  const struct {
    std::u16string_view text;
    std::optional<std::int64_t> value;
  } cases[] = {{u"0", 0},       {u"60", 60},   {u" 7\t", 7},    {u"007", 7},
               {u"1000", 1000}, {u"1001", {}}, {u"-1", {}},     {u"+5", {}},
               {u"1.5", {}},    {u"1e3", {}},  {u"", {}},       {u"  ", {}},
               {u"ten", {}},    {u"5 5", {}},  {u"\uFF15", {}}, {u"99999999999999999999", {}}};
  for (const auto& c : cases) {
    EXPECT_EQ(parse_bounded_count(c.text, 1000), c.value)
        << std::string(c.text.begin(), c.text.end());
  }

  // The other kinds of catalogue row: a bounded number above zero, and a choice.
  const SettingRow level{"g", "L", u"L", SettingType::whole_number, "", "2", 1, 3, "", ""};
  const SettingRow mode{"g", "M", u"M", SettingType::choice, "", "deny", 0, 0, "allow|deny", ""};
  EXPECT_EQ(accepted_value(level, u" 03"), u"3");
  EXPECT_EQ(accepted_value(level, u"0"), std::nullopt);
  EXPECT_EQ(accepted_value(mode, u" Allow\t"), u"allow");
  EXPECT_EQ(accepted_value(mode, u"allowed"), std::nullopt);
  EXPECT_EQ(expected_value(mode), "one of allow/deny");

  // Bad values leave the defaults and say so; the cache stays off.
  setenv("PELMO_FETCH_CACHE_SECONDS", "-30", 1);
  setenv("PELMO_FETCH_STALE_SECONDS", "600", 1);
  setenv("PELMO_FETCH_CACHE_MB", "99999999", 1);
  const FetchCacheSettings read = fetch_cache_settings();
  unsetenv("PELMO_FETCH_CACHE_SECONDS");
  unsetenv("PELMO_FETCH_STALE_SECONDS");
  unsetenv("PELMO_FETCH_CACHE_MB");
  EXPECT_EQ(read.fresh_seconds, 0);
  EXPECT_EQ(read.stale_seconds, 600);
  EXPECT_EQ(read.megabytes, 64);
  EXPECT_NE(read.ignored.find("PELMO_FETCH_CACHE_SECONDS"), std::string::npos) << read.ignored;
  EXPECT_NE(read.ignored.find("PELMO_FETCH_CACHE_MB"), std::string::npos) << read.ignored;
  EXPECT_EQ(read.ignored.find("STALE"), std::string::npos) << read.ignored;
  EXPECT_EQ(read.ignored,
            "PELMO_FETCH_CACHE_SECONDS (or the stored value FetchCacheSeconds): \"-30\" is not a "
            "whole number from 0 to 31536000; ignored, 0 used\nPELMO_FETCH_CACHE_MB (or the stored "
            "value FetchCacheMegabytes): \"99999999\" is not a whole number from 0 to " +
                std::to_string(kMaxFetchCacheMegabytes) + "; ignored, 64 used\n");
  EXPECT_TRUE(fetch_cache_settings().ignored.empty());
}

TEST(FetchPrivateAddressesSetting, AllowOrDenyInAnyCaseAnythingElseIgnored) {
  const struct {
    const char* value;  // nullptr: unset
    bool deny;
    bool ignored;
  } cases[] = {{nullptr, false, false}, {"", false, false},       {"allow", false, false},
               {"deny", true, false},   {" DENY\t", true, false}, {"Allow", false, false},
               {"denied", false, true}, {"no", false, true},      {"deny deny", false, true}};
  for (const auto& c : cases) {
    if (c.value != nullptr) setenv(kFetchPrivateAddressesVariable, c.value, 1);
    const FetchPrivateAddresses read = fetch_private_addresses();
    unsetenv(kFetchPrivateAddressesVariable);
    const char* label = c.value != nullptr ? c.value : "(unset)";
    EXPECT_EQ(read.deny, c.deny) << label;
    EXPECT_EQ(read.ignored.empty(), !c.ignored) << label;
    if (c.ignored) {
      EXPECT_NE(read.ignored.find("is not one of allow/deny; ignored, allow used"),
                std::string::npos)
          << label;
    }
  }
}

// Spins until `done` holds or a bound passes, so a fault fails the test instead of hanging it.
template <typename Done>
void await(Done done) {
  const auto give_up = std::chrono::steady_clock::now() + 10s;
  while (!done() && std::chrono::steady_clock::now() < give_up) std::this_thread::sleep_for(1ms);
}

Bytes bytes_of(const std::string& text) { return Bytes(text.begin(), text.end()); }

// A cache on a clock the test moves and settings it changes, fetching from a script.
class FetchCacheTest : public ::testing::Test {
 protected:
  static constexpr int kFails = -1;  // the status of an answer that throws instead
  static constexpr std::uint64_t kPlatform = 1;

  FetchCache cache{[this] { return settings; },
                   [this] { return std::chrono::steady_clock::time_point(now.load()); }, 2s};
  FetchCacheSettings settings{
      .fresh_seconds = 60, .stale_seconds = 30, .megabytes = 1, .ignored = {}};
  std::atomic<std::chrono::steady_clock::duration> now{std::chrono::hours(1)};
  std::atomic<int> requests{0};

  // The body the cache gives for `url` when a request would answer `status`; the n-th request
  // answers the body "rn".
  std::string get(const std::u16string& url, int status) {
    const Bytes body = cache.get(kPlatform, url, [&](bool with_status) {
      EXPECT_EQ(with_status, settings.fresh_seconds > 0);  // the cache off reads no status
      const int n = ++requests;
      // Long enough that a copy of the error allocates.
      if (status == kFails) throw AutomationError(err::kHttpBase + 7, "connection refused here");
      return FetchedPage{status, bytes_of("r" + std::to_string(n))};
    });
    return std::string(body.begin(), body.end());
  }
};

TEST_F(FetchCacheTest, KeepsSuccessfulBodiesForTheCacheTimeAndStandsInWithStaleOnes) {
  const struct {
    const char* what;
    std::int64_t cache_seconds;
    std::chrono::seconds advance;
    const char* url;
    int status;          // what a request would answer
    const char* expect;  // the body given, or nullptr for the refused error
    int requests;        // requests made so far
  } steps[] = {
      {"first call asks", 60, 0s, "http://a/", 200, "r1", 1},
      {"within the cache time", 60, 59s, "http://a/", 500, "r1", 1},
      {"the key is the exact text", 60, 0s, "http://A/", 500, "r2", 2},
      {"expired: asks again", 60, 2s, "http://a/", 201, "r3", 3},
      {"refresh refused: the stale copy", 60, 61s, "http://a/", kFails, "r3", 4},
      {"the site is rested for the retry interval", 60, 4s, "http://a/", 200, "r3", 4},
      {"after it, refresh answers 503: the stale copy", 60, 20s, "http://a/", 503, "r3", 5},
      {"a 5xx answer rests the site too", 60, 4s, "http://a/", 200, "r3", 5},
      {"past the stale time: fails as without a cache", 60, 3s, "http://a/", kFails, nullptr, 6},
      {"and a 500 body is given as is", 60, 0s, "http://a/", 500, "r7", 7},
      {"the 500 answer was not kept", 60, 0s, "http://a/", 200, "r8", 8},
      {"a 404 answer drops the expired copy", 60, 61s, "http://a/", 404, "r9", 9},
      {"so a refused refresh fails", 60, 0s, "http://a/", kFails, nullptr, 10},
      {"the 404 answer was not kept", 60, 0s, "http://a/", 404, "r11", 11},
      {"kept again", 60, 0s, "http://a/", 200, "r12", 12},
      {"switched off: asks every time", 0, 0s, "http://a/", 200, "r13", 13},
      {"and keeps nothing", 0, 0s, "http://a/", 200, "r14", 14},
      {"switched on again: the old copy was dropped", 60, 0s, "http://a/", 200, "r15", 15},
      {"then reuses", 60, 0s, "http://a/", 200, "r15", 15},
  };
  for (const auto& step : steps) {
    now = now.load() + step.advance;
    settings.fresh_seconds = step.cache_seconds;
    const std::u16string url = testing::ascii16(step.url);
    if (step.expect == nullptr) {
      EXPECT_EQ(expect_automation_error([&] { get(url, step.status); }).number(),
                err::kHttpBase + 7)
          << step.what;
    } else {
      EXPECT_EQ(get(url, step.status), step.expect) << step.what;
    }
    EXPECT_EQ(requests, step.requests) << step.what;
  }
}

TEST_F(FetchCacheTest, TheSizeBoundEvictsTheLeastRecentlyUsedCopies) {
  const Bytes body(400 * 1024, 'x');  // two fit in the megabyte with their bookkeeping, not three
  const auto fetch = [&](bool) {
    ++requests;
    return FetchedPage{200, body};
  };
  const struct {
    const char* url;
    int requests;
  } steps[] = {{"http://a/", 1}, {"http://b/", 2}, {"http://a/", 2}, {"http://c/", 3},
               {"http://a/", 3}, {"http://b/", 4}, {"http://a/", 4}, {"http://c/", 5}};
  for (const auto& step : steps) {
    EXPECT_EQ(cache.get(kPlatform, testing::ascii16(step.url), fetch), body) << step.url;
    EXPECT_EQ(requests, step.requests) << step.url;
    EXPECT_LE(cache.bytes_held(), std::size_t{1} << 20) << step.url;
  }
  EXPECT_EQ(cache.copies_held(), 2u);
  EXPECT_GT(cache.bytes_held(), 2 * body.size() + 2 * 10 * sizeof(char16_t));

  // A body larger than the whole size is given, not kept; a lowered size evicts at once.
  const Bytes huge((std::size_t{1} << 20) + 1, 'y');
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(cache.get(kPlatform, u"http://huge/",
                        [&](bool) {
                          ++requests;
                          return FetchedPage{200, huge};
                        }),
              huge);
  }
  EXPECT_EQ(requests, 7);
  settings.megabytes = 0;
  EXPECT_EQ(get(u"http://d/", 200), "r8");
  EXPECT_EQ(cache.copies_held(), 0u);
  EXPECT_EQ(cache.bytes_held(), 0u);
}

TEST_F(FetchCacheTest, ConcurrentCallersShareOneRequestAndItsFailure) {
  for (const bool fails : {false, true}) {
    requests = 0;
    cache.clear();
    std::vector<std::string> outcomes(8);
    std::vector<std::thread> callers;
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
      callers.emplace_back([&, i] {
        try {
          const Bytes body = cache.get(kPlatform, u"http://one/", [&](bool) {
            ++requests;
            await([&] { return cache.callers_waiting() == 7; });
            if (fails) throw AutomationError(err::kHttpBase + 7, "refused");
            return FetchedPage{200, Bytes{'o', 'k'}};
          });
          outcomes[i] = std::string(body.begin(), body.end());
        } catch (const AutomationError& e) {
          outcomes[i] = e.description();
        }
      });
    }
    for (std::thread& caller : callers) caller.join();
    EXPECT_EQ(requests, 1) << fails;
    for (const std::string& outcome : outcomes) EXPECT_EQ(outcome, fails ? "refused" : "ok");
    // The address is not left in flight: after a failure the next call asks again.
    EXPECT_EQ(get(u"http://one/", 200), fails ? "r2" : "ok");
  }
}

TEST_F(FetchCacheTest, WaitersGiveUpAfterTheWaitLimit) {
  FetchCache quick([this] { return settings; }, std::chrono::steady_clock::now, 50ms);
  std::atomic<bool> started{false}, released{false};
  std::thread leader([&] {
    quick.get(kPlatform, u"http://slow/", [&](bool) {
      started = true;
      await([&] { return released.load(); });
      return FetchedPage{200, {}};
    });
  });
  await([&] { return started.load(); });
  const AutomationError e = expect_automation_error([&] {
    quick.get(kPlatform, u"http://slow/",
              [&](bool) -> FetchedPage { throw std::logic_error("a second request"); });
  });
  released = true;
  leader.join();
  EXPECT_EQ(e.number(), err::kHttpBase + 28);
}

TEST_F(FetchCacheTest, RunningOutOfMemoryAnywhereInAFetchLeavesTheAddressWorking) {
  if (!testing::AllocationLimit::kAvailable) GTEST_SKIP() << "operator new cannot be replaced";
  const std::u16string url = u"http://oom/";
  const struct {
    const char* what;
    bool stale_copy;     // an expired copy within its stale time is held
    int status;          // what the request answers
    const char* expect;  // the body given when memory suffices, or "refused"
  } cases[] = {
      {"a first request", false, 200, "r1"},
      {"a first request that fails", false, kFails, "refused"},
      {"a refresh that fails, the stale copy standing in", true, kFails, "r1"},
  };
  for (const auto& c : cases) {
    int out_of_memory = 0;
    bool refused = true;
    for (long allowed = 0; refused && allowed < 1000; ++allowed) {
      cache.clear();
      requests = 0;
      if (c.stale_copy) {
        get(url, 200);
        now = now.load() + 61s;
      }
      std::string got;  // short enough to need no allocation of its own
      {
        const testing::AllocationLimit limit(allowed);
        try {
          got = get(url, c.status);
        } catch (const AutomationError& e) {
          got = e.number() == err::kHttpBase + 7 ? "refused" : "another error";
        } catch (const std::bad_alloc&) {
          got = "out of memory";
          ++out_of_memory;
        }
        refused = limit.refused();
      }
      EXPECT_TRUE(got == c.expect || got == "out of memory") << c.what << ", " << allowed;
      // Nothing is left in flight or half kept: the next call, from a thread that leads no
      // request, asks the site.
      now = now.load() + 1h;
      const std::string next = "r" + std::to_string(requests + 1);
      EXPECT_EQ(std::async(std::launch::async, [&] { return get(url, 200); }).get(), next)
          << c.what << ", " << allowed << " allocations";
    }
    EXPECT_GT(out_of_memory, 0) << c.what;
    EXPECT_FALSE(refused) << c.what;
  }
}

TEST_F(FetchCacheTest, ACallMadeWhileItsThreadsOwnRequestIsInFlightNeverWaits) {
  // As when a client runs the thread's messages while it waits and the page calls in again:
  // waiting would wait for itself, or for a thread that may be waiting for this one. Each such
  // call makes a request of its own (a wait would fail the outer call after 2 s).
  std::atomic<bool> release{false};
  auto other = std::async(std::launch::async, [&] {  // another thread fetching http://b/
    return cache.get(kPlatform, u"http://b/", [&](bool) {
      ++requests;
      await([&] { return release.load(); });
      return FetchedPage{200, {}};
    });
  });
  await([&] { return requests == 1; });
  std::string same_address, other_threads_address;
  cache.get(kPlatform, u"http://a/", [&](bool) {
    ++requests;
    same_address = get(u"http://a/", 200);
    other_threads_address = get(u"http://b/", 200);
    return FetchedPage{200, {}};
  });
  release = true;
  EXPECT_EQ(same_address, "r3");
  EXPECT_EQ(other_threads_address, "r4");
}

// While one call refreshes an expired copy from a site that hangs, the others are given the
// stale copy at once and send nothing.
TEST_F(FetchCacheTest, AStaleCopyShieldsTheCallersOfAHangingSite) {
  EXPECT_EQ(get(u"http://a/", 200), "r1");
  now = now.load() + 61s;
  std::atomic<bool> release{false};
  auto refreshing = std::async(std::launch::async, [&] {
    return cache.get(kPlatform, u"http://a/", [&](bool) {
      ++requests;
      await([&] { return release.load(); });
      return FetchedPage{200, bytes_of("refreshed")};
    });
  });
  await([&] { return requests == 2; });
  for (int i = 0; i < 3; ++i) EXPECT_EQ(get(u"http://a/", 200), "r1") << i;
  EXPECT_EQ(requests, 2);
  release = true;
  EXPECT_EQ(refreshing.get(), bytes_of("refreshed"));
}

TEST(FetchCacheOfTheProcess, CopiesStayWithThePlatformWhoseClientFetchedThem) {
  setenv("PELMO_FETCH_CACHE_SECONDS", "60", 1);
  const std::u16string url = u"http://platforms.example/";
  const auto first = std::make_shared<testing::MemoryPlatform>();
  const auto second = std::make_shared<testing::MemoryPlatform>();
  first->serve(url, bytes_of("first"));
  second->serve(url, bytes_of("second"));
  for (int round = 0; round < 2; ++round) {
    for (const auto& [platform, body] : {std::pair{first, "first"}, std::pair{second, "second"}}) {
      Variant address = text(url), result;
      create_object("pelmo.zaverer", platform)->Tarvessa_GetBody_s(address, result);
      EXPECT_EQ(result, Variant::bytes(bytes_of(body))) << round;
    }
  }
  unsetenv("PELMO_FETCH_CACHE_SECONDS");
  fetch_cache().clear();
  // Each platform's client was asked once; the second round came from the copies.
  EXPECT_EQ(first->fetches(), 1);
  EXPECT_EQ(second->fetches(), 1);
}

}  // namespace
}  // namespace pelmo::fetch
