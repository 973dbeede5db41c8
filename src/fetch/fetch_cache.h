// The process's cache of fetched bodies, in front of the HTTP client: off unless an operator
// sets a cache time. While on, a body answered with a 2xx status is reused for that time, one
// request per address is in flight at a time (other callers wait for it and share its answer or
// its failure, or are given a stale copy at once), and when a refresh fails a copy within the
// stale time is served instead, without asking the site again for a short retry interval. Copies
// are kept per platform, since each platform brings its own HTTP client. It keeps bytes only, so
// every method decodes and extracts a cached body exactly as a fresh one.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>

#include "config/fetch_cache_settings.h"
#include "pelmo/variant.h"
#include "util/sync.h"

namespace pelmo::fetch {

// What one request brought back: the final status and the body, whatever the status.
struct FetchedPage {
  int status = 0;
  Bytes body;
};

class FetchCache {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  using SettingsReader = std::function<FetchCacheSettings()>;
  // Makes the request; the status is read only when `with_status` (the cache off needs none).
  using Fetch = std::function<FetchedPage(bool with_status)>;

  // Callers waiting for a request already in flight give up after the HTTP clients' own limit
  // on a whole transfer.
  static constexpr std::chrono::milliseconds kDefaultWaitLimit{60'000};
  // After a refresh failed and a stale copy stood in, the copy is served this long before the
  // site is asked again, so a failing or hanging site is not sent a request per call.
  static constexpr std::chrono::seconds kStaleRetryInterval{5};

  // The settings are read at every call, so a changed value takes effect at once.
  FetchCache(SettingsReader settings, Clock clock,
             std::chrono::milliseconds wait_limit = kDefaultWaitLimit);
  FetchCache(const FetchCache&) = delete;
  FetchCache& operator=(const FetchCache&) = delete;

  // The body for the address (its exact text), from a copy kept for the same platform (the
  // identity of what makes the HTTP clients) or from `fetch`, which throws on a failed
  // transfer. With the cache off, `fetch` runs every time and nothing is kept. `served_stale`,
  // when given, is set when a refresh failed and a kept copy stood in for the answer.
  Bytes get(std::uint64_t platform, const std::u16string& url, const Fetch& fetch,
            bool* served_stale = nullptr);

  // Bytes charged for the kept copies: bodies, keys and bookkeeping.
  std::size_t bytes_held() const;
  std::size_t copies_held() const;
  // Callers now waiting for a request another caller made.
  std::size_t callers_waiting() const;
  void clear();

 private:
  using TimePoint = std::chrono::steady_clock::time_point;
  struct Key {
    std::uint64_t platform = 0;
    std::u16string url;
    bool operator==(const Key&) const = default;
  };
  struct KeyHash {
    std::size_t operator()(const Key& key) const noexcept;
  };
  struct Copy {
    std::shared_ptr<const Bytes> body;
    TimePoint expires;
    TimePoint retry_after;  // while a failed refresh's retry interval runs
    std::size_t charge = 0;
    std::list<const Key*>::iterator recency;
  };
  // A request in flight. Its outcome is written once, under the lock, before `landed`; every
  // caller throws a copy of its own of an automation error in `failure`.
  struct Flight {
    util::ThreadId leader = util::this_thread_id();
    bool landed = false;
    std::shared_ptr<const Bytes> body;
    std::exception_ptr failure;
  };
  class Landing;

  std::shared_ptr<const Bytes> lookup_or_fetch(const Key& key, const Fetch& fetch,
                                               const FetchCacheSettings& settings,
                                               bool* served_stale);
  std::shared_ptr<const Bytes> await_flight(std::unique_lock<util::Mutex> lock, const Key& key,
                                            std::shared_ptr<Flight> flight);
  std::shared_ptr<const Bytes> refresh(const Key& key, const Fetch& fetch,
                                       const FetchCacheSettings& settings, bool* served_stale);
  static std::size_t charge_for(const Key& key, const Bytes& body);
  // The helpers below run with mutex_ held.
  bool leads_a_flight(util::ThreadId thread) const;
  void store(const Key& key, std::shared_ptr<const Bytes> body, TimePoint expires,
             std::size_t capacity);
  void erase(const Key& key);
  void evict_to(std::size_t limit);

  SettingsReader settings_;
  Clock clock_;
  std::chrono::milliseconds wait_limit_;

  mutable util::Mutex mutex_;
  util::ConditionVariable landed_;
  std::unordered_map<Key, Copy, KeyHash> copies_;
  std::list<const Key*> recency_;  // keys of copies_, most recently used first
  std::unordered_map<Key, std::shared_ptr<Flight>, KeyHash> flights_;
  std::size_t bytes_ = 0;
  std::size_t waiting_ = 0;
  // Lets a cache that was switched off drop its copies without taking the lock on every call.
  std::atomic<bool> holds_copies_{false};
};

// The one cache of the process, on the operator's settings and the steady clock.
FetchCache& fetch_cache();

}  // namespace pelmo::fetch
