// DllRegisterServer and DllUnregisterServer: the class under HKCR\CLSID, the ProgID, and the
// type library with its interface, registered from the module's own resource.
#include <olectl.h>
#include <windows.h>

#include <new>
#include <string>

#include "pelmo/identity.h"
#include "windows/base/com_ref.h"
#include "windows/base/identity_guids.h"
#include "windows/server/module.h"

namespace pelmo::com {

namespace {

std::wstring wide_ascii(std::string_view s) { return std::wstring(s.begin(), s.end()); }

const std::wstring& clsid_text() {
  static const std::wstring text = wide_ascii(identity::kClsId);
  return text;
}

HRESULT set_value(const std::wstring& key_path, const wchar_t* name, const std::wstring& value) {
  HKEY key = nullptr;
  LONG status = RegCreateKeyExW(HKEY_CLASSES_ROOT, key_path.c_str(), 0, nullptr, 0, KEY_WRITE,
                                nullptr, &key, nullptr);
  if (status == ERROR_SUCCESS) {
    const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    status =
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes);
    RegCloseKey(key);
  }
  return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(status));
}

HRESULT delete_tree(const std::wstring& key_path) {
  const LONG status = RegDeleteTreeW(HKEY_CLASSES_ROOT, key_path.c_str());
  if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) return S_OK;
  return HRESULT_FROM_WIN32(static_cast<DWORD>(status));
}

HRESULT register_all() {
  const std::wstring path = module_path();
  if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
  const std::wstring clsid_key = L"CLSID\\" + clsid_text();
  const std::wstring progid = wide_ascii(identity::kProgId);
  const std::wstring class_name = wide_ascii(identity::kClassName);
  const std::wstring version =
      std::to_wstring(identity::kVersionMajor) + L"." + std::to_wstring(identity::kVersionMinor);

  const struct {
    std::wstring key;
    const wchar_t* name;
    std::wstring value;
  } entries[] = {
      {clsid_key, nullptr, class_name},
      {clsid_key + L"\\InprocServer32", nullptr, path},
      {clsid_key + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
      {clsid_key + L"\\ProgID", nullptr, progid},
      {clsid_key + L"\\TypeLib", nullptr, wide_ascii(identity::kLibId)},
      {clsid_key + L"\\Version", nullptr, version},
      {progid, nullptr, class_name},
      {progid + L"\\CLSID", nullptr, clsid_text()},
  };
  for (const auto& entry : entries) {
    const HRESULT hr = set_value(entry.key, entry.name, entry.value);
    if (FAILED(hr)) return hr;
  }
  // Registers the library and, through it, the dual interface with the system's marshaller.
  ComRef<ITypeLib> library;
  return LoadTypeLibEx(path.c_str(), REGKIND_REGISTER, library.put());
}

constexpr SYSKIND kSysKind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;

// This module's own platform entry of the library: the other architecture's module may have
// registered the same version beside it.
bool library_registered() {
  const std::wstring key_path = L"TypeLib\\" + wide_ascii(identity::kLibId) + L"\\" +
                                std::to_wstring(identity::kVersionMajor) + L"." +
                                std::to_wstring(identity::kVersionMinor) + L"\\0\\" +
                                (kSysKind == SYS_WIN64 ? L"win64" : L"win32");
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key_path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

// Whether the other architecture's module is registered for the class: the ProgID key is one
// for both registry views, so it stays while that registration needs it.
bool other_view_registered() {
  constexpr REGSAM kOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
  const std::wstring key_path = L"CLSID\\" + clsid_text() + L"\\InprocServer32";
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key_path.c_str(), 0, KEY_READ | kOtherView, &key) !=
      ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

}  // namespace

}  // namespace pelmo::com

// Neither entry point lets an exception out: regsvr32 and installers get an HRESULT.
STDAPI DllRegisterServer() {
  HRESULT hr = E_UNEXPECTED;
  try {
    hr = pelmo::com::register_all();
  } catch (const std::bad_alloc&) {
    hr = E_OUTOFMEMORY;
  } catch (...) {
  }
  if (FAILED(hr)) DllUnregisterServer();  // leave nothing half written
  return hr;
}

STDAPI DllUnregisterServer() {
  using namespace pelmo::com;
  try {
    // The library (and with it the interface keys) only when it is there: gone already is fine.
    HRESULT tlb = S_OK;
    if (library_registered()) {
      tlb = UnRegisterTypeLib(kLibId, static_cast<WORD>(pelmo::identity::kVersionMajor),
                              static_cast<WORD>(pelmo::identity::kVersionMinor), LOCALE_NEUTRAL,
                              kSysKind);
    }
    const HRESULT clsid = delete_tree(L"CLSID\\" + clsid_text());
    // After this view's class is gone: on 32-bit Windows the "other" view is this one.
    const HRESULT progid =
        other_view_registered() ? S_OK : delete_tree(wide_ascii(pelmo::identity::kProgId));
    return FAILED(tlb) ? tlb : FAILED(clsid) ? clsid : progid;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}
