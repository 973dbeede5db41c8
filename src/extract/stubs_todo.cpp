#include "extract/block_extract.h"
#include "extract/delimited_slice.h"
#include "pelmo/error.h"
namespace pelmo::extract {
Variant collect_blocks(host::Platform&, const Variant&, const Variant&, const Variant&, const Variant&, const Variant&) { throw_invalid_call("TODO"); }
Variant slice_at_markers(const Variant&, const Variant&, const Variant&, const Variant&) { throw_invalid_call("TODO"); }
}  // namespace pelmo::extract
