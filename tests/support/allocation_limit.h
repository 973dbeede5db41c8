// Running out of memory on demand: while an AllocationLimit is in scope, the calling thread's
// allocations through operator new succeed `allowed` times and then fail with std::bad_alloc.
// Other threads are not limited. The test binary replaces the global operator new for this,
// except under ThreadSanitizer, whose runtime brings an operator new that cannot be replaced.
#pragma once

#if defined(__SANITIZE_THREAD__)
#define PELMO_TEST_UNDER_TSAN
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define PELMO_TEST_UNDER_TSAN
#endif
#endif

namespace pelmo::testing {

class AllocationLimit {
 public:
#ifdef PELMO_TEST_UNDER_TSAN
  static constexpr bool kAvailable = false;
#else
  static constexpr bool kAvailable = true;
#endif

  explicit AllocationLimit(long allowed);
  AllocationLimit(const AllocationLimit&) = delete;
  AllocationLimit& operator=(const AllocationLimit&) = delete;
  ~AllocationLimit();

  // Whether some allocation was refused so far.
  bool refused() const;
};

}  // namespace pelmo::testing
