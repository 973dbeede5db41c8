// Test fixtures for anything that fetches: an HTTP server on the loopback address, a port that
// refuses connections, a port that listens but never answers, and a helper for expected errors.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>

#include "pelmo/error.h"

namespace pelmo::testing {

inline std::u16string ascii16(std::string_view s) { return std::u16string(s.begin(), s.end()); }

// Register routes on routes(), then start(); the server stops and its thread joins when the
// object goes. Handlers run on the server's own threads.
class LoopbackServer {
 public:
  LoopbackServer() = default;
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;
  ~LoopbackServer() {
    release_stalls();
    if (thread_.joinable()) {
      server_.stop();
      thread_.join();
    }
  }

  httplib::Server& routes() { return server_; }

  // `host` is a loopback address: 127.0.0.2 plays an outside site where a test needs one.
  void start(std::string host = "127.0.0.1") {
    host_ = std::move(host);
    port_ = server_.bind_to_any_port(host_);
    if (port_ <= 0) throw std::runtime_error("cannot bind a loopback port");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!server_.is_running() && std::chrono::steady_clock::now() < give_up) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  int port() const { return port_; }
  std::string url(std::string_view path) const {
    return "http://" + host_ + ":" + std::to_string(port_) + std::string(path);
  }
  std::u16string url16(std::string_view path) const { return ascii16(url(path)); }

  // Holds a handler, as a server that has stopped answering would, until the fixture goes (or
  // the bound passes, so a forgotten stall cannot hang the suite).
  void stall(std::chrono::milliseconds bound = std::chrono::seconds(20)) {
    std::unique_lock lock(mutex_);
    released_cv_.wait_for(lock, bound, [this] { return released_; });
  }

  void release_stalls() {
    {
      std::lock_guard lock(mutex_);
      released_ = true;
    }
    released_cv_.notify_all();
  }

 private:
  httplib::Server server_;
  std::thread thread_;
  std::string host_;
  int port_ = 0;
  std::mutex mutex_;
  std::condition_variable released_cv_;
  bool released_ = false;
};

// A loopback TCP socket bound to a port of its own; listening or not, it never accepts.
class LoopbackSocket {
 public:
  explicit LoopbackSocket(bool listening) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd_ < 0) throw std::runtime_error("socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        (listening && ::listen(fd_, 8) != 0)) {
      ::close(fd_);
      throw std::runtime_error("cannot set up a loopback socket");
    }
    port_ = ntohs(address.sin_port);
  }
  LoopbackSocket(const LoopbackSocket&) = delete;
  LoopbackSocket& operator=(const LoopbackSocket&) = delete;
  ~LoopbackSocket() { ::close(fd_); }

  int port() const { return port_; }
  // For a listening socket: whether some client has connected (the kernel completes the
  // handshake without accept, so a connection attempt always shows here).
  bool has_pending_connection() const {
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN) != 0;
  }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// Runs the call and returns the AutomationError it throws; a call that succeeds is a failure.
template <typename Call>
AutomationError expect_automation_error(Call&& call) {
  try {
    call();
  } catch (const AutomationError& e) {
    return e;
  }
  ADD_FAILURE() << "expected an AutomationError, the call succeeded";
  return AutomationError(0, "");
}

}  // namespace pelmo::testing
