// A loopback site for the scrapers' tests: pages registered as UTF-16 text are served encoded
// in GB2312 (code page 936), and every hit is counted.
#pragma once

#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "cli/charset_encode.h"
#include "pelmo/local_page.h"
#include "pelmo/object.h"
#include "support/loopback_server.h"

namespace pelmo::testing {

class ScraperSite {
 public:
  ScraperSite() {
    server_.routes().Get(".*",
                         [this](const httplib::Request& request, httplib::Response& response) {
                           ++hits_;
                           std::lock_guard lock(mutex_);
                           last_target_ = request.target;
                           auto page = pages_.find(request.target);
                           if (page == pages_.end()) {
                             response.status = 404;
                             response.set_content("not here", "text/plain");
                             return;
                           }
                           response.status = 200;
                           response.set_content(page->second, "application/octet-stream");
                         });
    server_.start();
  }

  // Registered before the fetch; `target` is the request target, query included.
  void page(const std::string& target, const std::u16string& body) {
    std::string encoded = cli::encode_text(body, "windows-936-2000");
    std::lock_guard lock(mutex_);
    pages_[target] = std::move(encoded);
  }

  std::string host() const { return "127.0.0.1:" + std::to_string(server_.port()); }
  std::string domain() const { return "localhost:" + std::to_string(server_.port()); }
  std::u16string url16(const std::string& path) const { return server_.url16(path); }
  int hits() const { return hits_; }
  std::string last_target() const {
    std::lock_guard lock(mutex_);
    return last_target_;
  }

 private:
  // The pages and the last target are shared with whichever server worker takes a request; a
  // request or an answer passing through the socket orders nothing to the language (or to
  // TSan), so the lock does.
  mutable std::mutex mutex_;
  std::map<std::string, std::string> pages_;
  std::string last_target_;
  std::atomic<int> hits_{0};
  // Last, so that it goes first: its workers, which use the members above, have all joined
  // before any of those is destroyed.
  LoopbackServer server_;
};

// An object started with the local page context, as a page would hold it.
inline std::shared_ptr<_zaverer> started_object() {
  auto object = create_object("pelmo.zaverer");
  object->OnStartPage(host::make_local_page());
  return object;
}

}  // namespace pelmo::testing
