#include "extract/dfa_state_cache.h"

#include <algorithm>

namespace pelmo::extract {

namespace {

// What one state costs beyond its key's characters and its row, roughly: the budget of the
// cache counts it so, whatever the layout, so that it is emptied after as many states.
constexpr std::size_t kNodeOverhead = 64;
// Room made at once: most calls build fewer states than this, and grow nothing one by one.
constexpr std::size_t kFirstStates = 32;
constexpr std::size_t kFirstSlots = 2 * kFirstStates;
constexpr std::size_t kFirstKeyUnits = 8 * kFirstStates;

std::uint64_t hash_key(std::u32string_view key) {
  std::uint64_t h = 0x9E3779B97F4A7C15u ^ key.size();
  for (const char32_t c : key) h = (h ^ c) * 0xFF51AFD7ED558CCDu;
  return h ^ (h >> 29);
}

}  // namespace

DfaStateCache::DfaStateCache(std::size_t classes, std::size_t max_bytes) : max_bytes_(max_bytes) {
  while ((std::size_t{1} << shift_) < classes) ++shift_;
  keys_.reserve(kFirstKeyUnits);
  key_begin_.reserve(kFirstStates + 1);
  hashes_.reserve(kFirstStates);
  slots_.assign(kFirstSlots, 0);
  table_.reserve(kFirstStates << shift_);
  tags_.reserve(kFirstStates);
}

std::uint32_t DfaStateCache::intern(std::u32string_view key) {
  const std::uint64_t hash = hash_key(key);
  const std::size_t mask = slots_.size() - 1;
  std::size_t slot = static_cast<std::size_t>(hash & mask);
  for (; slots_[slot] != 0; slot = (slot + 1) & mask) {
    const std::uint32_t id = slots_[slot] - 1;
    if (hashes_[id] == hash && this->key(id) == key) return id;
  }
  const auto id = static_cast<std::uint32_t>(size());
  keys_.append(key);
  key_begin_.push_back(static_cast<std::uint32_t>(keys_.size()));
  hashes_.push_back(hash);
  tags_.push_back(0);
  const std::size_t row = std::size_t{1} << shift_;
  table_.resize(table_.size() + row, kUnknown);
  bytes_ += kNodeOverhead + key.size() * sizeof(char32_t) * 2 + (row + 1) * sizeof(std::int32_t);
  slots_[slot] = id + 1;
  if (2 * size() > slots_.size()) grow_slots();  // at most half full
  return id;
}

void DfaStateCache::grow_slots() {
  slots_.assign(slots_.size() * 2, 0);
  const std::size_t mask = slots_.size() - 1;
  for (std::uint32_t id = 0; id < size(); ++id) {
    std::size_t slot = static_cast<std::size_t>(hashes_[id] & mask);
    while (slots_[slot] != 0) slot = (slot + 1) & mask;
    slots_[slot] = id + 1;
  }
}

void DfaStateCache::clear() {
  keys_.clear();
  key_begin_.assign(1, 0);
  hashes_.clear();
  std::fill(slots_.begin(), slots_.end(), 0);
  table_.clear();
  tags_.clear();
  bytes_ = 0;
}

}  // namespace pelmo::extract
