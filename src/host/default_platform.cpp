#include "host/curl_http_client.h"
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
};

}  // namespace

std::shared_ptr<Platform> default_platform() {
  static const std::shared_ptr<Platform> platform = std::make_shared<LinuxPlatform>();
  return platform;
}

}  // namespace pelmo::host
