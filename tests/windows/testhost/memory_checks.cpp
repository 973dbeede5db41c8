// Running out of memory inside the module, made deterministic: the test host points the loaded
// module's imports of the C runtime's allocator (and of the system's string allocator) at
// versions that succeed a given number of times and then fail, and walks that number up
// through every allocation a call makes. Whatever fails, the caller must get an HRESULT (the
// normal answer, or 7 "Out of memory"), never an exception or a dead process, and the module
// must work again and unload once memory is back.
#include <objbase.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "calling.h"
#include "modes.h"

namespace pelmo::testhost {

namespace {

// Allocations still allowed before every further one fails; negative: no limit.
std::atomic<long> g_allowed{-1};

bool allocation_fails() {
  long left = g_allowed.load();
  while (left >= 0) {
    if (left == 0) return true;
    if (g_allowed.compare_exchange_weak(left, left - 1)) return false;
  }
  return false;
}

using Malloc = void*(__cdecl*)(size_t);
using Calloc = void*(__cdecl*)(size_t, size_t);
using Realloc = void*(__cdecl*)(void*, size_t);
using AllocLen = BSTR(WINAPI*)(const OLECHAR*, UINT);
using AllocByteLen = BSTR(WINAPI*)(LPCSTR, UINT);
Malloc g_malloc = nullptr;
Calloc g_calloc = nullptr;
Realloc g_realloc = nullptr;
AllocLen g_alloc_len = nullptr;
AllocByteLen g_alloc_byte_len = nullptr;

void* __cdecl limited_malloc(size_t n) { return allocation_fails() ? nullptr : g_malloc(n); }
void* __cdecl limited_calloc(size_t n, size_t size) {
  return allocation_fails() ? nullptr : g_calloc(n, size);
}
void* __cdecl limited_realloc(void* p, size_t n) {
  return allocation_fails() ? nullptr : g_realloc(p, n);
}
BSTR WINAPI limited_alloc_len(const OLECHAR* s, UINT n) {
  return allocation_fails() ? nullptr : g_alloc_len(s, n);
}
BSTR WINAPI limited_alloc_byte_len(LPCSTR s, UINT n) {
  return allocation_fails() ? nullptr : g_alloc_byte_len(s, n);
}

// The import slot of `function` from `library` in the loaded module, or null.
void** import_slot(HMODULE module, const char* library, const char* function) {
  auto* base = reinterpret_cast<BYTE*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       d->Name != 0; ++d) {
    if (_stricmp(reinterpret_cast<const char*>(base + d->Name), library) != 0) continue;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* by_name =
          reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(by_name->Name), function) == 0) {
        return reinterpret_cast<void**>(&slots->u1.Function);
      }
    }
  }
  return nullptr;
}

template <typename F>
bool redirect(HMODULE module, const char* library, const char* function, F replacement,
              F& original) {
  void** slot = import_slot(module, library, function);
  if (slot == nullptr) return false;
  DWORD protection = 0;
  if (!VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &protection)) return false;
  original = reinterpret_cast<F>(*slot);
  *slot = reinterpret_cast<void*>(replacement);
  VirtualProtect(slot, sizeof(void*), protection, &protection);
  return true;
}

bool limit_allocations(HMODULE module) {
  return redirect(module, "msvcrt.dll", "malloc", &limited_malloc, g_malloc) &&
         redirect(module, "msvcrt.dll", "calloc", &limited_calloc, g_calloc) &&
         redirect(module, "msvcrt.dll", "realloc", &limited_realloc, g_realloc) &&
         redirect(module, "oleaut32.dll", "SysAllocStringLen", &limited_alloc_len, g_alloc_len) &&
         redirect(module, "oleaut32.dll", "SysAllocStringByteLen", &limited_alloc_byte_len,
                  g_alloc_byte_len);
}

struct Call {
  const wchar_t* method;
  std::vector<std::wstring> texts;  // the arguments (a "\x01" stands for Null)
};

// Runs the call with `allowed` allocations; returns the outcome.
Outcome call_with(IDispatch* object, const Call& call, long allowed, VARIANT& result) {
  Variables vars(call.texts.size());
  for (std::size_t i = 0; i < call.texts.size(); ++i) {
    if (call.texts[i] == L"\x01") {
      V_VT(&vars[i]) = VT_NULL;
    } else {
      V_VT(&vars[i]) = VT_BSTR;
      V_BSTR(&vars[i]) = SysAllocString(call.texts[i].c_str());
    }
  }
  g_allowed = allowed;
  Outcome outcome = invoke(object, call.method, vars, result);
  g_allowed = -1;
  return outcome;
}

// Every allocation of the call fails in turn; the answers are the full one or 7.
void check_call_under_failures(Checks& checks, IDispatch* object, const Call& call) {
  OwnedVariant expected_result;
  const Outcome expected = call_with(object, call, -1, expected_result.get());
  int out_of_memory = 0, text_missing = 0;
  long allowed = 0;
  bool odd = false;
  std::string detail;
  for (; allowed < 100000; ++allowed) {
    OwnedVariant result;
    const Outcome got = call_with(object, call, allowed, result.get());
    if (got.hr == expected.hr && got.number == expected.number &&
        got.description == expected.description &&
        com::from_variant(result.get()) == com::from_variant(expected_result.get())) {
      break;  // enough allocations for the whole call
    }
    // The error's text is the last thing made: without memory for it the number still comes.
    const bool text_lost = got.description.empty();
    if (got.hr == DISP_E_EXCEPTION && got.number == 7 &&
        (got.description == u"Out of memory" || text_lost)) {
      ++out_of_memory;
    } else if (got.hr == expected.hr && got.number == expected.number && got.number != 0 &&
               text_lost) {
      ++text_missing;
    } else if (!odd) {
      odd = true;
      detail = " (with " + std::to_string(allowed) + " allocations: hr " + std::to_string(got.hr) +
               ", number " + std::to_string(got.number) + ")";
    }
  }
  const std::string what =
      utf8(com::from_wide(call.method)) + ": " + std::to_string(out_of_memory) +
      " allocation failures in turn give 7 \"Out of memory\" (" + std::to_string(text_missing) +
      " the call's own error without its text), then the normal answer" + detail;
  checks.check(!odd && out_of_memory > 0 && allowed < 100000, what);
}

template <typename F>
F entry_point(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// An entry point under failing allocations: S_OK once it has what it needs, E_OUTOFMEMORY
// before; never anything thrown.
void check_export_under_failures(Checks& checks, const char* name, HRESULT (*call)(HMODULE),
                                 HMODULE module) {
  int refused = 0;
  long allowed = 0;
  HRESULT hr = E_FAIL;
  for (; allowed < 10000; ++allowed) {
    g_allowed = allowed;
    hr = call(module);
    g_allowed = -1;
    if (hr != E_OUTOFMEMORY) break;
    ++refused;
  }
  checks.check(hr == S_OK, std::string(name) + ": E_OUTOFMEMORY " + std::to_string(refused) +
                               " time(s) while allocations fail, then S_OK");
}

}  // namespace

void check_memory(Checks& checks) {
  ComRef<IDispatch> object = create_zaverer();
  if (!checks.check(static_cast<bool>(object), "CreateObject(\"pelmo.zaverer\")")) return;
  HMODULE module = GetModuleHandleW(L"pelmo.dll");
  if (!checks.check(module != nullptr && limit_allocations(module),
                    "the module's allocator imports redirected")) {
    return;
  }
  const std::vector<Call> calls = {
      {L"Emailis", {L"\x01"}},  // fails with 94: the failure path itself allocates
      {L"Emailis", {L"someone@example.com"}},
      {L"FNum", {L"1, 2.5,abc,,-3"}},
      {L"Bint", {L" 12.7 "}},
      {L"Bq_x", {L"3"}},
      {L"D1616_GetContent", {L"<a>1</a><a>2</a>", L"<a>", L"</a>", L"2"}},
  };
  for (const Call& call : calls) check_call_under_failures(checks, object.get(), call);

  // A new object while nothing can be allocated: refused with an HRESULT.
  {
    CLSID clsid{};
    CLSIDFromProgID(L"pelmo.zaverer", &clsid);
    ComRef<IClassFactory> factory;
    CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                     reinterpret_cast<void**>(factory.put()));
    ComRef<IDispatch> refused;
    g_allowed = 0;
    const HRESULT hr = factory ? factory->CreateInstance(nullptr, IID_IDispatch,
                                                         reinterpret_cast<void**>(refused.put()))
                               : E_FAIL;
    g_allowed = -1;
    checks.check(hr == E_OUTOFMEMORY && !refused, "CreateInstance without memory: E_OUTOFMEMORY");
  }

  check_export_under_failures(
      checks, "DllGetClassObject",
      [](HMODULE m) {
        using Get = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
        CLSID clsid{};
        CLSIDFromProgID(L"pelmo.zaverer", &clsid);
        IClassFactory* factory = nullptr;
        const HRESULT hr = entry_point<Get>(m, "DllGetClassObject")(
            clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
        if (factory != nullptr) factory->Release();
        return hr;
      },
      module);
  // Unregistering and registering again leave the registration as the suite made it.
  check_export_under_failures(
      checks, "DllUnregisterServer",
      [](HMODULE m) { return entry_point<HRESULT(STDAPICALLTYPE*)()>(m, "DllUnregisterServer")(); },
      module);
  check_export_under_failures(
      checks, "DllRegisterServer",
      [](HMODULE m) { return entry_point<HRESULT(STDAPICALLTYPE*)()>(m, "DllRegisterServer")(); },
      module);

  OwnedVariant result;
  Variables vars(1);
  V_VT(&vars[0]) = VT_BSTR;
  V_BSTR(&vars[0]) = SysAllocString(L" a  b ");
  const Outcome after = invoke(object.get(), L"Str4Null", vars, result.get());
  checks.check(after.hr == S_OK && V_VT(&result.get()) == VT_BSTR &&
                   std::wstring(V_BSTR(&result.get())) == L"a b",
               "with memory back the object answers as before");
  object.reset();
  const auto can_unload = entry_point<HRESULT(STDAPICALLTYPE*)()>(module, "DllCanUnloadNow");
  checks.check(can_unload() == S_OK, "DllCanUnloadNow says yes once everything is released");
}

}  // namespace pelmo::testhost
