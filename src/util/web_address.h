// Addresses: which ones the component fetches, and which scraped ones it writes into pages.
#pragma once

#include <string>
#include <string_view>

namespace pelmo::util {

// Starts with "http://" or "https://", letter case aside, with nothing before it.
bool is_web_address(std::u16string_view address);

// A scraped address as it may be written into a page: one that names a scheme other than http
// or https, that could spell one through a character reference, or that has a colon and a
// control character before its path, becomes "#". Relative addresses and everything else come
// back unchanged.
std::u16string scriptless_address(std::u16string address);

}  // namespace pelmo::util
