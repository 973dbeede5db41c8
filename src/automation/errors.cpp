#include "pelmo/error.h"

namespace pelmo {

void throw_invalid_use_of_null() {
  throw AutomationError(err::kInvalidUseOfNull, "Invalid use of Null");
}

void throw_type_mismatch() { throw AutomationError(err::kTypeMismatch, "Type mismatch"); }

void throw_invalid_call(const std::string& detail) {
  std::string text = "Invalid procedure call or argument";
  if (!detail.empty()) text += ": " + detail;
  throw AutomationError(err::kInvalidCall, text);
}

void throw_subscript_out_of_range() {
  throw AutomationError(err::kSubscript, "Subscript out of range");
}

void throw_division_by_zero() { throw AutomationError(err::kDivisionByZero, "Division by zero"); }

void throw_overflow() { throw AutomationError(err::kOverflow, "Overflow"); }

}  // namespace pelmo
