// The dual interface _zaverer: 31 slots in virtual-table order. Every parameter is a reference
// to the caller's variant; the last one of a method is the result. A failing method throws
// AutomationError and leaves its result Empty.
#pragma once

#include <memory>

#include "pelmo/page_objects.h"
#include "pelmo/variant.h"

namespace pelmo {

using V = Variant;

class _zaverer {
 public:
  virtual ~_zaverer() = default;

  /* 1 */ virtual void OnStartPage(
      const std::shared_ptr<host::ScriptingContext>& PassedscriptContext) = 0;
  /* 2 */ virtual void aDir(V& G_VIRTUAL_ROOT_DIR, V& JS_Path, V& result) = 0;
  /* 3 */ virtual void Tarvessa_getHTTPPage_utf2(V& Path, V& result) = 0;
  /* 4 */ virtual void Tarvessa_GetBody_s(V& url, V& result) = 0;
  /* 5 */ virtual void Tarvessa_BytesToBstr(V& body, V& Cset, V& result) = 0;
  /* 6 */ virtual void Tarvessa_getHTTPPage(V& Path, V& result) = 0;
  /* 7 */ virtual void Tarvessa_getHTTPPage_new(V& Path, V& result) = 0;
  /* 8 */ virtual void Tarvessa_GetBody_s_new(V& url, V& result) = 0;
  /* 9 */ virtual void Tarvessa_BytesToBstr_new(V& arrBytes, V& result) = 0;
  /* 10 */ virtual void Tarvessa_getHTTPPage_utf(V& Path, V& result) = 0;
  /* 11 */ virtual void Emailis(V& email, V& result) = 0;
  /* 12 */ virtual void FNum(V& s, V& result) = 0;
  /* 13 */ virtual void Bint(V& str, V& result) = 0;
  /* 14 */ virtual void StayNub(V& ContentStr, V& result) = 0;
  /* 15 */ virtual void Lnumbs(V& v, V& result) = 0;
  /* 16 */ virtual void Rm(V& str, V& result) = 0;
  /* 17 */ virtual void isPb(V& result) = 0;
  /* 18 */ virtual void Ltxt(V& ContentStr, V& result) = 0;
  /* 19 */ virtual void Str4Null(V& sInfo, V& result) = 0;
  /* 20 */ virtual void pelmoConstStr(V& v1, V& v2, V& v3, V& result) = 0;
  /* 21 */ virtual void D1616_m(V& v1, V& v2, V& v3, V& v4, V& v5, V& v6, V& v7, V& v8, V& v9,
                                V& v10, V& result) = 0;
  /* 22 */ virtual void D1616_Tuan_ppk_2(V& v, V& result) = 0;
  /* 23 */ virtual void D1616_body2s(V& wstr, V& start, V& over, V& str, V& tag, V& result) = 0;
  /* 24 */ virtual void D1616_GetContent(V& str, V& start, V& last, V& n, V& result) = 0;
  /* 25 */ virtual void D1616_Tuan_Smain(V& url, V& pcity, V& pcate, V& ppage, V& result) = 0;
  /* 26 */ virtual void D1616_Tuan_Shezhi(V& str, V& n, V& result) = 0;
  /* 27 */ virtual void D1616_New_index(V& result) = 0;
  /* 28 */ virtual void D1616_Gouwu_Cj_Pic(V& Str2, V& oStr, V& oid, V& result) = 0;
  /* 29 */ virtual void D1616_Gouwu_Cj_Txt(V& Str2, V& oStr, V& oid, V& result) = 0;
  /* 30 */ virtual void Bq_x(V& v1, V& result) = 0;
  /* 31 */ virtual void OnEndPage() = 0;
};

}  // namespace pelmo
