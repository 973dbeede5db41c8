// The Windows hosts: the page's objects from its ScriptingContext, the stream through the page's
// Server object and the regular-expression object, all driven by member name through IDispatch,
// and the server-side HTTP client on the system's WinHTTP stack.
#pragma once

#include <unknwn.h>

#include <memory>

#include "host/http_client.h"
#include "host/http_limits.h"
#include "host/regexp.h"
#include "pelmo/page_objects.h"

namespace pelmo::host::windows {

// The page context handed to OnStartPage; each property read asks the context by name.
// Fails with E_NOINTERFACE when the object cannot be driven by name.
std::shared_ptr<ScriptingContext> make_scripting_context(IUnknown* context);

// A new client on the system's WinHTTP stack held to the limits; fails with the system's error
// when the stack cannot be opened.
std::unique_ptr<HttpClient> make_server_http_client(const HttpLimits& limits = {});

// A new "VBScript.RegExp" (created by its class id); fails with 429 when there is none.
std::unique_ptr<RegExp> make_vbscript_regexp();

// The pattern as the system's regular-expression object reads it: the core writes a run of
// any code units, shortest first, as "(?s:.*?)", which that dialect lacks; "[\s\S]*?" is the
// same run there.
std::u16string to_script_dialect(std::u16string_view pattern);

}  // namespace pelmo::host::windows
