#include "windows/server/zaverer_com.h"

#include <exception>
#include <new>
#include <string>
#include <vector>

#include "pelmo/catalogue.h"
#include "pelmo/error.h"
#include "pelmo/identity.h"
#include "pelmo/object.h"
#include "pelmo/text.h"
#include "windows/base/identity_guids.h"
#include "windows/base/variant_convert.h"
#include "windows/hosts/windows_hosts.h"
#include "windows/server/module.h"

namespace pelmo::com {

namespace {

// Holds a reference on the object for the length of a call, so a script that drops its last
// reference from inside a callback cannot pull the object away under the running slot.
class CallGuard {
 public:
  explicit CallGuard(IUnknown* self) : self_(self) { self_->AddRef(); }
  CallGuard(const CallGuard&) = delete;
  CallGuard& operator=(const CallGuard&) = delete;
  ~CallGuard() { self_->Release(); }

 private:
  IUnknown* self_;
};

}  // namespace

HRESULT ZavererCom::create(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  ZavererCom* object = nullptr;
  try {
    const TypeInfos infos = zaverer_type_info();
    object =
        new ZavererCom(create_object(identity::kProgId), ComRef<ITypeInfo>::adopt(infos.dispatch),
                       ComRef<ITypeInfo>::adopt(infos.vtable));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const AutomationError& e) {
    return hresult_for(e.number());
  } catch (...) {
    return E_UNEXPECTED;
  }
  const HRESULT hr = object->QueryInterface(iid, out);
  object->Release();
  return hr;
}

ZavererCom::ZavererCom(std::shared_ptr<pelmo::_zaverer> core, ComRef<ITypeInfo> dispatch_info,
                       ComRef<ITypeInfo> vtable_info)
    : core_(std::move(core)),
      dispatch_info_(std::move(dispatch_info)),
      vtable_info_(std::move(vtable_info)) {
  count_object(true);
}

ZavererCom::~ZavererCom() {
  core_.reset();  // releases the page objects still held
  count_object(false);
}

HRESULT ZavererCom::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IDispatch || iid == kIid) {
    *out = static_cast<::_zaverer*>(this);
  } else if (iid == IID_ISupportErrorInfo) {
    *out = static_cast<ISupportErrorInfo*>(this);
  } else {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG ZavererCom::AddRef() { return static_cast<ULONG>(++refs_); }

ULONG ZavererCom::Release() {
  const long left = --refs_;
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

HRESULT ZavererCom::InterfaceSupportsErrorInfo(REFIID iid) {
  return (iid == kIid || iid == IID_IDispatch) ? S_OK : S_FALSE;
}

HRESULT ZavererCom::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT ZavererCom::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  *info = ComRef<ITypeInfo>(dispatch_info_).release();
  return S_OK;
}

HRESULT ZavererCom::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  return DispGetIDsOfNames(vtable_info_.get(), names, count, ids);
}

HRESULT ZavererCom::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                           VARIANT* result, EXCEPINFO* exception, UINT* bad_argument) {
  if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  CallGuard guard(static_cast<::_zaverer*>(this));
  last_failure_.reset();
  HRESULT hr = vtable_info_->Invoke(static_cast<::_zaverer*>(this), id, flags, params, result,
                                    exception, bad_argument);
  // Whatever the dispatcher made of a failing slot, the script gets the slot's own number and
  // description.
  if (last_failure_ && FAILED(hr)) {
    if (exception != nullptr) {
      // Only a dispatcher that raised the exception itself has filled the structure.
      if (hr != DISP_E_EXCEPTION) *exception = EXCEPINFO{};
      fill_excepinfo(*exception, *last_failure_);
      hr = DISP_E_EXCEPTION;
    } else {
      hr = last_failure_->hr;
    }
  }
  last_failure_.reset();
  return hr;
}

namespace {

Failure describe(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const AutomationError& e) {
    return {hresult_for(e.number()), from_utf8(e.description())};
  } catch (const std::bad_alloc&) {
    return out_of_memory_failure();
  } catch (const std::exception& e) {
    return {E_UNEXPECTED, from_utf8(e.what())};
  } catch (...) {
    return {E_UNEXPECTED, u"Unexpected failure"};
  }
}

}  // namespace

HRESULT ZavererCom::fail(std::exception_ptr error) noexcept {
  try {
    last_failure_ = describe(error);
  } catch (...) {
    // The description itself needed memory that is not there.
    last_failure_ = out_of_memory_failure();
  }
  return raise(*last_failure_, kIid);
}

HRESULT ZavererCom::call_slot(int slot, std::initializer_list<VARIANT*> args, VARIANT* result) {
  if (result == nullptr) return E_POINTER;
  VariantInit(result);
  for (VARIANT* arg : args) {
    if (arg == nullptr) return E_POINTER;
  }
  CallGuard guard(static_cast<::_zaverer*>(this));
  try {
    const MethodEntry& entry = catalogue()[static_cast<std::size_t>(slot - 1)];
    std::vector<Variant> values;
    values.reserve(args.size());
    for (VARIANT* arg : args) values.push_back(from_variant(*arg));
    const std::vector<Variant> before = values;
    std::vector<Variant*> refs;
    refs.reserve(values.size());
    for (Variant& value : values) refs.push_back(&value);

    // The caller's variables see what the slot wrote, whether it then succeeded or not. A
    // variable that refused its value does not stop the others; whether one did is returned.
    auto write_backs = [&] {
      bool refused = false;
      std::size_t i = 0;
      for (VARIANT* arg : args) {
        if (values[i] != before[i]) {
          try {
            write_back(*arg, values[i]);
          } catch (const AutomationError&) {
            refused = true;
          }
        }
        ++i;
      }
      return refused;
    };
    Variant out;
    try {
      entry.invoke(*core_, refs, out);
    } catch (...) {
      write_backs();  // the slot's own failure is the one the caller sees
      throw;
    }
    if (write_backs()) throw_type_mismatch();
    OwnedVariant converted;
    to_variant(out, converted.get());
    *result = converted.release();
    return S_OK;
  } catch (...) {
    return fail(std::current_exception());
  }
}

HRESULT ZavererCom::OnStartPage(IUnknown* PassedscriptContext) {
  CallGuard guard(static_cast<::_zaverer*>(this));
  try {
    std::shared_ptr<host::ScriptingContext> context;
    if (PassedscriptContext != nullptr) {
      context = host::windows::make_scripting_context(PassedscriptContext);
    }
    core_->OnStartPage(context);
    return S_OK;
  } catch (...) {
    return fail(std::current_exception());
  }
}

HRESULT ZavererCom::OnEndPage() {
  CallGuard guard(static_cast<::_zaverer*>(this));
  try {
    core_->OnEndPage();
    return S_OK;
  } catch (...) {
    return fail(std::current_exception());
  }
}

HRESULT ZavererCom::aDir(VARIANT* G_VIRTUAL_ROOT_DIR, VARIANT* JS_Path, VARIANT* result) {
  return call_slot(2, {G_VIRTUAL_ROOT_DIR, JS_Path}, result);
}

HRESULT ZavererCom::Tarvessa_getHTTPPage_utf2(VARIANT* Path, VARIANT* result) {
  return call_slot(3, {Path}, result);
}

HRESULT ZavererCom::Tarvessa_GetBody_s(VARIANT* url, VARIANT* result) {
  return call_slot(4, {url}, result);
}

HRESULT ZavererCom::Tarvessa_BytesToBstr(VARIANT* body, VARIANT* Cset, VARIANT* result) {
  return call_slot(5, {body, Cset}, result);
}

HRESULT ZavererCom::Tarvessa_getHTTPPage(VARIANT* Path, VARIANT* result) {
  return call_slot(6, {Path}, result);
}

HRESULT ZavererCom::Tarvessa_getHTTPPage_new(VARIANT* Path, VARIANT* result) {
  return call_slot(7, {Path}, result);
}

HRESULT ZavererCom::Tarvessa_GetBody_s_new(VARIANT* url, VARIANT* result) {
  return call_slot(8, {url}, result);
}

HRESULT ZavererCom::Tarvessa_BytesToBstr_new(VARIANT* arrBytes, VARIANT* result) {
  return call_slot(9, {arrBytes}, result);
}

HRESULT ZavererCom::Tarvessa_getHTTPPage_utf(VARIANT* Path, VARIANT* result) {
  return call_slot(10, {Path}, result);
}

HRESULT ZavererCom::Emailis(VARIANT* email, VARIANT* result) {
  return call_slot(11, {email}, result);
}

HRESULT ZavererCom::FNum(VARIANT* s, VARIANT* result) { return call_slot(12, {s}, result); }

HRESULT ZavererCom::Bint(VARIANT* str, VARIANT* result) { return call_slot(13, {str}, result); }

HRESULT ZavererCom::StayNub(VARIANT* ContentStr, VARIANT* result) {
  return call_slot(14, {ContentStr}, result);
}

HRESULT ZavererCom::Lnumbs(VARIANT* v, VARIANT* result) { return call_slot(15, {v}, result); }

HRESULT ZavererCom::Rm(VARIANT* str, VARIANT* result) { return call_slot(16, {str}, result); }

HRESULT ZavererCom::isPb(VARIANT* result) { return call_slot(17, {}, result); }

HRESULT ZavererCom::Ltxt(VARIANT* ContentStr, VARIANT* result) {
  return call_slot(18, {ContentStr}, result);
}

HRESULT ZavererCom::Str4Null(VARIANT* sInfo, VARIANT* result) {
  return call_slot(19, {sInfo}, result);
}

HRESULT ZavererCom::pelmoConstStr(VARIANT* v1, VARIANT* v2, VARIANT* v3, VARIANT* result) {
  return call_slot(20, {v1, v2, v3}, result);
}

HRESULT ZavererCom::D1616_m(VARIANT* v1, VARIANT* v2, VARIANT* v3, VARIANT* v4, VARIANT* v5,
                            VARIANT* v6, VARIANT* v7, VARIANT* v8, VARIANT* v9, VARIANT* v10,
                            VARIANT* result) {
  return call_slot(21, {v1, v2, v3, v4, v5, v6, v7, v8, v9, v10}, result);
}

HRESULT ZavererCom::D1616_Tuan_ppk_2(VARIANT* v, VARIANT* result) {
  return call_slot(22, {v}, result);
}

HRESULT ZavererCom::D1616_body2s(VARIANT* wstr, VARIANT* start, VARIANT* over, VARIANT* str,
                                 VARIANT* tag, VARIANT* result) {
  return call_slot(23, {wstr, start, over, str, tag}, result);
}

HRESULT ZavererCom::D1616_GetContent(VARIANT* str, VARIANT* start, VARIANT* last, VARIANT* n,
                                     VARIANT* result) {
  return call_slot(24, {str, start, last, n}, result);
}

HRESULT ZavererCom::D1616_Tuan_Smain(VARIANT* url, VARIANT* pcity, VARIANT* pcate, VARIANT* ppage,
                                     VARIANT* result) {
  return call_slot(25, {url, pcity, pcate, ppage}, result);
}

HRESULT ZavererCom::D1616_Tuan_Shezhi(VARIANT* str, VARIANT* n, VARIANT* result) {
  return call_slot(26, {str, n}, result);
}

HRESULT ZavererCom::D1616_New_index(VARIANT* result) { return call_slot(27, {}, result); }

HRESULT ZavererCom::D1616_Gouwu_Cj_Pic(VARIANT* Str2, VARIANT* oStr, VARIANT* oid,
                                       VARIANT* result) {
  return call_slot(28, {Str2, oStr, oid}, result);
}

HRESULT ZavererCom::D1616_Gouwu_Cj_Txt(VARIANT* Str2, VARIANT* oStr, VARIANT* oid,
                                       VARIANT* result) {
  return call_slot(29, {Str2, oStr, oid}, result);
}

HRESULT ZavererCom::Bq_x(VARIANT* v1, VARIANT* result) { return call_slot(30, {v1}, result); }
}  // namespace pelmo::com
