// The Windows hosts: the page's objects from its ScriptingContext and the stream through the
// page's Server object, both driven by member name through IDispatch, and the server-side HTTP
// client on the system's WinHTTP stack, and the log sink on the Application log.
#pragma once

#include <unknwn.h>

#include <memory>

#include "host/http_client.h"
#include "host/http_limits.h"
#include "pelmo/events.h"
#include "pelmo/page_objects.h"

namespace pelmo::host::windows {

// The page context handed to OnStartPage; each property read asks the context by name.
// Fails with E_NOINTERFACE when the object cannot be driven by name.
std::shared_ptr<ScriptingContext> make_scripting_context(IUnknown* context);

// A new client on the system's WinHTTP stack held to the limits; fails with the system's error
// when the stack cannot be opened.
std::unique_ptr<HttpClient> make_server_http_client(const HttpLimits& limits = {});

// Writes the event to the Application log under the source "pelmo"; a log that cannot be
// opened loses the entry, never the page's call.
void write_event_log(const Event& event);

}  // namespace pelmo::host::windows
