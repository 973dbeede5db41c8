#include "component/zaverer_object.h"

#include <string>
#include <string_view>
#include <utility>

#include "admin/console_text.h"
#include "events/event_reporter.h"
#include "events/setting_events.h"
#include "extract/block_extract.h"
#include "extract/delimited_slice.h"
#include "fetch/fetch.h"
#include "groupbuy/affiliate_links.h"
#include "groupbuy/category_codes.h"
#include "groupbuy/listing.h"
#include "pelmo/error.h"
#include "portal/category_query.h"
#include "portal/module_resources.h"
#include "portal/rolling_news.h"
#include "portal/shopping_collection.h"
#include "util/number_cleanup.h"
#include "util/text_cleanup.h"
#include "util/validation.h"
#include "util/virtual_root.h"

namespace pelmo {

namespace {

template <typename T>
std::shared_ptr<T> require_page_object(std::shared_ptr<T> object, const char* what) {
  if (!object) {
    throw AutomationError(err::kNoInterface,
                          std::string("The page context gave no ") + what + " object");
  }
  return object;
}

}  // namespace

ZavererObject::ZavererObject(std::shared_ptr<host::Platform> platform)
    : platform_(std::move(platform)) {
  events::report_ignored_settings_once(*platform_);
}

template <typename Work>
void ZavererObject::run_slot(Variant& result, Work&& work, const char* slot) {
  result = Variant();
  try {
    Variant value = work();
    result = std::move(value);
  } catch (const AutomationError& e) {
    // The matcher's budget ran out: the page gets error 28, the operator an entry naming the
    // method (its arguments are the page's own and stay out of the log).
    // No clock is read on the way in, so a call that succeeds pays nothing for this.
    if (e.number() == err::kOutOfStack) {
      events::report(*platform_, EventKind::kWorkLimit, slot,
                     "error 28, the budget of one call used up");
    }
    throw;
  }
}

bool ZavererObject::started() const {
  return context_ && application_ && response_ && request_ && session_ && server_;
}

host::ServerObject& ZavererObject::server() const {
  if (!server_) {
    throw AutomationError(91,
                          "Object variable not set: the page's Server object is needed "
                          "(call OnStartPage first)");
  }
  return *server_;
}

host::RequestObject& ZavererObject::request() const {
  if (!request_) {
    throw AutomationError(91,
                          "Object variable not set: the page's Request object is needed "
                          "(call OnStartPage first)");
  }
  return *request_;
}

void ZavererObject::OnStartPage(
    const std::shared_ptr<host::ScriptingContext>& PassedscriptContext) {
  // A failure at one step keeps what the earlier steps stored.
  context_ = PassedscriptContext;
  if (!context_) throw AutomationError(err::kNoInterface, "OnStartPage needs a page context");
  application_ = require_page_object(context_->Application(), "Application");
  request_ = require_page_object(context_->Request(), "Request");
  response_ = require_page_object(context_->Response(), "Response");
  server_ = require_page_object(context_->Server(), "Server");
  session_ = require_page_object(context_->Session(), "Session");
}

void ZavererObject::OnEndPage() {
  application_.reset();
  request_.reset();
  response_.reset();
  server_.reset();
  session_.reset();
  context_.reset();
}

// Fetch and decode.

void ZavererObject::Tarvessa_GetBody_s(V& url, V& result) {
  run_slot(result, [&] { return fetch::get_body(*platform_, url); });
}

void ZavererObject::Tarvessa_GetBody_s_new(V& url, V& result) {
  run_slot(result, [&] { return fetch::get_body(*platform_, url); });
}

void ZavererObject::Tarvessa_BytesToBstr(V& body, V& Cset, V& result) {
  run_slot(result, [&] { return fetch::decode_with_stream(&server(), body, Cset); });
}

void ZavererObject::Tarvessa_BytesToBstr_new(V& arrBytes, V& result) {
  run_slot(result, [&] { return fetch::decode_pairs(arrBytes); });
}

void ZavererObject::Tarvessa_getHTTPPage(V& Path, V& result) {
  run_slot(result, [&] { return fetch::get_page(*this, Path, u"GB2312"); });
}

void ZavererObject::Tarvessa_getHTTPPage_utf2(V& Path, V& result) {
  run_slot(result, [&] { return fetch::get_page(*this, Path, u"UTF-8"); });
}

void ZavererObject::Tarvessa_getHTTPPage_new(V& Path, V& result) {
  run_slot(result, [&] { return fetch::get_page_pairs(*this, Path); });
}

void ZavererObject::Tarvessa_getHTTPPage_utf(V& Path, V& result) {
  run_slot(result, [&] { return fetch::get_page_pairs_as_utf8(*this, Path); });
}

// Extraction.

void ZavererObject::D1616_body2s(V& wstr, V& start, V& over, V& str, V& tag, V& result) {
  run_slot(result, [&] { return extract::collect_blocks(wstr, start, over, str, tag); });
}

void ZavererObject::D1616_GetContent(V& str, V& start, V& last, V& n, V& result) {
  run_slot(result, [&] { return extract::slice_at_markers(str, start, last, n); });
}

// Cleaners.

void ZavererObject::FNum(V& s, V& result) {
  run_slot(result, [&] { return util::clean_number_list(s); });
}

void ZavererObject::Bint(V& str, V& result) {
  run_slot(result, [&] { return util::whole_number(str); });
}

void ZavererObject::StayNub(V& ContentStr, V& result) {
  run_slot(result, [&] { return util::digits_only(ContentStr); });
}

void ZavererObject::Lnumbs(V& v, V& result) {
  run_slot(result, [&] { return util::without_line_breaks(v); });
}

void ZavererObject::Rm(V& str, V& result) {
  run_slot(result, [&] { return util::replace_quotes(str); });
}

void ZavererObject::Ltxt(V& ContentStr, V& result) {
  run_slot(result, [&] { return util::strip_tags(ContentStr); });
}

void ZavererObject::Str4Null(V& sInfo, V& result) {
  run_slot(result, [&] { return util::single_line(sInfo); });
}

// Group-buy aggregation.

void ZavererObject::D1616_Tuan_ppk_2(V& v, V& result) {
  run_slot(result, [&] { return groupbuy::known_category(v); });
}

void ZavererObject::D1616_Tuan_Smain(V& url, V& pcity, V& pcate, V& ppage, V& result) {
  run_slot(result, [&] { return groupbuy::listing_json(*this, url, pcity, pcate, ppage); });
}

void ZavererObject::D1616_Tuan_Shezhi(V& str, V& n, V& result) {
  run_slot(result, [&] { return groupbuy::affiliate_link_script(*this, str, n); });
}

// Portal blocks.

void ZavererObject::D1616_m(V& v1, V& v2, V& v3, V& v4, V& v5, V&, V&, V&, V&, V&, V& result) {
  run_slot(result, [&] { return portal::module_address(v1, v2, v3, v4, v5); });
}

void ZavererObject::D1616_New_index(V& result) {
  run_slot(result, [&] { return portal::rolling_news(*this); });
}

void ZavererObject::D1616_Gouwu_Cj_Pic(V& Str2, V&, V& oid, V& result) {
  run_slot(result, [&] { return portal::shopping_collection(*this, Str2, oid, true); });
}

void ZavererObject::D1616_Gouwu_Cj_Txt(V& Str2, V&, V& oid, V& result) {
  run_slot(result, [&] { return portal::shopping_collection(*this, Str2, oid, false); });
}

void ZavererObject::Bq_x(V& v1, V& result) {
  run_slot(result, [&] { return portal::category_query(*this, v1); });
}

// Console, validation and paths.

void ZavererObject::pelmoConstStr(V& v1, V&, V& v3, V& result) {
  run_slot(result, [&] { return admin::console_block(v1, v3); });
}

void ZavererObject::Emailis(V& email, V& result) {
  run_slot(result, [&] { return util::is_email_address(email); });
}

void ZavererObject::isPb(V& result) {
  run_slot(result, [&] { return util::is_form_post(request()); });
}

void ZavererObject::aDir(V& G_VIRTUAL_ROOT_DIR, V& JS_Path, V& result) {
  run_slot(result, [&] { return util::virtual_root_path(G_VIRTUAL_ROOT_DIR, JS_Path); });
}

}  // namespace pelmo
