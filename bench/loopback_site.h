// A web site on the loopback address for the benchmarks: fixed bodies by request, anything else
// 404, served from a thread of its own from construction until stop() or destruction.
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <utility>

namespace pelmo::bench {

struct LoopbackSiteOptions {
  // What a page's key is compared with: the whole request target, query included, or only its
  // path, so that one page answers whatever query the caller appends.
  enum class Match { target, path };
  Match match = Match::target;
  // Held back before every answer, found or not, as a distant site would be.
  std::chrono::milliseconds delay{0};
};

class LoopbackSite {
 public:
  using Pages = std::map<std::string, std::string>;

  // Binds 127.0.0.1 on a free port and waits (at most 10 s) until the server runs.
  explicit LoopbackSite(Pages pages = {}, LoopbackSiteOptions options = {});
  ~LoopbackSite();
  LoopbackSite(const LoopbackSite&) = delete;
  LoopbackSite& operator=(const LoopbackSite&) = delete;

  // Added before anything asks for it: the server's threads read the pages unlocked.
  void page(const std::string& key, std::string body) { pages_[key] = std::move(body); }
  // Later requests are refused; the port stays as it was.
  void stop();

  int port() const { return port_; }
  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
  int requests() const { return requests_.load(); }

 private:
  Pages pages_;
  LoopbackSiteOptions options_;
  httplib::Server server_;
  std::thread thread_;
  std::atomic<int> requests_{0};
  int port_ = 0;
};

}  // namespace pelmo::bench
