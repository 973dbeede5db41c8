// The COM face of zaverer: IUnknown, the type-library-driven IDispatch and the 31 slots of
// _zaverer, each forwarding to the core object through the catalogue.
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <atomic>
#include <initializer_list>
#include <memory>
#include <optional>

#include "pelmo/zaverer.h"
#include "pelmo_h.h"
#include "windows/base/com_ref.h"
#include "windows/server/com_error.h"

namespace pelmo::com {

class ZavererCom final : public ::_zaverer, public ISupportErrorInfo {
 public:
  // A new object in the created state, handed out through `iid`.
  static HRESULT create(REFIID iid, void** out);

  ZavererCom(const ZavererCom&) = delete;
  ZavererCom& operator=(const ZavererCom&) = delete;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // ISupportErrorInfo
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;

  // IDispatch, driven by the type library
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception,
                                   UINT* bad_argument) override;

  // _zaverer
  HRESULT STDMETHODCALLTYPE OnStartPage(IUnknown* PassedscriptContext) override;
  HRESULT STDMETHODCALLTYPE aDir(VARIANT* G_VIRTUAL_ROOT_DIR, VARIANT* JS_Path,
                                 VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE Tarvessa_getHTTPPage_utf2(VARIANT* Path, VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE Tarvessa_GetBody_s(VARIANT* url, VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE Tarvessa_BytesToBstr(VARIANT* body, VARIANT* Cset,
                                                 VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE Tarvessa_getHTTPPage(VARIANT* Path, VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE Tarvessa_getHTTPPage_new(VARIANT* Path, VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE Tarvessa_GetBody_s_new(VARIANT* url, VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE Tarvessa_BytesToBstr_new(VARIANT* arrBytes, VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE Tarvessa_getHTTPPage_utf(VARIANT* Path, VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE Emailis(VARIANT* email, VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE FNum(VARIANT* s, VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE Bint(VARIANT* str, VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE StayNub(VARIANT* ContentStr, VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE Lnumbs(VARIANT* v, VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE Rm(VARIANT* str, VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE isPb(VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE Ltxt(VARIANT* ContentStr, VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE Str4Null(VARIANT* sInfo, VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE pelmoConstStr(VARIANT* v1, VARIANT* v2, VARIANT* v3,
                                          VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE D1616_m(VARIANT* v1, VARIANT* v2, VARIANT* v3, VARIANT* v4, VARIANT* v5,
                                    VARIANT* v6, VARIANT* v7, VARIANT* v8, VARIANT* v9,
                                    VARIANT* v10, VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE D1616_Tuan_ppk_2(VARIANT* v, VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE D1616_body2s(VARIANT* wstr, VARIANT* start, VARIANT* over, VARIANT* str,
                                         VARIANT* tag, VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE D1616_GetContent(VARIANT* str, VARIANT* start, VARIANT* last,
                                             VARIANT* n, VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE D1616_Tuan_Smain(VARIANT* url, VARIANT* pcity, VARIANT* pcate,
                                             VARIANT* ppage, VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE D1616_Tuan_Shezhi(VARIANT* str, VARIANT* n, VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE D1616_New_index(VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE D1616_Gouwu_Cj_Pic(VARIANT* Str2, VARIANT* oStr, VARIANT* oid,
                                               VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE D1616_Gouwu_Cj_Txt(VARIANT* Str2, VARIANT* oStr, VARIANT* oid,
                                               VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE Bq_x(VARIANT* v1, VARIANT* result) override;
  HRESULT STDMETHODCALLTYPE OnEndPage() override;

 private:
  ZavererCom(std::shared_ptr<pelmo::_zaverer> core, ComRef<ITypeInfo> dispatch_info,
             ComRef<ITypeInfo> vtable_info);
  ~ZavererCom();

  // The frame of every slot: converts the arguments, invokes the core's slot, writes changed
  // arguments back (also when the call then fails; a typed variable that cannot take its value
  // fails a call that succeeded with 13) and converts the result.
  HRESULT call_slot(int slot, std::initializer_list<VARIANT*> args, VARIANT* result);
  // Turns whatever the core threw into the HRESULT and error object of the failure. Throws
  // nothing: when even the description cannot be had, the failure is a fixed out-of-memory one.
  HRESULT fail(std::exception_ptr error) noexcept;

  std::atomic<long> refs_{1};
  std::shared_ptr<pelmo::_zaverer> core_;
  ComRef<ITypeInfo> dispatch_info_;  // what GetTypeInfo shows
  ComRef<ITypeInfo> vtable_info_;    // what names and calls go through
  // The last failure of a slot, for the EXCEPINFO of the Invoke that called it.
  std::optional<Failure> last_failure_;
};

}  // namespace pelmo::com
