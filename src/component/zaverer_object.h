// The class zaverer: holds the six page references and forwards each slot to its subsystem.
#pragma once

#include <memory>

#include "host/platform.h"
#include "pelmo/page_objects.h"
#include "pelmo/zaverer.h"

namespace pelmo {

class ZavererObject final : public _zaverer {
 public:
  explicit ZavererObject(std::shared_ptr<host::Platform> platform);

  void OnStartPage(const std::shared_ptr<host::ScriptingContext>& PassedscriptContext) override;
  void aDir(V& G_VIRTUAL_ROOT_DIR, V& JS_Path, V& result) override;
  void Tarvessa_getHTTPPage_utf2(V& Path, V& result) override;
  void Tarvessa_GetBody_s(V& url, V& result) override;
  void Tarvessa_BytesToBstr(V& body, V& Cset, V& result) override;
  void Tarvessa_getHTTPPage(V& Path, V& result) override;
  void Tarvessa_getHTTPPage_new(V& Path, V& result) override;
  void Tarvessa_GetBody_s_new(V& url, V& result) override;
  void Tarvessa_BytesToBstr_new(V& arrBytes, V& result) override;
  void Tarvessa_getHTTPPage_utf(V& Path, V& result) override;
  void Emailis(V& email, V& result) override;
  void FNum(V& s, V& result) override;
  void Bint(V& str, V& result) override;
  void StayNub(V& ContentStr, V& result) override;
  void Lnumbs(V& v, V& result) override;
  void Rm(V& str, V& result) override;
  void isPb(V& result) override;
  void Ltxt(V& ContentStr, V& result) override;
  void Str4Null(V& sInfo, V& result) override;
  void pelmoConstStr(V& v1, V& v2, V& v3, V& result) override;
  void D1616_m(V& v1, V& v2, V& v3, V& v4, V& v5, V& v6, V& v7, V& v8, V& v9, V& v10,
               V& result) override;
  void D1616_Tuan_ppk_2(V& v, V& result) override;
  void D1616_body2s(V& wstr, V& start, V& over, V& str, V& tag, V& result) override;
  void D1616_GetContent(V& str, V& start, V& last, V& n, V& result) override;
  void D1616_Tuan_Smain(V& url, V& pcity, V& pcate, V& ppage, V& result) override;
  void D1616_Tuan_Shezhi(V& str, V& n, V& result) override;
  void D1616_New_index(V& result) override;
  void D1616_Gouwu_Cj_Pic(V& Str2, V& oStr, V& oid, V& result) override;
  void D1616_Gouwu_Cj_Txt(V& Str2, V& oStr, V& oid, V& result) override;
  void Bq_x(V& v1, V& result) override;
  void OnEndPage() override;

  // True while all six page references are held.
  bool started() const;

 private:
  // Every slot's frame: the result is Empty before any work and receives the value only when
  // the work succeeds; on a failure it stays Empty and the error travels on. `slot` is the
  // calling method's name (std::source_location is missing from the sanitizers' clang).
  template <typename Work>
  void run_slot(Variant& result, Work&& work, const char* slot = __builtin_FUNCTION());

  host::ServerObject& server() const;
  host::RequestObject& request() const;

  std::shared_ptr<host::Platform> platform_;
  // The six references, in declared order.
  std::shared_ptr<host::ScriptingContext> context_;
  std::shared_ptr<host::PageObject> application_;
  std::shared_ptr<host::PageObject> response_;
  std::shared_ptr<host::RequestObject> request_;
  std::shared_ptr<host::PageObject> session_;
  std::shared_ptr<host::ServerObject> server_;
};

}  // namespace pelmo
