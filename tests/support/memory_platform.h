// A platform whose HTTP client answers from memory: a fetch returns the body registered for its
// URL (or fails like a refused connection), so tests, benchmarks and fuzz targets measure and
// exercise the component's own work.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>

#include "automation/large_buffers.h"
#include "host/platform.h"
#include "pelmo/error.h"

namespace pelmo::testing {

class MemoryPlatform final : public host::Platform {
 public:
  void serve(std::u16string url, Bytes body, int status = 200) {
    pages_[std::move(url)] = {std::move(body), status};
  }
  int fetches() const { return fetches_; }

  std::unique_ptr<host::HttpClient> CreateHttpClient(const util::AddressPolicy&) override {
    return std::make_unique<Client>(*this);
  }

 private:
  class Client final : public host::HttpClient {
   public:
    explicit Client(MemoryPlatform& platform) : platform_(platform) {}
    void Open(const std::u16string&, const std::u16string& url, bool) override { url_ = url; }
    void Send() override {
      ++platform_.fetches_;
      auto page = platform_.pages_.find(url_);
      if (page == platform_.pages_.end()) {
        throw AutomationError(err::kHttpBase + 7, "HTTP request failed: nothing served here");
      }
      body_ = &page->second.body;
      status_ = page->second.status;
    }
    int Status() override { return status_; }
    // A fresh copy each time, sized and hinted as the network client sizes its body.
    Bytes ResponseBody() override {
      Bytes copy;
      if (body_) {
        util::reserve_large(copy, body_->size());
        copy.assign(body_->begin(), body_->end());
      }
      return copy;
    }

   private:
    MemoryPlatform& platform_;
    std::u16string url_;
    const Bytes* body_ = nullptr;
    int status_ = 0;
  };

  struct Page {
    Bytes body;
    int status;
  };
  std::map<std::u16string, Page> pages_;
  int fetches_ = 0;
};

}  // namespace pelmo::testing
