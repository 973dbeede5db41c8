// The work one call may spend matching pattern markers, shared by every path that matches them.
#pragma once

#include <cstdint>

#include "pelmo/error.h"

namespace pelmo::extract {

class WorkBudget {
 public:
  explicit WorkBudget(std::uint64_t steps) : left_(steps) {}

  // Spends `steps`; throws error 28 when fewer are left.
  void charge(std::uint64_t steps = 1) {
    if (steps > left_) {
      left_ = 0;
      throw AutomationError(err::kOutOfStack,
                            "Out of stack space: matching the markers' pattern needs more work "
                            "than a call may take");
    }
    left_ -= steps;
  }

 private:
  std::uint64_t left_;
};

}  // namespace pelmo::extract
