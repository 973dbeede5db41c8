// Running out of memory on demand: while an AllocationLimit is in scope, the calling thread's
// allocations through operator new succeed `allowed` times and then fail with std::bad_alloc.
// Other threads are not limited. The test binary replaces the global operator new for this.
#pragma once

namespace pelmo::testing {

class AllocationLimit {
 public:
  // False under ThreadSanitizer, whose runtime brings an operator new that cannot be replaced.
  static const bool kAvailable;

  explicit AllocationLimit(long allowed);
  AllocationLimit(const AllocationLimit&) = delete;
  AllocationLimit& operator=(const AllocationLimit&) = delete;
  ~AllocationLimit();

  // Whether some allocation was refused so far.
  bool refused() const;
};

}  // namespace pelmo::testing
