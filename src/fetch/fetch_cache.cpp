#include "fetch/fetch_cache.h"

#include <algorithm>
#include <utility>

#include "pelmo/error.h"
#include "pelmo/text.h"

namespace pelmo::fetch {

namespace {

using Seconds = std::chrono::seconds;

bool is_success(int status) { return status >= 200 && status < 300; }

[[noreturn]] void throw_wait_timeout(const std::u16string& url, std::chrono::milliseconds limit) {
  // The number a timed-out transfer of the network client carries.
  throw AutomationError(err::kHttpBase + 28, "HTTP request failed: gave up after " +
                                                 std::to_string(limit.count()) +
                                                 " ms waiting for the same address already "
                                                 "being fetched (URL: " +
                                                 to_utf8(url) + ")");
}

// Every caller of a flight, its leader too, throws an automation error of its own: the object in
// the flight is only read, and goes with the flight. Without memory for the copy the caller
// fails as out of memory.
[[noreturn]] void throw_own_copy(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const AutomationError& e) {
    throw AutomationError(e.number(), e.description());
  }
}

}  // namespace

// Ends a flight however its request ended: records the outcome, frees the address for the next
// request and wakes the waiters. Nothing here allocates, so a flight cannot be left open.
class FetchCache::Landing {
 public:
  Landing(FetchCache& cache, const Key& key, Flight& flight,
          const std::shared_ptr<const Bytes>& body, const std::exception_ptr& failure)
      : cache_(cache), key_(key), flight_(flight), body_(body), failure_(failure) {}
  Landing(const Landing&) = delete;
  Landing& operator=(const Landing&) = delete;
  ~Landing() {
    {
      std::lock_guard<util::Mutex> lock(cache_.mutex_);
      flight_.body = body_;
      flight_.failure = failure_;
      flight_.landed = true;
      cache_.flights_.erase(key_);
    }
    cache_.landed_.notify_all();
  }

 private:
  FetchCache& cache_;
  const Key& key_;
  Flight& flight_;
  const std::shared_ptr<const Bytes>& body_;
  const std::exception_ptr& failure_;
};

std::size_t FetchCache::KeyHash::operator()(const Key& key) const noexcept {
  return std::hash<std::u16string>{}(key.url) ^
         static_cast<std::size_t>(key.platform * 0x9E3779B97F4A7C15u);
}

std::size_t FetchCache::charge_for(const Key& key, const Bytes& body) {
  // Besides the body and the key's text: the table's node (entry, next link, cached hash) and
  // its bucket, the recency list's node (two links and the key pointer), and the shared body's
  // control block and vector.
  constexpr std::size_t kBookkeeping = sizeof(decltype(copies_)::value_type) + 3 * sizeof(void*) +
                                       3 * sizeof(void*) + 2 * sizeof(long) + sizeof(Bytes);
  return body.capacity() + (key.url.size() + 1) * sizeof(char16_t) + kBookkeeping;
}

FetchCache::FetchCache(SettingsReader settings, Clock clock, std::chrono::milliseconds wait_limit)
    : settings_(std::move(settings)), clock_(std::move(clock)), wait_limit_(wait_limit) {}

Bytes FetchCache::get(std::uint64_t platform, const std::u16string& url, const Fetch& fetch,
                      bool* served_stale) {
  const FetchCacheSettings settings = settings_();
  if (settings.fresh_seconds <= 0) {
    if (holds_copies_.load(std::memory_order_relaxed)) clear();
    return fetch(false).body;
  }
  // The copy is made outside the lock; the shared body stays valid even if evicted meanwhile.
  return Bytes(*lookup_or_fetch(Key{platform, url}, fetch, settings, served_stale));
}

std::shared_ptr<const Bytes> FetchCache::lookup_or_fetch(const Key& key, const Fetch& fetch,
                                                         const FetchCacheSettings& settings,
                                                         bool* served_stale) {
  std::unique_lock<util::Mutex> lock(mutex_);
  evict_to(settings.capacity_bytes());  // a lowered size takes effect at once
  std::shared_ptr<const Bytes> stale;
  if (auto copy = copies_.find(key); copy != copies_.end()) {
    Copy& kept = copy->second;
    const TimePoint now = clock_();
    if (now > kept.expires + Seconds(settings.stale_seconds)) {
      erase(key);
    } else {
      recency_.splice(recency_.begin(), recency_, kept.recency);
      // Fresh, or stale while the site is given a rest after a failed refresh.
      if (now < kept.expires || now < kept.retry_after) return kept.body;
      stale = kept.body;
    }
  }
  if (auto flying = flights_.find(key); flying != flights_.end()) {
    // One refresh at a time; meanwhile the stale copy is the answer, at once.
    if (stale) return stale;
    if (leads_a_flight(util::this_thread_id())) {
      // Called again while this thread's own request is in flight (a client that runs the
      // thread's messages while it waits): waiting could only wait for itself.
      lock.unlock();
      return refresh(key, fetch, settings, served_stale);
    }
    return await_flight(std::move(lock), key, flying->second);
  }

  const auto flight = std::make_shared<Flight>();
  flights_.emplace(key, flight);
  lock.unlock();
  std::shared_ptr<const Bytes> body;
  std::exception_ptr failure;
  {
    const Landing landing(*this, key, *flight, body, failure);
    try {
      body = refresh(key, fetch, settings, served_stale);
    } catch (...) {
      failure = std::current_exception();
    }
  }
  if (failure) throw_own_copy(failure);
  return body;
}

std::shared_ptr<const Bytes> FetchCache::await_flight(std::unique_lock<util::Mutex> lock,
                                                      const Key& key,
                                                      std::shared_ptr<Flight> flight) {
  ++waiting_;
  const bool landed = landed_.wait_for(lock, wait_limit_, [&] { return flight->landed; });
  --waiting_;
  lock.unlock();
  // The outcome was written before `landed` and is never written again: it is read unlocked.
  if (!landed) throw_wait_timeout(key.url, wait_limit_);
  if (flight->failure) throw_own_copy(flight->failure);
  return flight->body;
}

std::shared_ptr<const Bytes> FetchCache::refresh(const Key& key, const Fetch& fetch,
                                                 const FetchCacheSettings& settings,
                                                 bool* served_stale) {
  FetchedPage page;
  std::exception_ptr failure;
  try {
    page = fetch(true);
  } catch (...) {
    failure = std::current_exception();
  }
  std::shared_ptr<const Bytes> body;
  if (!failure) body = std::make_shared<const Bytes>(std::move(page.body));
  std::lock_guard<util::Mutex> lock(mutex_);
  const TimePoint now = clock_();
  if (failure || page.status >= 500) {
    // The site could not answer: a copy still within its stale time stands in, and is served
    // without asking again until the retry interval has passed.
    if (auto copy = copies_.find(key);
        copy != copies_.end() && now <= copy->second.expires + Seconds(settings.stale_seconds)) {
      copy->second.retry_after = now + kStaleRetryInterval;
      if (served_stale) *served_stale = true;
      return copy->second.body;
    }
    if (failure) std::rethrow_exception(failure);
    return body;
  }
  if (!is_success(page.status)) {
    erase(key);  // the site answered: an older copy no longer stands for the page
    return body;
  }
  try {
    store(key, body, now + Seconds(settings.fresh_seconds), settings.capacity_bytes());
  } catch (const std::bad_alloc&) {
    // Not kept; the caller still has its answer.
  }
  return body;
}

bool FetchCache::leads_a_flight(util::ThreadId thread) const {
  return std::any_of(flights_.begin(), flights_.end(),
                     [&](const auto& flight) { return flight.second->leader == thread; });
}

void FetchCache::store(const Key& key, std::shared_ptr<const Bytes> body, TimePoint expires,
                       std::size_t capacity) {
  erase(key);
  const std::size_t charge = charge_for(key, *body);
  if (charge > capacity) return;
  evict_to(capacity - charge);
  auto [entry, inserted] = copies_.try_emplace(key);
  try {
    recency_.push_front(&entry->first);
  } catch (...) {
    copies_.erase(entry);
    throw;
  }
  entry->second = Copy{std::move(body), expires, TimePoint{}, charge, recency_.begin()};
  bytes_ += charge;
  holds_copies_.store(true, std::memory_order_relaxed);
}

void FetchCache::erase(const Key& key) {
  auto entry = copies_.find(key);
  if (entry == copies_.end()) return;
  bytes_ -= entry->second.charge;
  recency_.erase(entry->second.recency);
  copies_.erase(entry);
}

void FetchCache::evict_to(std::size_t limit) {
  while (bytes_ > limit && !recency_.empty()) erase(*recency_.back());
}

std::size_t FetchCache::bytes_held() const {
  std::lock_guard<util::Mutex> lock(mutex_);
  return bytes_;
}

std::size_t FetchCache::copies_held() const {
  std::lock_guard<util::Mutex> lock(mutex_);
  return copies_.size();
}

std::size_t FetchCache::callers_waiting() const {
  std::lock_guard<util::Mutex> lock(mutex_);
  return waiting_;
}

void FetchCache::clear() {
  std::lock_guard<util::Mutex> lock(mutex_);
  copies_.clear();
  recency_.clear();
  bytes_ = 0;
  holds_copies_.store(false, std::memory_order_relaxed);
}

FetchCache& fetch_cache() {
  static FetchCache instance(fetch_cache_settings, [] { return std::chrono::steady_clock::now(); });
  return instance;
}

}  // namespace pelmo::fetch
