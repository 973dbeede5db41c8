// A page context of the library's own, for a program that has no web server to hand the object
// one: a Request whose REQUEST_METHOD is given (other server variables are Empty), a Server whose
// CreateObject("adodb.stream") gives a new stream (other ProgIDs fail with 429), and three inert
// objects for Application, Response and Session. The command, the tests and the demo use it.
#pragma once

#include <memory>
#include <string>

#include "pelmo/page_objects.h"

namespace pelmo::host {

std::shared_ptr<ScriptingContext> make_local_page(std::u16string request_method = u"GET");

}  // namespace pelmo::host
