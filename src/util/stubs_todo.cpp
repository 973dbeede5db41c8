#include "util/number_cleanup.h"
#include "util/text_cleanup.h"
#include "pelmo/error.h"
namespace pelmo::util {
Variant clean_number_list(Variant&) { throw_invalid_call("TODO"); }
Variant whole_number(Variant&) { throw_invalid_call("TODO"); }
Variant digits_only(host::Platform&, const Variant&) { throw_invalid_call("TODO"); }
Variant without_line_breaks(Variant&) { throw_invalid_call("TODO"); }
Variant replace_quotes(Variant&) { throw_invalid_call("TODO"); }
Variant strip_tags(host::Platform&, const Variant&) { throw_invalid_call("TODO"); }
Variant single_line(const Variant&) { throw_invalid_call("TODO"); }
}  // namespace pelmo::util
