#include "util/internal_address.h"

#include <cstdio>

namespace pelmo::util {

namespace {

struct Ipv4Range {
  std::uint32_t first;
  int prefix_bits;
  const char* name;
};

// The order matters only where ranges nest: the broadcast address before the reserved block.
constexpr Ipv4Range kInternalIpv4[] = {
    {0x00000000, 8, "this network"},     // 0.0.0.0/8, the unspecified address included
    {0x0A000000, 8, "private"},          // 10.0.0.0/8
    {0x64400000, 10, "shared address"},  // 100.64.0.0/10, carrier-grade NAT
    {0x7F000000, 8, "loopback"},         // 127.0.0.0/8
    {0xA9FE0000, 16, "link-local"},      // 169.254.0.0/16, cloud metadata services too
    {0xAC100000, 12, "private"},         // 172.16.0.0/12
    {0xC0A80000, 16, "private"},         // 192.168.0.0/16
    {0xC6120000, 15, "benchmark"},       // 198.18.0.0/15
    {0xE0000000, 4, "multicast"},        // 224.0.0.0/4
    {0xFFFFFFFF, 32, "broadcast"},       // 255.255.255.255
    {0xF0000000, 4, "reserved"},         // 240.0.0.0/4, never routed
};

const char* ipv4_range(std::uint32_t address) {
  for (const Ipv4Range& range : kInternalIpv4) {
    const std::uint32_t mask = ~std::uint32_t{0} << (32 - range.prefix_bits);
    if ((address & mask) == range.first) return range.name;
  }
  return nullptr;
}

std::uint32_t ipv4_at(const IpAddress& address, std::size_t offset) {
  const auto& b = address.bytes;
  return std::uint32_t{b[offset]} << 24 | std::uint32_t{b[offset + 1]} << 16 |
         std::uint32_t{b[offset + 2]} << 8 | std::uint32_t{b[offset + 3]};
}

bool zero_bytes(const IpAddress& address, std::size_t from, std::size_t to) {
  for (std::size_t i = from; i < to; ++i) {
    if (address.bytes[i] != 0) return false;
  }
  return true;
}

const char* ipv6_range(const IpAddress& address) {
  const auto& b = address.bytes;
  if (zero_bytes(address, 0, 16)) return "unspecified";
  if (zero_bytes(address, 0, 15) && b[15] == 1) return "loopback";
  // ::ffff:a.b.c.d (mapped) and ::a.b.c.d (the old compatible form) reach the IPv4 address.
  if (zero_bytes(address, 0, 10) &&
      ((b[10] == 0xFF && b[11] == 0xFF) || (b[10] == 0 && b[11] == 0))) {
    return ipv4_range(ipv4_at(address, 12));
  }
  // 64:ff9b::/96, the NAT64 prefix, translates to the IPv4 address it ends with.
  if (b[0] == 0x00 && b[1] == 0x64 && b[2] == 0xFF && b[3] == 0x9B && zero_bytes(address, 4, 12)) {
    return ipv4_range(ipv4_at(address, 12));
  }
  // 2002::/16, 6to4, tunnels to the IPv4 address in its next four bytes.
  if (b[0] == 0x20 && b[1] == 0x02) return ipv4_range(ipv4_at(address, 2));
  if ((b[0] & 0xFE) == 0xFC) return "unique-local";                // fc00::/7
  if (b[0] == 0xFE && (b[1] & 0xC0) == 0x80) return "link-local";  // fe80::/10
  if (b[0] == 0xFE && (b[1] & 0xC0) == 0xC0) return "site-local";  // fec0::/10
  if (b[0] == 0xFF) return "multicast";                            // ff00::/8
  return nullptr;
}

}  // namespace

IpAddress ipv4_address(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
  IpAddress address;
  address.bytes[0] = a;
  address.bytes[1] = b;
  address.bytes[2] = c;
  address.bytes[3] = d;
  return address;
}

const char* internal_range(const IpAddress& address) {
  return address.is_v6 ? ipv6_range(address) : ipv4_range(ipv4_at(address, 0));
}

std::string address_text(const IpAddress& address) {
  char text[48];
  const auto& b = address.bytes;
  if (!address.is_v6) {
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
    return text;
  }
  std::string out;
  for (std::size_t i = 0; i < 16; i += 2) {
    std::snprintf(text, sizeof text, "%s%x", i == 0 ? "" : ":", unsigned{b[i]} << 8 | b[i + 1]);
    out += text;
  }
  return out;
}

}  // namespace pelmo::util
