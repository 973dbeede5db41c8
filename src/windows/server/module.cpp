#include "windows/server/module.h"

#include <atomic>

#include "pelmo/error.h"
#include "windows/base/com_ref.h"
#include "windows/base/identity_guids.h"
#include "windows/server/com_error.h"

namespace pelmo::com {

namespace {

HMODULE g_module = nullptr;
std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};

// Objects may live in several apartments; the type information is shared between them, as
// the system's own type libraries are.
INIT_ONCE g_type_info_once = INIT_ONCE_STATIC_INIT;
ITypeInfo* g_type_info = nullptr;
ITypeInfo* g_vtable_info = nullptr;
HRESULT g_type_info_result = E_UNEXPECTED;

// Runs inside the system's one-time initialisation, which no exception may cross; a failure to
// find memory for the path leaves it undone, to be tried again by the next object.
BOOL CALLBACK load_type_info(PINIT_ONCE, PVOID, PVOID*) noexcept {
  std::wstring path;
  try {
    path = module_path();
  } catch (...) {
    g_type_info_result = E_OUTOFMEMORY;
    return FALSE;
  }
  ComRef<ITypeLib> library;
  ComRef<ITypeInfo> dispatch, vtable;
  HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put());
  if (SUCCEEDED(hr)) hr = library->GetTypeInfoOfGuid(kIid, dispatch.put());
  // A dual interface's library entry is its dispatch half; the slots live in the other one.
  HREFTYPE ref = 0;
  if (SUCCEEDED(hr)) hr = dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref);
  if (SUCCEEDED(hr)) hr = dispatch->GetRefTypeInfo(ref, vtable.put());
  g_type_info_result = hr;
  if (SUCCEEDED(hr)) {
    g_type_info = dispatch.release();
    g_vtable_info = vtable.release();
  }
  return TRUE;
}

}  // namespace

HMODULE module_handle() { return g_module; }

std::wstring module_path() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(g_module, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

void count_object(bool created) {
  if (created) {
    ++g_objects;
  } else {
    --g_objects;
  }
}

void count_lock(bool locked) {
  if (locked) {
    ++g_locks;
  } else {
    --g_locks;
  }
}

bool module_in_use() { return g_objects.load() != 0 || g_locks.load() != 0; }

TypeInfos zaverer_type_info() {
  if (!InitOnceExecuteOnce(&g_type_info_once, load_type_info, nullptr, nullptr) ||
      g_type_info == nullptr) {
    throw AutomationError(static_cast<std::int32_t>(g_type_info_result),
                          "The type library of pelmo.dll cannot be loaded");
  }
  g_type_info->AddRef();
  g_vtable_info->AddRef();
  return {g_type_info, g_vtable_info};
}

}  // namespace pelmo::com

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    pelmo::com::g_module = instance;
    DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr &&
             pelmo::com::g_type_info != nullptr) {
    // Unloaded by FreeLibrary, not at process exit: the type library is still there to release.
    pelmo::com::g_type_info->Release();
    pelmo::com::g_type_info = nullptr;
    pelmo::com::g_vtable_info->Release();
    pelmo::com::g_vtable_info = nullptr;
  }
  return TRUE;
}

STDAPI DllCanUnloadNow() { return pelmo::com::module_in_use() ? S_FALSE : S_OK; }
