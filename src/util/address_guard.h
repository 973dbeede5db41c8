// One fetch's judge of the addresses it connects to, for both HTTP clients. A redirect may lead
// into the server's own network only when the fetch began there; an operator may refuse internal
// addresses altogether. Every address is judged as it is about to be connected to, so a name
// that resolves to an internal address, or differently on a second lookup, cannot slip past.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "util/internal_address.h"

namespace pelmo::util {

struct AddressPolicy {
  // Every internal address refused, the first one too (FetchPrivateAddresses = deny).
  bool deny_internal = false;
  // Addresses treated as outside although internal. Only tests set it, to play an outside site
  // on a loopback address; no setting reaches it.
  std::vector<IpAddress> counted_as_outside;
};

// Why a connection was refused, with the client error code to report it by: 1 (the code a
// refused redirect already has) for a redirect, 7 (no connection) for the first address.
struct AddressRefusal {
  std::int32_t code;
  std::string why;
};

inline constexpr std::int32_t kRefusedRedirectCode = 1;
inline constexpr std::int32_t kRefusedAddressCode = 7;

class AddressGuard {
 public:
  explicit AddressGuard(AddressPolicy policy) : policy_(std::move(policy)) {}

  // Called for every connection about to be opened, `redirected` once the fetch has followed a
  // redirect. Nothing when the connection may go ahead.
  std::optional<AddressRefusal> judge(const IpAddress& address, bool redirected);

 private:
  AddressPolicy policy_;
  // Whether every address connected to for the first address was internal (false until one
  // is seen): a fetch that began inside may follow redirects inside.
  bool first_seen_ = false;
  bool first_internal_ = false;
};

}  // namespace pelmo::util
