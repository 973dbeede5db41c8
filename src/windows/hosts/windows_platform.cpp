#include "host/platform.h"
#include "windows/hosts/windows_hosts.h"

namespace pelmo::host {

namespace {

class WindowsPlatform final : public Platform {
 public:
  std::unique_ptr<HttpClient> CreateHttpClient(const util::AddressPolicy& addresses) override {
    HttpLimits limits;
    limits.addresses = addresses;
    return windows::make_server_http_client(limits);
  }
  void WriteEvent(const Event& event) override { windows::write_event_log(event); }
};

}  // namespace

std::shared_ptr<Platform> default_platform() {
  static const std::shared_ptr<Platform> platform = std::make_shared<WindowsPlatform>();
  return platform;
}

}  // namespace pelmo::host
