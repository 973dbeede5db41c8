// Fetching a remote page and decoding its body.
#pragma once

#include <string_view>

#include "host/platform.h"
#include "pelmo/page_objects.h"
#include "pelmo/variant.h"
#include "pelmo/zaverer.h"

namespace pelmo::fetch {

// GET of the address with a new HTTP client; the body bytes whatever the status.
Variant get_body(host::Platform& platform, const Variant& url);

// Decodes a byte body through a stream created by the page's Server object.
Variant decode_with_stream(host::ServerObject* server, const Variant& body, const Variant& charset);

// Decodes pair by pair in code page 936; writes the byte string back into `bytes`.
Variant decode_pairs(Variant& bytes);

// The compositions, calling their parts through the object's own interface.
Variant get_page(_zaverer& self, Variant& path, std::u16string_view charset);
Variant get_page_pairs(_zaverer& self, Variant& path);
Variant get_page_pairs_as_utf8(_zaverer& self, Variant& path);

}  // namespace pelmo::fetch
