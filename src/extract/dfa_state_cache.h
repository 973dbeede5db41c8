// The states of a lazily built automaton and their transitions, in memory of a bounded size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace pelmo::extract {

class DfaStateCache {
 public:
  // A transition not built yet. A built one is where the next state's row begins in the table
  // (its id shifted by `shift()`), with three flags the automaton defines in the low bits: a
  // scan follows transitions without any in a tight loop.
  static constexpr std::int32_t kUnknown = -1;
  static constexpr std::int32_t kFlags = 7;

  DfaStateCache(std::size_t classes, std::size_t max_bytes) : max_bytes_(max_bytes) {
    while ((std::size_t{1} << shift_) < classes) ++shift_;
  }

  // The id of the state described by `key`, added when new.
  std::uint32_t intern(std::u32string_view key);
  std::u32string_view key(std::uint32_t id) const { return *keys_[id]; }

  unsigned shift() const { return shift_; }
  std::int32_t transition(std::uint32_t id, std::size_t unit_class) const {
    return table_[(std::size_t{id} << shift_) + unit_class];
  }
  void set_transition(std::uint32_t id, std::size_t unit_class, std::int32_t to) {
    table_[(std::size_t{id} << shift_) + unit_class] = to;
  }
  const std::int32_t* table() const { return table_.data(); }

  // A number the automaton keeps per state, 0 when the state is added.
  std::int32_t tag(std::uint32_t id) const { return tags_[id]; }
  void set_tag(std::uint32_t id, std::int32_t tag) { tags_[id] = tag; }

  // Whether the states held have passed the memory allowed; the owner then clears the cache.
  bool full() const { return bytes_ > max_bytes_; }
  void clear();
  std::size_t size() const { return keys_.size(); }

 private:
  unsigned shift_ = 3;  // rows are a power of two wide, at least 8: room for the flags
  std::size_t max_bytes_;
  std::size_t bytes_ = 0;
  std::unordered_map<std::u32string, std::uint32_t> ids_;
  std::vector<const std::u32string*> keys_;
  std::vector<std::int32_t> table_;
  std::vector<std::int32_t> tags_;
  std::u32string lookup_;
};

}  // namespace pelmo::extract
