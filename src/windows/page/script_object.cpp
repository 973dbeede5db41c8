#include "windows/page/script_object.h"

#include <cwchar>

namespace pelmo::page {

std::atomic<long> ScriptObject::live_{0};

ScriptObject::ScriptObject(std::vector<std::wstring> members) : members_(std::move(members)) {
  ++live_;
}

ScriptObject::~ScriptObject() { --live_; }

HRESULT ScriptObject::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IDispatch) {
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG ScriptObject::AddRef() { return static_cast<ULONG>(++refs_); }

ULONG ScriptObject::Release() {
  const long left = --refs_;
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

HRESULT ScriptObject::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT ScriptObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info != nullptr) *info = nullptr;
  return DISP_E_BADINDEX;
}

HRESULT ScriptObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (names == nullptr || ids == nullptr || count == 0) return E_INVALIDARG;
  // Members take no named arguments, so only the first name can be known.
  for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  for (std::size_t m = 0; m < members_.size(); ++m) {
    if (_wcsicmp(members_[m].c_str(), names[0]) == 0) ids[0] = static_cast<DISPID>(m + 1);
  }
  return (ids[0] == DISPID_UNKNOWN || count > 1) ? DISP_E_UNKNOWNNAME : S_OK;
}

HRESULT ScriptObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                             VARIANT* result, EXCEPINFO* exception, UINT*) {
  if (params == nullptr) return E_INVALIDARG;
  if (id != DISPID_VALUE && (id < 1 || static_cast<std::size_t>(id) > members_.size())) {
    return DISP_E_MEMBERNOTFOUND;
  }
  std::vector<VARIANT*> args;
  for (UINT i = params->cArgs; i > 0; --i) args.push_back(&params->rgvarg[i - 1]);
  if (result != nullptr) VariantInit(result);
  current_exception_ = exception;
  const HRESULT hr = call(id, flags, args, result);
  current_exception_ = nullptr;
  return hr;
}

HRESULT ScriptObject::raise(EXCEPINFO* exception, HRESULT hr, const wchar_t* description) {
  if (exception == nullptr) return hr;
  *exception = EXCEPINFO{};
  exception->scode = hr;
  exception->bstrSource = SysAllocString(L"pelmo page");
  exception->bstrDescription = SysAllocString(description);
  return DISP_E_EXCEPTION;
}

}  // namespace pelmo::page
