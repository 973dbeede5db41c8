#include "util/address_guard.h"

#include <algorithm>

namespace pelmo::util {

std::optional<AddressRefusal> AddressGuard::judge(const IpAddress& address, bool redirected) {
  const char* range = internal_range(address);
  const auto& outside = policy_.counted_as_outside;
  if (range != nullptr && std::find(outside.begin(), outside.end(), address) != outside.end()) {
    range = nullptr;
  }
  const std::string described =
      range == nullptr ? std::string()
                       : address_text(address) + " (" + range + ") is inside the server's network";
  if (!redirected) {
    // A name that resolves both inside and outside did not begin inside.
    first_internal_ = (first_seen_ ? first_internal_ : true) && range != nullptr;
    first_seen_ = true;
    if (range != nullptr && policy_.deny_internal) {
      return AddressRefusal{kRefusedAddressCode,
                            "the address " + described + ", and FetchPrivateAddresses is deny"};
    }
    return std::nullopt;
  }
  if (range == nullptr) return std::nullopt;
  if (policy_.deny_internal) {
    return AddressRefusal{kRefusedRedirectCode,
                          "redirect refused: " + described + ", and FetchPrivateAddresses is deny"};
  }
  if (!first_internal_) {
    return AddressRefusal{kRefusedRedirectCode,
                          "redirect refused: " + described + " and the fetch began outside it"};
  }
  return std::nullopt;
}

}  // namespace pelmo::util
