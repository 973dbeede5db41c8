#include "component/outside_hosts.h"

#include <cstdlib>

#include "pelmo/text.h"

namespace pelmo {

namespace {

std::u16string host_from(const char* variable, const char* fallback) {
  const char* value = std::getenv(variable);
  return from_utf8((value != nullptr && *value != '\0') ? value : fallback);
}

}  // namespace

OutsideHosts outside_hosts() {
  return {host_from("PELMO_AFFILIATE_HOST", PELMO_DEFAULT_AFFILIATE_HOST),
          host_from("PELMO_SHOPNAV_DOMAIN", PELMO_DEFAULT_SHOPNAV_DOMAIN),
          host_from("PELMO_LOTTERY_HOST", PELMO_DEFAULT_LOTTERY_HOST),
          host_from("PELMO_NEWS_HOST", PELMO_DEFAULT_NEWS_HOST)};
}

}  // namespace pelmo
