#include "config/fetch_address_setting.h"

#include "config/operator_settings.h"

namespace pelmo {

FetchPrivateAddresses fetch_private_addresses() {
  const SettingReading reading = read_setting(kFetchPrivateAddressesVariable);
  FetchPrivateAddresses setting;
  setting.deny = reading.value == u"deny";
  if (const std::optional<std::string> note = rejection_note(reading))
    setting.ignored = *note + "\n";
  return setting;
}

}  // namespace pelmo
