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
HRESULT hresult_for(std::int32_t number);

struct Failure {
  HRESULT hr;
  std::u16string description;
};

// Records the failure as the thread's error object (for callers through the virtual table)
// and returns its HRESULT.
HRESULT raise(const Failure& failure, REFIID iid);

// Fills an EXCEPINFO as a script host expects it after DISP_E_EXCEPTION; the strings it held
// (none, or a dispatcher's) are released.
void fill_excepinfo(EXCEPINFO& info, const Failure& failure);

}  // namespace pelmo::com
