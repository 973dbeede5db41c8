// Input checks: e-mail addresses and the request method.
#pragma once

#include "pelmo/page_objects.h"
#include "pelmo/variant.h"

namespace pelmo::util {

Variant is_email_address(const Variant& email);      // Emailis
Variant is_form_post(host::RequestObject& request);  // isPb

}  // namespace pelmo::util
