// Decoding of the two character sets the component reads pages in, code page 936 and UTF-8,
// giving exactly the converter's output but much faster: runs of ASCII are widened sixteen
// bytes at a time, and double-byte pairs come from a table built once from the converter.
#pragma once

#include <unicode/ucnv.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace pelmo::host {

// `cnv` is an open converter for "windows-936-2000"; it is used only for the rare bytes the
// table cannot answer alone (a lead byte at the very end).
std::u16string decode_cp936(UConverter* cnv, const std::uint8_t* data, std::size_t size);

// `cnv` is an open UTF-8 converter with substitution; it decodes the non-ASCII stretches.
std::u16string decode_utf8(UConverter* cnv, const std::uint8_t* data, std::size_t size);

// The converter's own decoding, for every other charset and as the reference in tests.
std::u16string decode_with_converter(UConverter* cnv, const std::uint8_t* data, std::size_t size);

}  // namespace pelmo::host
