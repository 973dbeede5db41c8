// The states of a lazily built automaton and their transitions, in memory of a bounded size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pelmo::extract {

class DfaStateCache {
 public:
  // A transition not built yet. A built one is where the next state's row begins in the table
  // (its id shifted by `shift()`), with three flags the automaton defines in the low bits: a
  // scan follows transitions without any in a tight loop.
  static constexpr std::int32_t kUnknown = -1;
  static constexpr std::int32_t kFlags = 7;

  DfaStateCache(std::size_t classes, std::size_t max_bytes);

  // The id of the state described by `key`, added when new.
  std::uint32_t intern(std::u32string_view key);
  // Valid until the next intern or clear.
  std::u32string_view key(std::uint32_t id) const {
    return {keys_.data() + key_begin_[id], key_begin_[id + 1] - key_begin_[id]};
  }

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
  std::size_t size() const { return key_begin_.size() - 1; }

 private:
  unsigned shift_ = 3;  // rows are a power of two wide, at least 8: room for the flags
  std::size_t max_bytes_;
  std::size_t bytes_ = 0;
  void grow_slots();

  // Every key, one after another: a call builds a few dozen states, and a node and a string of
  // their own for each cost more than building them.
  std::u32string keys_;
  std::vector<std::uint32_t> key_begin_{0};  // where each state's key begins, and one past the last
  std::vector<std::uint64_t> hashes_;        // of each state's key
  std::vector<std::uint32_t> slots_;         // open addressing by hash: 1 + id, or 0 when free
  std::vector<std::int32_t> table_;
  std::vector<std::int32_t> tags_;
};

}  // namespace pelmo::extract
