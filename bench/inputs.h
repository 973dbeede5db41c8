// The generated inputs of the benchmarks, the hostile set and the memory probe. peer.py builds
// the same texts with the same recipe; both sides print a CRC-32 of every input (of its GB2312
// bytes) so that the comparison can check they measured the same thing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace pelmo::bench {

inline constexpr std::size_t kKiB = 1024;
inline constexpr std::size_t kMiB = 1024 * 1024;

// Bytes of a text once encoded in GB2312: one for ASCII, two for everything else (the recipe
// uses only characters the set has).
std::size_t gb_length(std::u16string_view text);

// A group-buy listing page: a head, `offers` offer blocks with filler lines between them and
// after the last, a pager with "pageCount : 7 ", a tail; padded with filler lines and spaces
// to exactly `target_bytes` in GB2312 (no filler when the offers alone are larger).
std::u16string listing_page(std::size_t target_bytes, std::size_t offers = 20);

// A rolling-news page: 100 domestic and 100 international items between the group markers.
std::u16string news_page();

// A shopping-navigation page whose hidden block "mall" holds 500 shop links.
std::u16string shopping_page();

// A plain item listing of at least `target_bytes`: one line per item,
// <li class="item"><a href="/p/N">Name N</a><span>P</span></li>.
std::u16string item_listing(std::size_t target_bytes);

// A comma-separated list of numbers, words and empty items of at least `target_bytes`.
std::u16string number_list(std::size_t target_bytes);

// Encodings of generated text.
std::string gb2312(std::u16string_view text);
std::string utf8(std::u16string_view text);

// CRC-32 (the zlib one) as eight lower-case hex digits.
std::string crc32_hex(std::string_view bytes);

}  // namespace pelmo::bench
