#include "loopback_site.h"

#include <stdexcept>
#include <utility>

namespace pelmo::bench {

LoopbackSite::LoopbackSite(Pages pages, LoopbackSiteOptions options)
    : pages_(std::move(pages)), options_(options) {
  server_.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
    ++requests_;
    if (options_.delay.count() > 0) std::this_thread::sleep_for(options_.delay);
    const bool by_path = options_.match == LoopbackSiteOptions::Match::path;
    const auto page = pages_.find(by_path ? request.path : request.target);
    if (page == pages_.end()) {
      response.status = 404;
      return;
    }
    // Not a text type, so the server sends it as it is: compressing it would time the server's
    // compressor, not the component.
    response.set_content(page->second, "application/octet-stream");
  });
  port_ = server_.bind_to_any_port("127.0.0.1");
  if (port_ <= 0) throw std::runtime_error("cannot bind a loopback port");
  thread_ = std::thread([this] { server_.listen_after_bind(); });
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!server_.is_running() && std::chrono::steady_clock::now() < give_up) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

LoopbackSite::~LoopbackSite() { stop(); }

void LoopbackSite::stop() {
  if (!thread_.joinable()) return;
  server_.stop();
  thread_.join();
}

}  // namespace pelmo::bench
