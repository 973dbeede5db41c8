#include "fetch/cp936_pairs.h"

#include <array>

#include "fetch/cp936_source.h"

namespace pelmo::fetch {

namespace {

using PairTable = std::array<char16_t, kCp936Leads * kCp936Trails>;

PairTable build_table() {
  PairTable table{};
  platform_cp936_pairs(table);
  return table;
}

}  // namespace

const char16_t* cp936_pair_table() {
  static const PairTable table = build_table();
  return table.data();
}

char16_t cp936_pair(std::uint8_t lead, std::uint8_t trail) {
  return cp936_pair_table()[static_cast<std::size_t>(lead - 0x80) * kCp936Trails + trail];
}

}  // namespace pelmo::fetch
