// Running out of memory on demand: while an AllocationLimit is in scope, the calling thread's
// allocations through operator new succeed `allowed` times and then fail with std::bad_alloc.
// Other threads are not limited. allocation_limit.cpp replaces the global operator new for this.
#pragma once

namespace pelmo::testing {

// Allocations the thread may still make (negative: no limit), and whether one was refused.
inline thread_local long t_allocations_allowed = -1;
inline thread_local bool t_allocation_refused = false;

class AllocationLimit {
 public:
  // False under ThreadSanitizer, whose runtime brings an operator new that cannot be replaced.
  static const bool kAvailable;

  explicit AllocationLimit(long allowed) {
    t_allocation_refused = false;
    t_allocations_allowed = allowed;
  }
  AllocationLimit(const AllocationLimit&) = delete;
  AllocationLimit& operator=(const AllocationLimit&) = delete;
  ~AllocationLimit() { t_allocations_allowed = -1; }

  bool refused() const { return t_allocation_refused; }
};

}  // namespace pelmo::testing
