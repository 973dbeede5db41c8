// The outside hosts the scrapers and address builders reach: build-time defaults under the
// reserved example domains, each overridden at run time by its environment variable when set
// and not empty. A value may carry a port ("localhost:8080").
#pragma once

#include <string>

namespace pelmo {

struct OutsideHosts {
  std::u16string affiliate;       // PELMO_AFFILIATE_HOST: affiliate redirects, http://HOST/gc...
  std::u16string shopnav_domain;  // PELMO_SHOPNAV_DOMAIN: sub-sites http://LABEL.DOMAIN/...
  std::u16string lottery;         // PELMO_LOTTERY_HOST: /caipiao/js/caipiao_data.js
  std::u16string news;            // PELMO_NEWS_HOST: the rolling-news list page
};

// Read afresh on every call, so a changed environment takes effect at once.
OutsideHosts outside_hosts();

}  // namespace pelmo
