#include "config/outside_hosts.h"

#include "config/operator_settings.h"
#include "pelmo/text.h"

namespace pelmo {

namespace {

std::u16string host_from(const char* environment, std::u16string_view stored,
                         const char* fallback) {
  return setting_or({environment, stored}, from_utf8(fallback));
}

}  // namespace

OutsideHosts outside_hosts() {
  return {host_from("PELMO_AFFILIATE_HOST", u"AffiliateHost", PELMO_DEFAULT_AFFILIATE_HOST),
          host_from("PELMO_SHOPNAV_DOMAIN", u"ShopnavDomain", PELMO_DEFAULT_SHOPNAV_DOMAIN),
          host_from("PELMO_LOTTERY_HOST", u"LotteryHost", PELMO_DEFAULT_LOTTERY_HOST),
          host_from("PELMO_NEWS_HOST", u"NewsHost", PELMO_DEFAULT_NEWS_HOST)};
}

}  // namespace pelmo
