// Automation objects of a page outside a web server, driven by member name as the module drives
// the web server's page objects: a fixed list of member names, each a DISPID, and one virtual call.
#pragma once

#include <oaidl.h>

#include <atomic>
#include <string>
#include <vector>

namespace pelmo::page {

class ScriptObject : public IDispatch {
 public:
  ScriptObject(const ScriptObject&) = delete;
  ScriptObject& operator=(const ScriptObject&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception, UINT*) override;

  // Objects of this kind still alive in the process, so tests can see every reference go.
  static long live() { return live_.load(); }

 protected:
  // DISPID n + 1 is members[n]; DISPID_VALUE reaches call() too, for default members.
  explicit ScriptObject(std::vector<std::wstring> members);
  virtual ~ScriptObject();

  // `args` in their natural order; a property put brings its value as the last argument.
  virtual HRESULT call(DISPID id, WORD flags, const std::vector<VARIANT*>& args,
                       VARIANT* result) = 0;

  // Fails the current call as an automation object does, with a description.
  static HRESULT raise(EXCEPINFO* exception, HRESULT hr, const wchar_t* description);
  EXCEPINFO* current_exception_ = nullptr;

 private:
  std::vector<std::wstring> members_;
  std::atomic<long> refs_{1};
  static std::atomic<long> live_;
};

}  // namespace pelmo::page
