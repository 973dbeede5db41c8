// The Windows hosts: the page's objects from its ScriptingContext, the server-side HTTP client
// by its ProgID and the stream through the page's Server object, all driven by member name
// through IDispatch.
#pragma once

#include <unknwn.h>

#include <memory>

#include "host/http_client.h"
#include "host/http_limits.h"
#include "pelmo/page_objects.h"

namespace pelmo::host::windows {

// The page context handed to OnStartPage; each property read asks the context by name.
// Fails with E_NOINTERFACE when the object cannot be driven by name.
std::shared_ptr<ScriptingContext> make_scripting_context(IUnknown* context);

// A new "MSXML2.ServerXMLHTTP.6.0" held to the limits; fails with 429 when the system cannot
// create one.
std::unique_ptr<HttpClient> make_server_http_client(const HttpLimits& limits = {});

}  // namespace pelmo::host::windows
