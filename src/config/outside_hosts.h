// The outside hosts the scrapers and address builders reach: build-time defaults under the
// reserved example domains, each overridden by its operator setting (environment variable, then
// on Windows the registry value). A value may carry a port ("localhost:8080").
#pragma once

#include <string>

namespace pelmo {

struct OutsideHosts {
  std::u16string affiliate;       // affiliate redirects, http://HOST/gc...
  std::u16string shopnav_domain;  // sub-sites http://LABEL.DOMAIN/...
  std::u16string lottery;         // /caipiao/js/caipiao_data.js
  std::u16string news;            // the rolling-news list page
};

// Read afresh on every call, so a changed setting takes effect at once.
OutsideHosts outside_hosts();

}  // namespace pelmo
