// Methods of the next stage of the build: declared in the catalogue, failing clearly until
// their rooms are filled in.
#include "admin/console_text.h"
#include "groupbuy/affiliate_links.h"
#include "groupbuy/category_codes.h"
#include "groupbuy/listing.h"
#include "pelmo/error.h"
#include "portal/category_query.h"
#include "portal/module_resources.h"
#include "portal/rolling_news.h"
#include "portal/shopping_collection.h"
#include "util/validation.h"
#include "util/virtual_root.h"

namespace pelmo {

namespace {
[[noreturn]] void not_available(const char* method) {
  throw_invalid_call(std::string(method) + " is not available yet in this build");
}
}  // namespace

namespace groupbuy {
Variant known_category(const Variant&) { not_available("D1616_Tuan_ppk_2"); }
Variant affiliate_link_script(_zaverer&, Variant&, Variant&) { not_available("D1616_Tuan_Shezhi"); }
Variant listing_json(_zaverer&, Variant&, Variant&, Variant&, Variant&) {
  not_available("D1616_Tuan_Smain");
}
}  // namespace groupbuy

namespace portal {
Variant module_address(const Variant&, const Variant&, const Variant&, const Variant&, Variant&) {
  not_available("D1616_m");
}
Variant rolling_news(_zaverer&) { not_available("D1616_New_index"); }
Variant shopping_collection(_zaverer&, Variant&, Variant&, bool with_pictures) {
  not_available(with_pictures ? "D1616_Gouwu_Cj_Pic" : "D1616_Gouwu_Cj_Txt");
}
Variant category_query(_zaverer&, Variant&) { not_available("Bq_x"); }
}  // namespace portal

namespace admin {
Variant console_block(const Variant&, const Variant&) { not_available("pelmoConstStr"); }
}  // namespace admin

namespace util {
Variant is_email_address(const Variant&) { not_available("Emailis"); }
Variant is_form_post(host::RequestObject&) { not_available("isPb"); }
Variant virtual_root_path(const Variant&, const Variant&) { not_available("aDir"); }
}  // namespace util

}  // namespace pelmo
