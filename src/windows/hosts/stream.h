// The stream the page's Server object creates, driven by member name.
#pragma once

#include <oaidl.h>

#include <memory>
#include <string>

#include "pelmo/stream.h"
#include "windows/base/com_ref.h"

namespace pelmo::host::windows {

std::unique_ptr<Stream> make_dispatch_stream(com::ComRef<IDispatch> object, std::u16string what);

}  // namespace pelmo::host::windows
