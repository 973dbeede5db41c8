// A page context of our own for the command and the tests: a Request whose REQUEST_METHOD is
// given (other server variables are Empty), a Server whose CreateObject("adodb.stream") gives a
// new ICU stream (other ProgIDs fail with 429), and three inert objects for Application,
// Response and Session.
#pragma once

#include <memory>
#include <string>

#include "pelmo/page_objects.h"

namespace pelmo::host {

std::shared_ptr<ScriptingContext> make_local_page(std::u16string request_method = u"GET");

}  // namespace pelmo::host
