// Calling pelmo.zaverer by name from C++, as a page's script engine does: every argument a
// VT_BYREF|VT_VARIANT pointing at the caller's own variable.
#pragma once

#include <oaidl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "pelmo/variant.h"
#include "windows/base/com_ref.h"
#include "windows/base/variant_convert.h"

namespace pelmo::testhost {

using com::ComRef;
using com::OwnedVariant;

struct Outcome {
  HRESULT hr = S_OK;           // what Invoke returned
  std::int32_t number = 0;     // Err.Number as a script sees it (0 on success)
  std::u16string description;  // Err.Description
  std::u16string source;       // Err.Source
};

// The variables of one call: the caller's VARIANTs, cleared on destruction.
class Variables {
 public:
  explicit Variables(std::size_t n) : values_(n) {}
  VARIANT& operator[](std::size_t i) { return values_[i].get(); }
  std::size_t size() const { return values_.size(); }

 private:
  std::vector<OwnedVariant> values_;
};

ComRef<IDispatch> create_zaverer();

// Invokes `method` with references to `vars` (or, when `by_value`, with copies); the result
// lands in `result`.
Outcome invoke(IDispatch* object, const std::wstring& method, Variables& vars, VARIANT& result,
               bool by_value = false);

// Err.Number of a failed call: the low word of the script facility's HRESULTs, else the
// HRESULT itself.
std::int32_t script_number(HRESULT hr);

std::string utf8(std::u16string_view s);
std::wstring wide(std::string_view ascii);

}  // namespace pelmo::testhost
