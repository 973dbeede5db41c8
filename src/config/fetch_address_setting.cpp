#include "config/fetch_address_setting.h"

#include <optional>

#include "config/operator_settings.h"
#include "pelmo/text.h"

namespace pelmo {

namespace {

// Spaces and tabs around the word, as around the fetch cache's numbers.
std::u16string_view trimmed(std::u16string_view text) {
  while (!text.empty() && (text.front() == u' ' || text.front() == u'\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

FetchPrivateAddresses fetch_private_addresses() {
  const SettingSource source{kFetchPrivateAddressesVariable, kFetchPrivateAddressesValue};
  FetchPrivateAddresses setting;
  setting.deny = kFetchPrivateAddressesDefault == kFetchPrivateAddressesDeny;
  const std::optional<std::u16string> text = configured_setting(source);
  if (!text) return setting;
  const std::u16string value = lower(trimmed(*text));
  if (value == kFetchPrivateAddressesAllow || value == kFetchPrivateAddressesDeny) {
    setting.deny = value == kFetchPrivateAddressesDeny;
    return setting;
  }
  setting.ignored = std::string(source.environment) + " (or the stored value " +
                    to_utf8(source.stored) + "): \"" + to_utf8(*text) +
                    "\" is neither allow nor deny; ignored, " +
                    to_utf8(kFetchPrivateAddressesDefault) + " used\n";
  return setting;
}

}  // namespace pelmo
