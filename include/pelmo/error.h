// Failures inside the component: an automation error number and its description.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace pelmo {

// Error numbers as a script sees them in Err.Number.
namespace err {
inline constexpr std::int32_t kInvalidCall = 5;      // invalid procedure call or argument
inline constexpr std::int32_t kOverflow = 6;         // overflow
inline constexpr std::int32_t kOutOfMemory = 7;      // out of memory
inline constexpr std::int32_t kSubscript = 9;        // subscript out of range
inline constexpr std::int32_t kDivisionByZero = 11;  // division by zero
inline constexpr std::int32_t kTypeMismatch = 13;    // type mismatch
inline constexpr std::int32_t kOutOfStack =
    28;  // pattern past the matcher's work budget or program size
inline constexpr std::int32_t kInvalidUseOfNull = 94;   // invalid use of Null
inline constexpr std::int32_t kStreamArguments = 3001;  // stream: wrong argument or unknown charset
inline constexpr std::int32_t kRegexSyntax = 5017;      // syntax error in regular expression
// An HTTP client failure is this base plus the transfer library's own code, as an HRESULT.
inline constexpr std::int32_t kHttpBase = static_cast<std::int32_t>(0x800C0000u);
inline constexpr std::int32_t kNoInterface = static_cast<std::int32_t>(0x80004002u);
inline constexpr std::int32_t kUnexpected = static_cast<std::int32_t>(0x8000FFFFu);
}  // namespace err

class AutomationError : public std::exception {
 public:
  AutomationError(std::int32_t number, std::string description)
      : number_(number), description_(std::move(description)) {}

  std::int32_t number() const noexcept { return number_; }
  // UTF-8 text of the description.
  const std::string& description() const noexcept { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  std::int32_t number_;
  std::string description_;
};

// The component's own errors with their standard descriptions.
[[noreturn]] void throw_invalid_use_of_null();
[[noreturn]] void throw_type_mismatch();
[[noreturn]] void throw_invalid_call(const std::string& detail = {});
[[noreturn]] void throw_subscript_out_of_range();
[[noreturn]] void throw_division_by_zero();
[[noreturn]] void throw_overflow();

}  // namespace pelmo
