#include "windows/command/registered_object.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <optional>
#include <utility>
#include <vector>

#include "cli/wide_path_windows.h"
#include "pelmo/error.h"
#include "pelmo/identity.h"
#include "pelmo/text.h"
#include "windows/base/com_ref.h"
#include "windows/base/dispatch.h"
#include "windows/base/identity_guids.h"
#include "windows/base/variant_convert.h"
#include "windows/page/page_context.h"

namespace pelmo::command {

namespace {

using cli::MethodShape;
using cli::TargetError;
using com::ComRef;
using com::OwnedVariant;

constexpr int kBits = sizeof(void*) * 8;
constexpr int kOtherBits = kBits == 64 ? 32 : 64;
constexpr const char* kArch = kBits == 64 ? "x64" : "x86";

std::string narrow(std::wstring_view s) { return to_utf8(com::from_wide(s)); }

std::string hresult_text(HRESULT hr) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(hr));
  std::string text = cli::system_message(static_cast<DWORD>(hr));
  while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.pop_back();
  return text.empty() ? std::string(hex) : text + " (" + hex + ")";
}

// A text value under the class's key in a view of the registry, or nothing.
std::wstring class_value(REGSAM view, const wchar_t* subkey, const wchar_t* name) {
  const std::wstring key =
      L"CLSID\\" + std::wstring(identity::kClsId.begin(), identity::kClsId.end()) + L"\\" + subkey;
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ | view, &handle) != ERROR_SUCCESS) {
    return {};
  }
  wchar_t text[MAX_PATH * 4] = {};
  DWORD size = sizeof text - sizeof(wchar_t);
  DWORD type = 0;
  const LONG status =
      RegQueryValueExW(handle, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
  RegCloseKey(handle);
  if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
  return text;
}

// The module a view of the registry names for the class, or nothing.
std::wstring registered_module(REGSAM view) {
  return class_value(view, L"InprocServer32", nullptr);
}

// The file version of the module's version resource, "1.2.0.0", or nothing.
std::string file_version(const std::wstring& path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<char> data(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return {};
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
      fixed == nullptr) {
    return {};
  }
  return std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
         std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
         std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." +
         std::to_string(LOWORD(fixed->dwFileVersionLS));
}

std::string installer_hint() {
  return std::string("install pelmo-") + PELMO_VERSION + "-" + kArch + ".msi";
}

// `progid_found`: the ProgID led to a class id, so the failure came from creating the object.
[[noreturn]] void throw_activation_failure(HRESULT hr, bool progid_found) {
  const std::string name(identity::kProgId);
  const REGSAM own = kBits == 64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
  const REGSAM other = kBits == 64 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
  const std::wstring own_module = registered_module(own);
  if (own_module.empty()) {
    const bool elsewhere = !registered_module(other).empty();
    std::string message = name + " is not registered for " + std::to_string(kBits) +
                          "-bit programs; " + installer_hint();
    if (elsewhere) {
      message += " or run the " + std::to_string(kOtherBits) +
                 "-bit pelmo.exe (it is registered for " + std::to_string(kOtherBits) +
                 "-bit programs only)";
    }
    throw TargetError(message);
  }
  const std::string registered = name + " is registered for " + std::to_string(kBits) +
                                 "-bit programs as " + narrow(own_module);
  if (!progid_found) {
    // The ProgID's key is shared by both views: deleted by hand, or taken along by an older
    // version's removal of the other bitness's registration.
    throw TargetError(registered + ", but its ProgID is missing: " + hresult_text(hr) +
                      "; repair it: " + installer_hint() + " again");
  }
  throw TargetError(registered + ", but the module does not load: " + hresult_text(hr) +
                    "; repair it: " + installer_hint() + " again");
}

bool is_page_hook(std::string_view name) {
  const auto same = [](std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
             return (x | 0x20) == (y | 0x20);
           });
  };
  return same(name, "OnStartPage") || same(name, "OnEndPage");
}

// The methods as the object's type information shows them to script engines.
std::vector<MethodShape> read_methods(IDispatch* object) {
  ComRef<ITypeInfo> info;
  HRESULT hr = object->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put());
  if (FAILED(hr) || !info) {
    throw TargetError(std::string(identity::kProgId) +
                      " gives no type information: " + hresult_text(hr));
  }
  TYPEATTR* attributes = nullptr;
  if (FAILED(hr = info->GetTypeAttr(&attributes))) {
    throw TargetError("the type information cannot be read: " + hresult_text(hr));
  }
  const WORD count = attributes->cFuncs;
  info->ReleaseTypeAttr(attributes);
  std::vector<MethodShape> methods;
  for (WORD i = 0; i < count; ++i) {
    FUNCDESC* function = nullptr;
    if (FAILED(info->GetFuncDesc(i, &function))) continue;
    const MEMBERID id = function->memid;
    const bool shown =
        (function->wFuncFlags & FUNCFLAG_FRESTRICTED) == 0 && function->invkind == INVOKE_FUNC;
    std::size_t params = 0;
    for (SHORT p = 0; p < function->cParams; ++p) {
      if ((function->lprgelemdescParam[p].paramdesc.wParamFlags & PARAMFLAG_FRETVAL) == 0) {
        ++params;
      }
    }
    const UINT wanted = static_cast<UINT>(function->cParams) + 1;
    info->ReleaseFuncDesc(function);
    if (!shown) continue;
    std::vector<BSTR> names(wanted, nullptr);
    UINT got = 0;
    info->GetNames(id, names.data(), wanted, &got);
    MethodShape shape;
    shape.slot = static_cast<int>(id);
    for (UINT n = 0; n < got; ++n) {
      const std::string text = narrow(std::wstring_view(names[n], SysStringLen(names[n])));
      if (n == 0) {
        shape.name = text;
      } else if (n <= params) {
        shape.params.push_back(text);
      }
      SysFreeString(names[n]);
    }
    BSTR help = nullptr;
    if (SUCCEEDED(info->GetDocumentation(id, nullptr, &help, nullptr, nullptr)) &&
        help != nullptr) {
      shape.summary = narrow(std::wstring_view(help, SysStringLen(help)));
    }
    SysFreeString(help);
    shape.page_hook = is_page_hook(shape.name);
    methods.push_back(std::move(shape));
  }
  std::sort(methods.begin(), methods.end(),
            [](const MethodShape& a, const MethodShape& b) { return a.slot < b.slot; });
  return methods;
}

// The failure of an Invoke as a script sees it in Err: the exception's number and text.
AutomationError call_failure(HRESULT hr, EXCEPINFO& info) {
  std::u16string description;
  if (hr == DISP_E_EXCEPTION) {
    if (info.pfnDeferredFillIn != nullptr) info.pfnDeferredFillIn(&info);
    hr = info.scode != 0 ? info.scode : MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, info.wCode);
    if (info.bstrDescription != nullptr) {
      description = com::from_wide(
          std::wstring_view(info.bstrDescription, SysStringLen(info.bstrDescription)));
    }
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
  }
  return AutomationError(host::windows::error_number(hr), to_utf8(description));
}

class RegisteredObject final : public cli::CallTarget {
 public:
  explicit RegisteredObject(ComRef<IDispatch> object)
      : object_(std::move(object)), methods_(read_methods(object_.get())) {}

  const std::vector<MethodShape>& methods() const override { return methods_; }

  void open(const cli::PageOptions& options) override {
    with_page_ = options.with_page;
    if (!with_page_) return;
    page::PageSettings settings;
    settings.request_method = com::to_wide(options.request_method);
    settings.system_stream = page::system_stream_opens();
    std::vector<OwnedVariant> context(1);
    V_VT(&context[0].get()) = VT_DISPATCH;
    V_DISPATCH(&context[0].get()) = page::make_page(settings, std::make_shared<page::PageLog>());
    OwnedVariant none;
    if (std::optional<AutomationError> failure = invoke(L"OnStartPage", context, false, none)) {
      close();
      throw *failure;
    }
  }

  Variant call(const MethodShape& method, std::vector<Variant>& args) override {
    std::vector<OwnedVariant> variables(args.size());
    for (std::size_t i = 0; i < args.size(); ++i) com::to_variant(args[i], variables[i].get());
    // The variables hold what the method wrote also when it then failed.
    OwnedVariant result;
    const std::optional<AutomationError> failure =
        invoke(com::to_wide(from_utf8(method.name)).c_str(), variables, true, result);
    for (std::size_t i = 0; i < args.size(); ++i) args[i] = com::from_variant(variables[i].get());
    if (failure) throw *failure;
    return com::from_variant(result.get());
  }

  void close() override {
    if (!with_page_) return;
    std::vector<OwnedVariant> none;
    // The page is over either way; a failing OnEndPage has nothing to report to.
    OwnedVariant nothing;
    invoke(L"OnEndPage", none, false, nothing);
  }

 private:
  // Arguments by reference to the variables, as script engines pass a script's variables; the
  // page hooks take the context by value, as the web server hands it over. The failure, if any,
  // is returned rather than thrown, so the caller reads the write-backs first.
  std::optional<AutomationError> invoke(const wchar_t* member, std::vector<OwnedVariant>& variables,
                                        bool by_reference, OwnedVariant& result) {
    DISPID id = DISPID_UNKNOWN;
    auto* name = const_cast<LPOLESTR>(member);
    HRESULT hr = object_->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    EXCEPINFO info{};
    if (FAILED(hr)) return call_failure(hr, info);
    std::vector<VARIANT> args(variables.size());
    for (std::size_t i = 0; i < variables.size(); ++i) {
      VARIANT& arg = args[variables.size() - 1 - i];  // arguments travel last first
      if (by_reference) {
        VariantInit(&arg);
        V_VT(&arg) = VT_BYREF | VT_VARIANT;
        V_VARIANTREF(&arg) = &variables[i].get();
      } else {
        arg = variables[i].get();
      }
    }
    DISPPARAMS params = {args.data(), nullptr, static_cast<UINT>(args.size()), 0};
    UINT bad_argument = 0;
    hr = object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result.get(),
                         &info, &bad_argument);
    if (FAILED(hr)) return call_failure(hr, info);
    return std::nullopt;
  }

  ComRef<IDispatch> object_;
  std::vector<MethodShape> methods_;
  bool with_page_ = false;
};

}  // namespace

std::unique_ptr<cli::CallTarget> connect_registered() {
  CLSID clsid{};
  const std::wstring progid = com::to_wide(from_utf8(identity::kProgId));
  HRESULT hr = CLSIDFromProgID(progid.c_str(), &clsid);
  if (FAILED(hr)) throw_activation_failure(hr, false);
  ComRef<IDispatch> object;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                        reinterpret_cast<void**>(object.put()));
  if (FAILED(hr)) throw_activation_failure(hr, true);
  return std::make_unique<RegisteredObject>(std::move(object));
}

std::optional<std::vector<cli::InfoField>> registered_module_facts() {
  const REGSAM own = kBits == 64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
  const std::wstring path = registered_module(own);
  if (path.empty()) return std::nullopt;
  const auto or_none = [](const std::string& text) {
    return text.empty() ? std::string("(none)") : text;
  };
  return std::vector<cli::InfoField>{
      {"path", narrow(path)},
      {"file_version", or_none(file_version(path))},
      {"progid", std::string(identity::kProgId)},
      {"clsid", std::string(identity::kClsId)},
      {"threading_model", or_none(narrow(class_value(own, L"InprocServer32", L"ThreadingModel")))},
      {"type_library", or_none(narrow(class_value(own, L"TypeLib", nullptr))) + " " +
                           or_none(narrow(class_value(own, L"Version", nullptr)))},
      {"registry_view", std::to_string(kBits) + "-bit"}};
}

std::unique_ptr<cli::CallTarget> connect_module_file(const std::wstring& path) {
  // Kept loaded for the life of the process, as COM keeps an in-process server.
  HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module == nullptr) {
    throw TargetError("the module " + narrow(path) +
                      " does not load: " + hresult_text(HRESULT_FROM_WIN32(GetLastError())));
  }
  using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  const auto get_class_object = reinterpret_cast<GetClassObject>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
  if (get_class_object == nullptr) {
    throw TargetError("the module " + narrow(path) + " is no COM server (no DllGetClassObject)");
  }
  ComRef<IClassFactory> factory;
  HRESULT hr =
      get_class_object(com::kClsId, IID_IClassFactory, reinterpret_cast<void**>(factory.put()));
  ComRef<IDispatch> object;
  if (SUCCEEDED(hr)) {
    hr = factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(object.put()));
  }
  if (FAILED(hr)) {
    throw TargetError("the module " + narrow(path) + " gives no " + std::string(identity::kProgId) +
                      ": " + hresult_text(hr));
  }
  return std::make_unique<RegisteredObject>(std::move(object));
}

}  // namespace pelmo::command
