#include "host/platform.h"
#include "windows/hosts/windows_hosts.h"

namespace pelmo::host {

namespace {

class WindowsPlatform final : public Platform {
 public:
  std::unique_ptr<HttpClient> CreateHttpClient() override {
    return windows::make_server_http_client();
  }
  void WriteEvent(const Event& event) override { windows::write_event_log(event); }
};

}  // namespace

std::shared_ptr<Platform> default_platform() {
  static const std::shared_ptr<Platform> platform = std::make_shared<WindowsPlatform>();
  return platform;
}

}  // namespace pelmo::host
