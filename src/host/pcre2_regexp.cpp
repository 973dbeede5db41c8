#include "host/pcre2_regexp.h"

#include "pelmo/error.h"

namespace pelmo::host {
std::unique_ptr<RegExp> make_pcre2_regexp() { throw_invalid_call("regexp: TODO"); }
}  // namespace pelmo::host
