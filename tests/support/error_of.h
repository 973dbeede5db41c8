// The automation error number a call fails with, or 0 when it succeeds.
#pragma once

#include "pelmo/error.h"

namespace pelmo::testing {

inline int error_of(auto&& call) {
  try {
    call();
  } catch (const AutomationError& e) {
    return e.number();
  }
  return 0;
}

}  // namespace pelmo::testing
