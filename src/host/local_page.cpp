#include "host/local_page.h"

#include "pelmo/error.h"

namespace pelmo::host {
std::shared_ptr<ScriptingContext> make_local_page(std::u16string) { throw_invalid_call("page: TODO"); }
}  // namespace pelmo::host
