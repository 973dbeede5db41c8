#include "config/outside_hosts.h"

#include "config/operator_settings.h"

namespace pelmo {

OutsideHosts outside_hosts() {
  return {read_setting("PELMO_AFFILIATE_HOST").value, read_setting("PELMO_SHOPNAV_DOMAIN").value,
          read_setting("PELMO_LOTTERY_HOST").value, read_setting("PELMO_NEWS_HOST").value};
}

}  // namespace pelmo
