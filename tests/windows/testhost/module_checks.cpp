// The module itself: its type library (help strings included), version resource, entry points
// and registration.
#include <objbase.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "calling.h"
#include "modes.h"
#include "pelmo/catalogue.h"
#include "pelmo/identity.h"
#include "pelmo/text.h"
#include "pelmo_h.h"
#include "windows/base/identity_guids.h"

namespace pelmo::testhost {

namespace {

std::string narrow(const wchar_t* s) {
  return s == nullptr ? std::string() : to_utf8(com::from_wide(s));
}

std::string narrow(BSTR s, bool free) {
  std::string out = narrow(static_cast<const wchar_t*>(s));
  if (free) SysFreeString(s);
  return out;
}

std::string type_name(ITypeInfo* info) {
  BSTR name = nullptr;
  info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
  return narrow(name, true);
}

// The help string of a type (MEMBERID_NIL) or of one of its members.
std::string help_string(ITypeInfo* info, MEMBERID member) {
  BSTR help = nullptr;
  info->GetDocumentation(member, nullptr, &help, nullptr, nullptr);
  return narrow(help, true);
}

bool is_variant_pointer(const TYPEDESC& t) {
  return t.vt == VT_PTR && t.lptdesc != nullptr && t.lptdesc->vt == VT_VARIANT;
}

// One function of the interface part against its catalogue entry.
void check_function(Checks& checks, ITypeInfo* iface, UINT index, const MethodEntry& entry) {
  const std::string where = "slot " + std::to_string(entry.slot) + " " + std::string(entry.name);
  FUNCDESC* fd = nullptr;
  if (!checks.check(SUCCEEDED(iface->GetFuncDesc(index, &fd)), where + ": described")) return;
  checks.check(fd->oVft == static_cast<SHORT>((7 + index) * sizeof(void*)),
               where + ": virtual-table offset after the seven of IDispatch");
  checks.check(fd->funckind == FUNC_PUREVIRTUAL && fd->invkind == INVOKE_FUNC &&
                   fd->elemdescFunc.tdesc.vt == VT_HRESULT,
               where + ": a method returning HRESULT");
  BSTR names[16] = {};
  UINT count = 0;
  iface->GetNames(fd->memid, names, 16, &count);
  std::vector<std::string> got;
  for (UINT i = 0; i < count; ++i) got.push_back(narrow(names[i], true));
  checks.check(!got.empty() && got[0] == entry.name, where + ": name");
  checks.check(help_string(iface, fd->memid) == entry.summary,
               where + ": help string is the summary line of docs/methods.md");

  const std::size_t own = entry.params.size();
  if (entry.name == "OnStartPage") {
    checks.check(fd->cParams == 1 && fd->lprgelemdescParam[0].tdesc.vt == VT_UNKNOWN &&
                     got.size() == 2 && got[1] == "PassedscriptContext",
                 where + ": takes the page context as IUnknown*");
  } else if (entry.name == "OnEndPage") {
    checks.check(fd->cParams == 0, where + ": no parameters");
  } else if (checks.check(fd->cParams == static_cast<SHORT>(own + 1),
                          where + ": parameters of the catalogue plus the result")) {
    bool names_match = got.size() >= own + 1;
    bool in_out = true;
    for (std::size_t i = 0; i < own; ++i) {
      if (names_match && got[i + 1] != entry.params[i]) names_match = false;
      const ELEMDESC& p = fd->lprgelemdescParam[i];
      if (!is_variant_pointer(p.tdesc) ||
          p.paramdesc.wParamFlags != (PARAMFLAG_FIN | PARAMFLAG_FOUT)) {
        in_out = false;
      }
    }
    checks.check(names_match, where + ": parameter names as in the catalogue");
    checks.check(in_out, where + ": every parameter [in, out] VARIANT*");
    const ELEMDESC& last = fd->lprgelemdescParam[own];
    checks.check(is_variant_pointer(last.tdesc) &&
                     last.paramdesc.wParamFlags == (PARAMFLAG_FOUT | PARAMFLAG_FRETVAL),
                 where + ": last parameter [out, retval] VARIANT*");
  }
  iface->ReleaseFuncDesc(fd);
}

void check_version_resource(Checks& checks, const std::wstring& dll) {
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(dll.c_str(), &handle);
  std::vector<BYTE> data(size);
  if (!checks.check(size != 0 && GetFileVersionInfoW(dll.c_str(), 0, size, data.data()),
                    "version resource present")) {
    return;
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length);
  const std::string version = std::string(PELMO_VERSION) + ".0";
  unsigned major = 0, minor = 0, patch = 0;
  std::sscanf(PELMO_VERSION, "%u.%u.%u", &major, &minor, &patch);
  const DWORD high = (major << 16) | minor, low = patch << 16;
  checks.check(fixed != nullptr && fixed->dwFileVersionMS == high &&
                   fixed->dwFileVersionLS == low && fixed->dwProductVersionMS == high &&
                   fixed->dwProductVersionLS == low,
               "file and product version " + version);
  struct Translation {
    WORD language, code_page;
  }* translation = nullptr;
  VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                 &length);
  if (!checks.check(translation != nullptr && length >= sizeof(Translation),
                    "version translation present")) {
    return;
  }
  wchar_t block[64];
  swprintf(block, 64, L"\\StringFileInfo\\%04x%04x\\", translation->language,
           translation->code_page);
  auto value = [&](const wchar_t* name) -> std::string {
    wchar_t* text = nullptr;
    UINT chars = 0;
    const std::wstring path = std::wstring(block) + name;
    if (!VerQueryValueW(data.data(), path.c_str(), reinterpret_cast<void**>(&text), &chars)) {
      return "(missing)";
    }
    return narrow(text);
  };
  checks.check(value(L"OLESelfRegister") != "(missing)", "marked self-registering");
  checks.check(value(L"FileVersion") == version && value(L"ProductVersion") == version,
               "version texts " + version);
}

}  // namespace

void check_library(Checks& checks, const std::wstring& dll) {
  ComRef<ITypeLib> library;
  if (!checks.check(SUCCEEDED(LoadTypeLibEx(dll.c_str(), REGKIND_NONE, library.put())),
                    "type library embedded as resource 1")) {
    return;
  }
  TLIBATTR* attr = nullptr;
  library->GetLibAttr(&attr);
  checks.check(attr->guid == com::kLibId && attr->wMajorVerNum == identity::kVersionMajor &&
                   attr->wMinorVerNum == identity::kVersionMinor,
               "library LIBID " + std::string(identity::kLibId) + " version 1.0");
  library->ReleaseTLibAttr(attr);
  BSTR name = nullptr, help = nullptr;
  library->GetDocumentation(-1, &name, &help, nullptr, nullptr);
  checks.check(narrow(name, true) == identity::kLibraryName, "library name pelmo");
  checks.check(narrow(help, true) == identity::kLibraryHelp, "library help string");

  ComRef<ITypeInfo> coclass;
  if (checks.check(SUCCEEDED(library->GetTypeInfoOfGuid(com::kClsId, coclass.put())),
                   "coclass CLSID " + std::string(identity::kClsId))) {
    TYPEATTR* ta = nullptr;
    coclass->GetTypeAttr(&ta);
    checks.check(ta->typekind == TKIND_COCLASS && (ta->wTypeFlags & TYPEFLAG_FCANCREATE) != 0 &&
                     ta->cImplTypes == 1,
                 "coclass creatable with one interface");
    coclass->ReleaseTypeAttr(ta);
    checks.check(type_name(coclass.get()) == identity::kClassName, "coclass name zaverer");
    checks.check(help_string(coclass.get(), MEMBERID_NIL) == identity::kClassHelp,
                 "coclass help string");
    INT flags = 0;
    HREFTYPE ref = 0;
    ComRef<ITypeInfo> default_interface;
    coclass->GetImplTypeFlags(0, &flags);
    coclass->GetRefTypeOfImplType(0, &ref);
    coclass->GetRefTypeInfo(ref, default_interface.put());
    TYPEATTR* da = nullptr;
    if (default_interface) default_interface->GetTypeAttr(&da);
    checks.check((flags & IMPLTYPEFLAG_FDEFAULT) != 0 && da != nullptr && da->guid == com::kIid,
                 "default interface is _zaverer");
    if (da != nullptr) default_interface->ReleaseTypeAttr(da);
  }

  ComRef<ITypeInfo> dispatch;
  if (!checks.check(SUCCEEDED(library->GetTypeInfoOfGuid(com::kIid, dispatch.put())),
                    "interface IID " + std::string(identity::kIid))) {
    return;
  }
  TYPEATTR* ta = nullptr;
  dispatch->GetTypeAttr(&ta);
  const WORD wanted = TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FHIDDEN;
  checks.check(ta->typekind == TKIND_DISPATCH && (ta->wTypeFlags & wanted) == wanted,
               "_zaverer dual, not extensible, hidden");
  dispatch->ReleaseTypeAttr(ta);
  checks.check(type_name(dispatch.get()) == identity::kInterfaceName, "interface name _zaverer");
  checks.check(help_string(dispatch.get(), MEMBERID_NIL) == identity::kInterfaceHelp,
               "interface help string");

  // The virtual-table half of the dual interface carries the slots.
  HREFTYPE ref = 0;
  ComRef<ITypeInfo> iface;
  dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref);
  if (!checks.check(SUCCEEDED(dispatch->GetRefTypeInfo(ref, iface.put())),
                    "interface half of the dual interface")) {
    return;
  }
  iface->GetTypeAttr(&ta);
  const auto slots = catalogue();
  checks.check(ta->typekind == TKIND_INTERFACE && (ta->wTypeFlags & TYPEFLAG_FOLEAUTOMATION) != 0 &&
                   ta->cFuncs == slots.size() &&
                   ta->cbSizeVft == (7 + slots.size()) * sizeof(void*),
               "31 automation-compatible slots after IDispatch's seven");
  const UINT functions = ta->cFuncs;
  iface->ReleaseTypeAttr(ta);
  for (UINT i = 0; i < functions && i < slots.size(); ++i) {
    check_function(checks, iface.get(), i, slots[i]);
  }

  check_version_resource(checks, dll);
}

void check_unloading(Checks& checks, const std::wstring& dll) {
  HMODULE module = LoadLibraryW(dll.c_str());
  if (!checks.check(module != nullptr, "module loads")) return;
  using CanUnload = HRESULT(STDAPICALLTYPE*)();
  using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  auto can_unload = reinterpret_cast<CanUnload>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
  auto get_class = reinterpret_cast<GetClassObject>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
  checks.check(GetProcAddress(module, "DllRegisterServer") != nullptr &&
                   GetProcAddress(module, "DllUnregisterServer") != nullptr &&
                   can_unload != nullptr && get_class != nullptr,
               "the four entry points are exported undecorated");
  if (can_unload == nullptr || get_class == nullptr) return;

  checks.check(can_unload() == S_OK, "DllCanUnloadNow: nothing outstanding at first");
  IClassFactory* none = nullptr;
  checks.check(get_class(IID_IDispatch, IID_IClassFactory, reinterpret_cast<void**>(&none)) ==
                       CLASS_E_CLASSNOTAVAILABLE &&
                   none == nullptr,
               "DllGetClassObject refuses another CLSID");

  ComRef<IClassFactory> factory;
  checks.check(
      SUCCEEDED(get_class(com::kClsId, IID_IClassFactory, reinterpret_cast<void**>(factory.put()))),
      "DllGetClassObject gives the class factory");
  if (!factory) return;
  checks.check(can_unload() == S_FALSE, "a held factory keeps the module");
  factory->LockServer(TRUE);
  factory.reset();
  checks.check(can_unload() == S_FALSE, "a lock keeps the module after the factory is gone");

  get_class(com::kClsId, IID_IClassFactory, reinterpret_cast<void**>(factory.put()));
  factory->LockServer(FALSE);
  ComRef<IUnknown> object;
  ComRef<IUnknown> outer_refused;
  checks.check(factory->CreateInstance(reinterpret_cast<IUnknown*>(factory.get()), IID_IUnknown,
                                       reinterpret_cast<void**>(outer_refused.put())) ==
                   CLASS_E_NOAGGREGATION,
               "no aggregation");
  checks.check(SUCCEEDED(factory->CreateInstance(nullptr, IID_IUnknown,
                                                 reinterpret_cast<void**>(object.put()))),
               "the factory creates an object");
  factory.reset();
  checks.check(can_unload() == S_FALSE, "a live object keeps the module");

  ComRef<IDispatch> dispatch;
  ComRef<IUnknown> error_info;
  ComRef<IUnknown> unknown_interface;
  checks.check(
      SUCCEEDED(object->QueryInterface(com::kIid, reinterpret_cast<void**>(dispatch.put()))) &&
          SUCCEEDED(object->QueryInterface(IID_ISupportErrorInfo,
                                           reinterpret_cast<void**>(error_info.put()))),
      "the object answers for _zaverer and ISupportErrorInfo");
  checks.check(
      object->QueryInterface(IID_IClassFactory,
                             reinterpret_cast<void**>(unknown_interface.put())) == E_NOINTERFACE,
      "and for nothing it does not have");
  object.reset();
  dispatch.reset();
  checks.check(can_unload() == S_FALSE, "an interface still held keeps the module");
  error_info.reset();
  checks.check(can_unload() == S_OK, "DllCanUnloadNow once the last reference is gone");
  FreeLibrary(module);
}

namespace {

// The default value (or a named value) of a key under HKEY_CLASSES_ROOT; nullopt when absent.
bool read_value(const std::wstring& key_path, const wchar_t* name, std::wstring& out) {
  wchar_t buffer[1024];
  DWORD bytes = sizeof buffer;
  const LONG status = RegGetValueW(HKEY_CLASSES_ROOT, key_path.c_str(), name, RRF_RT_REG_SZ,
                                   nullptr, buffer, &bytes);
  if (status != ERROR_SUCCESS) return false;
  out.assign(buffer);
  return true;
}

bool key_exists(const std::wstring& key_path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key_path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

}  // namespace

void check_registration(Checks& checks, const std::wstring& dll, bool registered) {
  const std::wstring clsid_key = L"CLSID\\" + wide(identity::kClsId);
  const std::wstring progid = wide(identity::kProgId);
  const std::wstring typelib_key = L"TypeLib\\" + wide(identity::kLibId) + L"\\1.0";
  const std::wstring interface_key = L"Interface\\" + wide(identity::kIid);
  const wchar_t* platform = sizeof(void*) == 8 ? L"\\0\\win64" : L"\\0\\win32";
  CLSID found{};
  const bool progid_known = SUCCEEDED(CLSIDFromProgID(progid.c_str(), &found));
  ComRef<IDispatch> object;
  const HRESULT created = CoCreateInstance(com::kClsId, nullptr, CLSCTX_INPROC_SERVER,
                                           IID_IDispatch, reinterpret_cast<void**>(object.put()));
  object.reset();

  if (!registered) {
    checks.check(!key_exists(clsid_key), "unregistered: no HKCR\\CLSID\\{clsid}");
    checks.check(!key_exists(progid), "unregistered: no HKCR\\pelmo.zaverer");
    checks.check(!key_exists(typelib_key), "unregistered: type library gone");
    checks.check(!key_exists(interface_key), "unregistered: interface gone");
    checks.check(!progid_known, "unregistered: the ProgID no longer resolves");
    checks.check(created == REGDB_E_CLASSNOTREG, "unregistered: the class cannot be created");
    return;
  }

  wchar_t full[MAX_PATH];
  GetFullPathNameW(dll.c_str(), MAX_PATH, full, nullptr);
  std::wstring value;
  checks.check(read_value(clsid_key + L"\\InprocServer32", nullptr, value) &&
                   _wcsicmp(value.c_str(), full) == 0,
               "InprocServer32 is the module's path");
  checks.check(read_value(clsid_key + L"\\InprocServer32", L"ThreadingModel", value) &&
                   value == L"Apartment",
               "ThreadingModel Apartment");
  checks.check(read_value(clsid_key + L"\\ProgID", nullptr, value) && value == progid,
               "CLSID\\ProgID pelmo.zaverer");
  checks.check(read_value(progid + L"\\CLSID", nullptr, value) && value == wide(identity::kClsId),
               "pelmo.zaverer\\CLSID");
  // Wine writes the library's path in its long form, behind "\\?\".
  const bool library_path = read_value(typelib_key + platform, nullptr, value);
  if (value.rfind(L"\\\\?\\", 0) == 0) value.erase(0, 4);
  checks.check(library_path && _wcsicmp(value.c_str(), full) == 0,
               "type library registered from the module");
  checks.check(read_value(interface_key, nullptr, value) && value == L"_zaverer" &&
                   key_exists(interface_key + L"\\ProxyStubClsid32"),
               "interface registered with the automation marshaller");
  checks.check(progid_known && found == com::kClsId, "the ProgID resolves to the CLSID");
  checks.check(SUCCEEDED(created), "the class is created through the registry");
}

}  // namespace pelmo::testhost
