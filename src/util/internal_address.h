// Addresses inside the server's own network: where a fetch that an outside site steers (by a
// redirect, or by a name that resolves there) must not lead. Judged on the resolved address,
// never on a name, since a name can resolve anywhere.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace pelmo::util {

// An IPv4 address (the first 4 bytes) or an IPv6 address (16 bytes), in network order.
struct IpAddress {
  std::array<std::uint8_t, 16> bytes{};
  bool is_v6 = false;

  friend bool operator==(const IpAddress&, const IpAddress&) = default;
};

IpAddress ipv4_address(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d);

// Which internal range holds the address ("loopback", "private", "link-local", ...), or nullptr
// for an address outside. IPv6 forms that carry an IPv4 address (mapped, compatible, NAT64,
// 6to4) are judged by the IPv4 address they carry.
const char* internal_range(const IpAddress& address);

inline bool is_internal_address(const IpAddress& address) {
  return internal_range(address) != nullptr;
}

// Dotted decimal for IPv4, hexadecimal groups (no shortening) for IPv6: for messages.
std::string address_text(const IpAddress& address);

}  // namespace pelmo::util
