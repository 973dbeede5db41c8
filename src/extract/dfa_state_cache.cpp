#include "extract/dfa_state_cache.h"

namespace pelmo::extract {

namespace {

// What one hash-table node costs beyond its key's characters, roughly.
constexpr std::size_t kNodeOverhead = 64;

}  // namespace

std::uint32_t DfaStateCache::intern(std::u32string_view key) {
  // Most keys are found: looked up through a reused string, so that finding one allocates
  // nothing.
  lookup_.assign(key);
  if (const auto found = ids_.find(lookup_); found != ids_.end()) return found->second;
  const auto [it, added] = ids_.try_emplace(lookup_, static_cast<std::uint32_t>(keys_.size()));
  if (added) {
    keys_.push_back(&it->first);
    tags_.push_back(0);
    const std::size_t row = std::size_t{1} << shift_;
    table_.resize(table_.size() + row, kUnknown);
    bytes_ += kNodeOverhead + key.size() * sizeof(char32_t) * 2 + (row + 1) * sizeof(std::int32_t);
  }
  return it->second;
}

void DfaStateCache::clear() {
  ids_.clear();
  keys_.clear();
  table_.clear();
  tags_.clear();
  bytes_ = 0;
}

}  // namespace pelmo::extract
