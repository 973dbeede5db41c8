// Whether fetches may connect to addresses inside the server's own network at all. `allow`, the
// default, keeps a page's fetches of its own intranet working (a redirect into the network is
// refused either way when the fetch began outside it); `deny` refuses every internal address.
// A row of the settings catalogue like every other setting; an unknown value is ignored and the
// default taken, with the reason kept so the command can tell the operator.
#pragma once

#include <string>

namespace pelmo {

inline constexpr const char* kFetchPrivateAddressesVariable = "PELMO_FETCH_PRIVATE_ADDRESSES";

struct FetchPrivateAddresses {
  bool deny = false;
  // One line when the configured value was ignored; empty otherwise.
  std::string ignored;
};

// Read afresh on every call, so a change takes effect with the next fetch. Letter case and
// surrounding spaces do not matter.
FetchPrivateAddresses fetch_private_addresses();

}  // namespace pelmo
