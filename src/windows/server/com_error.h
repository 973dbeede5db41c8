// Automation errors at the COM boundary: the HRESULT a script sees and the error object and
// EXCEPINFO that carry the description.
#pragma once

#include <oaidl.h>

#include <cstdint>
#include <string>

namespace pelmo::com {

// The component's own errors (a small positive number such as 94 or 13) travel as
// MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, n), which a script reads back as n; a host
// object's failure already is an HRESULT and keeps it.
HRESULT hresult_for(std::int32_t number) noexcept;

struct Failure {
  HRESULT hr;
  std::u16string description;
  // Set for the failure made when memory ran out: its description is a fixed text, so making
  // and moving it allocates nothing.
  bool out_of_memory = false;

  // The description; its data() is followed by a zero.
  std::u16string_view text() const noexcept;
};

// Error 7, "Out of memory", made without allocating.
Failure out_of_memory_failure() noexcept;

// Records the failure as the thread's error object (for callers through the virtual table)
// and returns its HRESULT. Allocates nothing of its own; without memory for the error object
// the HRESULT still comes back.
HRESULT raise(const Failure& failure, REFIID iid) noexcept;

// Fills an EXCEPINFO as a script host expects it after DISP_E_EXCEPTION; the strings it held
// (none, or a dispatcher's) are released. A string that cannot be had stays null.
void fill_excepinfo(EXCEPINFO& info, const Failure& failure) noexcept;

}  // namespace pelmo::com
