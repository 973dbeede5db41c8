// Calls on automation objects by member name, with their failures turned into the core's
// AutomationError.
#pragma once

#include <oaidl.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "windows/base/com_ref.h"
#include "windows/base/variant_convert.h"

namespace pelmo::host::windows {

using com::ComRef;
using com::OwnedVariant;

// An HRESULT as the core's error number: errors of the script facility (0x800A....) are
// the plain numbers a script sees (5017, 3001), anything else stays the HRESULT.
std::int32_t error_number(HRESULT hr);

[[noreturn]] void throw_failure(HRESULT hr, std::u16string description);

class DispatchObject {
 public:
  // `what` names the object in error descriptions ("MSXML2.XMLHTTP").
  DispatchObject(ComRef<IDispatch> object, std::u16string what)
      : object_(std::move(object)), what_(std::move(what)) {}

  // A method call (arguments in their natural order); its result, Empty when there is none.
  OwnedVariant call(const wchar_t* member, std::initializer_list<VARIANT> args = {});
  // A property read, optionally with arguments (a collection's item).
  OwnedVariant get(const wchar_t* member, std::initializer_list<VARIANT> args = {});
  // The default member, as a script reads `object(args)`.
  OwnedVariant get_default(std::initializer_list<VARIANT> args = {});
  void put(const wchar_t* member, const VARIANT& value);

  IDispatch* raw() const { return object_.get(); }

 private:
  OwnedVariant invoke(DISPID id, const wchar_t* member, WORD flags,
                      std::initializer_list<VARIANT> args, bool property_put);
  DISPID id_of(const wchar_t* member);

  ComRef<IDispatch> object_;
  std::u16string what_;
};

// The IDispatch of an object in a VARIANT, or a failure (424, object required).
ComRef<IDispatch> object_of(const VARIANT& v, std::u16string_view what);

// Creates an automation object of this process's apartment by class id.
ComRef<IDispatch> create_by_clsid(const CLSID& clsid, std::u16string_view what);

// Argument VARIANTs that borrow their data: valid while the source lives.
VARIANT bstr_arg(BSTR b);
VARIANT bool_arg(bool b);
VARIANT long_arg(std::int32_t n);

// A BSTR that frees itself.
class OwnedBstr {
 public:
  explicit OwnedBstr(std::u16string_view s);
  OwnedBstr(const OwnedBstr&) = delete;
  OwnedBstr& operator=(const OwnedBstr&) = delete;
  ~OwnedBstr() { SysFreeString(b_); }
  BSTR get() const { return b_; }

 private:
  BSTR b_;
};

}  // namespace pelmo::host::windows
