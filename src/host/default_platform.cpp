#include "host/curl_http_client.h"
#include "host/event_callback.h"
#include "host/platform.h"

namespace pelmo::host {

namespace {

class LinuxPlatform final : public Platform {
 public:
  std::unique_ptr<HttpClient> CreateHttpClient(const util::AddressPolicy& addresses) override {
    HttpLimits limits;
    limits.addresses = addresses;
    return make_curl_http_client(limits);
  }
  void WriteEvent(const Event& event) override { call_event_callback(event); }
};

}  // namespace

std::shared_ptr<Platform> default_platform() {
  static const std::shared_ptr<Platform> platform = std::make_shared<LinuxPlatform>();
  return platform;
}

}  // namespace pelmo::host
