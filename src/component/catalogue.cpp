#include "pelmo/catalogue.h"

#include <algorithm>
#include <string>

#include "method_summaries.h"
#include "pelmo/error.h"

namespace pelmo {

namespace {

using Args = std::span<Variant* const>;

// Binds a member slot to an invoker over an argument span of the right length.
#define PELMO_SLOT(call)                \
  [](_zaverer& z, Args a, Variant& r) { \
    (void)a;                            \
    z.call;                             \
  }

// Each summary is the first line of the method's section in docs/methods.md, which the build
// turns into method_summaries.h: a method without a section does not compile.
const std::vector<MethodEntry>& table() {
  static const std::vector<MethodEntry> entries = {
      {1, "OnStartPage", {"PassedscriptContext"}, PELMO_SUMMARY_OnStartPage, nullptr},
      {2,
       "aDir",
       {"G_VIRTUAL_ROOT_DIR", "JS_Path"},
       PELMO_SUMMARY_aDir,
       PELMO_SLOT(aDir(*a[0], *a[1], r))},
      {3,
       "Tarvessa_getHTTPPage_utf2",
       {"Path"},
       PELMO_SUMMARY_Tarvessa_getHTTPPage_utf2,
       PELMO_SLOT(Tarvessa_getHTTPPage_utf2(*a[0], r))},
      {4,
       "Tarvessa_GetBody_s",
       {"url"},
       PELMO_SUMMARY_Tarvessa_GetBody_s,
       PELMO_SLOT(Tarvessa_GetBody_s(*a[0], r))},
      {5,
       "Tarvessa_BytesToBstr",
       {"body", "Cset"},
       PELMO_SUMMARY_Tarvessa_BytesToBstr,
       PELMO_SLOT(Tarvessa_BytesToBstr(*a[0], *a[1], r))},
      {6,
       "Tarvessa_getHTTPPage",
       {"Path"},
       PELMO_SUMMARY_Tarvessa_getHTTPPage,
       PELMO_SLOT(Tarvessa_getHTTPPage(*a[0], r))},
      {7,
       "Tarvessa_getHTTPPage_new",
       {"Path"},
       PELMO_SUMMARY_Tarvessa_getHTTPPage_new,
       PELMO_SLOT(Tarvessa_getHTTPPage_new(*a[0], r))},
      {8,
       "Tarvessa_GetBody_s_new",
       {"url"},
       PELMO_SUMMARY_Tarvessa_GetBody_s_new,
       PELMO_SLOT(Tarvessa_GetBody_s_new(*a[0], r))},
      {9,
       "Tarvessa_BytesToBstr_new",
       {"arrBytes"},
       PELMO_SUMMARY_Tarvessa_BytesToBstr_new,
       PELMO_SLOT(Tarvessa_BytesToBstr_new(*a[0], r))},
      {10,
       "Tarvessa_getHTTPPage_utf",
       {"Path"},
       PELMO_SUMMARY_Tarvessa_getHTTPPage_utf,
       PELMO_SLOT(Tarvessa_getHTTPPage_utf(*a[0], r))},
      {11, "Emailis", {"email"}, PELMO_SUMMARY_Emailis, PELMO_SLOT(Emailis(*a[0], r))},
      {12, "FNum", {"s"}, PELMO_SUMMARY_FNum, PELMO_SLOT(FNum(*a[0], r))},
      {13, "Bint", {"str"}, PELMO_SUMMARY_Bint, PELMO_SLOT(Bint(*a[0], r))},
      {14, "StayNub", {"ContentStr"}, PELMO_SUMMARY_StayNub, PELMO_SLOT(StayNub(*a[0], r))},
      {15, "Lnumbs", {"v"}, PELMO_SUMMARY_Lnumbs, PELMO_SLOT(Lnumbs(*a[0], r))},
      {16, "Rm", {"str"}, PELMO_SUMMARY_Rm, PELMO_SLOT(Rm(*a[0], r))},
      {17, "isPb", {}, PELMO_SUMMARY_isPb, PELMO_SLOT(isPb(r))},
      {18, "Ltxt", {"ContentStr"}, PELMO_SUMMARY_Ltxt, PELMO_SLOT(Ltxt(*a[0], r))},
      {19, "Str4Null", {"sInfo"}, PELMO_SUMMARY_Str4Null, PELMO_SLOT(Str4Null(*a[0], r))},
      {20,
       "pelmoConstStr",
       {"v1", "v2", "v3"},
       PELMO_SUMMARY_pelmoConstStr,
       PELMO_SLOT(pelmoConstStr(*a[0], *a[1], *a[2], r))},
      {21,
       "D1616_m",
       {"v1", "v2", "v3", "v4", "v5", "v6", "v7", "v8", "v9", "v10"},
       PELMO_SUMMARY_D1616_m,
       PELMO_SLOT(
           D1616_m(*a[0], *a[1], *a[2], *a[3], *a[4], *a[5], *a[6], *a[7], *a[8], *a[9], r))},
      {22,
       "D1616_Tuan_ppk_2",
       {"v"},
       PELMO_SUMMARY_D1616_Tuan_ppk_2,
       PELMO_SLOT(D1616_Tuan_ppk_2(*a[0], r))},
      {23,
       "D1616_body2s",
       {"wstr", "start", "over", "str", "tag"},
       PELMO_SUMMARY_D1616_body2s,
       PELMO_SLOT(D1616_body2s(*a[0], *a[1], *a[2], *a[3], *a[4], r))},
      {24,
       "D1616_GetContent",
       {"str", "start", "last", "n"},
       PELMO_SUMMARY_D1616_GetContent,
       PELMO_SLOT(D1616_GetContent(*a[0], *a[1], *a[2], *a[3], r))},
      {25,
       "D1616_Tuan_Smain",
       {"url", "pcity", "pcate", "ppage"},
       PELMO_SUMMARY_D1616_Tuan_Smain,
       PELMO_SLOT(D1616_Tuan_Smain(*a[0], *a[1], *a[2], *a[3], r))},
      {26,
       "D1616_Tuan_Shezhi",
       {"str", "n"},
       PELMO_SUMMARY_D1616_Tuan_Shezhi,
       PELMO_SLOT(D1616_Tuan_Shezhi(*a[0], *a[1], r))},
      {27, "D1616_New_index", {}, PELMO_SUMMARY_D1616_New_index, PELMO_SLOT(D1616_New_index(r))},
      {28,
       "D1616_Gouwu_Cj_Pic",
       {"Str2", "oStr", "oid"},
       PELMO_SUMMARY_D1616_Gouwu_Cj_Pic,
       PELMO_SLOT(D1616_Gouwu_Cj_Pic(*a[0], *a[1], *a[2], r))},
      {29,
       "D1616_Gouwu_Cj_Txt",
       {"Str2", "oStr", "oid"},
       PELMO_SUMMARY_D1616_Gouwu_Cj_Txt,
       PELMO_SLOT(D1616_Gouwu_Cj_Txt(*a[0], *a[1], *a[2], r))},
      {30, "Bq_x", {"v1"}, PELMO_SUMMARY_Bq_x, PELMO_SLOT(Bq_x(*a[0], r))},
      {31, "OnEndPage", {}, PELMO_SUMMARY_OnEndPage, nullptr},
  };
  return entries;
}

#undef PELMO_SLOT

bool same_name(std::string_view a, std::string_view b) {
  auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return fold(x) == fold(y); });
}

}  // namespace

std::span<const MethodEntry> catalogue() { return table(); }

const MethodEntry* find_method(std::string_view name) {
  for (const MethodEntry& entry : table()) {
    if (same_name(entry.name, name)) return &entry;
  }
  return nullptr;
}

void invoke_by_name(_zaverer& object, std::string_view name, std::span<Variant* const> args,
                    Variant& result) {
  const MethodEntry* entry = find_method(name);
  if (entry == nullptr) throw_invalid_call("Unknown method: " + std::string(name));
  if (entry->is_page_hook()) {
    throw_invalid_call(std::string(entry->name) + " is a page hook and cannot be called by name");
  }
  if (args.size() != entry->params.size()) {
    throw_invalid_call(std::string(entry->name) + " takes " + std::to_string(entry->params.size()) +
                       " arguments, not " + std::to_string(args.size()));
  }
  entry->invoke(object, args, result);
}

}  // namespace pelmo
