#include "fetch/fetch.h"
#include "pelmo/error.h"
namespace pelmo::fetch {
Variant get_body(host::Platform&, const Variant&) { throw_invalid_call("TODO"); }
Variant decode_with_stream(host::ServerObject*, const Variant&, const Variant&) { throw_invalid_call("TODO"); }
Variant decode_pairs(Variant&) { throw_invalid_call("TODO"); }
Variant get_page(_zaverer&, Variant&, std::u16string_view) { throw_invalid_call("TODO"); }
Variant get_page_pairs(_zaverer&, Variant&) { throw_invalid_call("TODO"); }
Variant get_page_pairs_as_utf8(_zaverer&, Variant&) { throw_invalid_call("TODO"); }
}  // namespace pelmo::fetch
