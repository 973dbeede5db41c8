// The class factory of zaverer and DllGetClassObject. Each factory handed out counts as a
// live object of the module until its last reference goes.
#include <objbase.h>

#include <atomic>
#include <new>

#include "windows/base/identity_guids.h"
#include "windows/server/module.h"
#include "windows/server/zaverer_com.h"

namespace pelmo::com {

namespace {

class ClassFactory final : public IClassFactory {
 public:
  ClassFactory() { count_object(true); }
  ClassFactory(const ClassFactory&) = delete;
  ClassFactory& operator=(const ClassFactory&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const long left = --refs_;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return ZavererCom::create(iid, out);
  }

  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    count_lock(lock != FALSE);
    return S_OK;
  }

 private:
  ~ClassFactory() { count_object(false); }
  std::atomic<long> refs_{1};
};

}  // namespace

}  // namespace pelmo::com

// Allocates only through the non-throwing new: nothing can cross into the caller.
STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (clsid != pelmo::com::kClsId) return CLASS_E_CLASSNOTAVAILABLE;
  auto* factory = new (std::nothrow) pelmo::com::ClassFactory();
  if (factory == nullptr) return E_OUTOFMEMORY;
  const HRESULT hr = factory->QueryInterface(iid, out);
  factory->Release();
  return hr;
}
