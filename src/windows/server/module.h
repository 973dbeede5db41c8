// Module-wide state of pelmo.dll: its handle, the counts behind DllCanUnloadNow, and the type
// information the dispatch interface is driven by.
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <string>

namespace pelmo::com {

HMODULE module_handle();
std::wstring module_path();

// Every live object and class factory counts; so does every LockServer(TRUE).
void count_object(bool created);
void count_lock(bool locked);
bool module_in_use();

// The type information of _zaverer from the module's own type-library resource, loaded once:
// the dispatch half that clients are shown, and the virtual-table half that calls go through.
// New references for the caller; throws AutomationError when the resource cannot be read.
struct TypeInfos {
  ITypeInfo* dispatch;
  ITypeInfo* vtable;
};
TypeInfos zaverer_type_info();

}  // namespace pelmo::com
