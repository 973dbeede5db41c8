// Methods of the next stage of the build: declared in the catalogue, failing clearly until
// their rooms are filled in.
#include "groupbuy/affiliate_links.h"
#include "groupbuy/listing.h"
#include "pelmo/error.h"
#include "portal/category_query.h"
#include "portal/rolling_news.h"
#include "portal/shopping_collection.h"

namespace pelmo {

namespace {
[[noreturn]] void not_available(const char* method) {
  throw_invalid_call(std::string(method) + " is not available yet in this build");
}
}  // namespace

namespace groupbuy {
Variant affiliate_link_script(_zaverer&, Variant&, Variant&) { not_available("D1616_Tuan_Shezhi"); }
Variant listing_json(_zaverer&, Variant&, Variant&, Variant&, Variant&) {
  not_available("D1616_Tuan_Smain");
}
}  // namespace groupbuy

namespace portal {
Variant rolling_news(_zaverer&) { not_available("D1616_New_index"); }
Variant shopping_collection(_zaverer&, Variant&, Variant&, bool with_pictures) {
  not_available(with_pictures ? "D1616_Gouwu_Cj_Pic" : "D1616_Gouwu_Cj_Txt");
}
Variant category_query(_zaverer&, Variant&) { not_available("Bq_x"); }
}  // namespace portal

}  // namespace pelmo
