#include "host/fast_decode.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <array>
#include <memory>
#include <string>

#include "pelmo/error.h"

namespace pelmo::host {

namespace {

// Appends the ASCII run starting at data[i] and returns the index of its first non-ASCII byte.
std::size_t widen_ascii(const std::uint8_t* data, std::size_t i, std::size_t size,
                        std::u16string& out) {
  const std::size_t start = i;
#if defined(__SSE2__)
  while (i + 16 <= size) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    const int high = _mm_movemask_epi8(bytes);
    if (high != 0) {
      i += static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(high)));
      break;
    }
    i += 16;
  }
#endif
  while (i < size && data[i] < 0x80) ++i;
  const std::size_t old = out.size();
  out.resize(old + (i - start));
  char16_t* dst = out.data() + old;
  for (std::size_t k = start; k < i; ++k) *dst++ = data[k];
  return i;
}

struct PairEntry {
  char16_t unit;      // what the lead byte (with its trail, when consumed) decodes to
  std::uint8_t used;  // bytes taken: 2 for a pair, 1 when the trail starts something new
};
using PairTable = std::array<PairEntry, 128 * 256>;

void reset_and_check(UConverter* cnv) { ucnv_resetToUnicode(cnv); }

// Probes the converter with lead, trail and a space: an output unit that comes from offset 1
// shows the trail was read on its own, so the lead took one byte.
PairTable build_pair_table(UConverter* cnv) {
  PairTable table{};
  for (unsigned lead = 0x80; lead <= 0xFF; ++lead) {
    for (unsigned trail = 0; trail <= 0xFF; ++trail) {
      const char probe[3] = {static_cast<char>(lead), static_cast<char>(trail), ' '};
      UChar out[8];
      int32_t offsets[8];
      UChar* target = out;
      const char* source = probe;
      UErrorCode status = U_ZERO_ERROR;
      reset_and_check(cnv);
      ucnv_toUnicode(cnv, &target, out + 8, &source, probe + 3, offsets, true, &status);
      const auto produced = static_cast<std::size_t>(target - out);
      PairEntry entry{u'\uFFFD', 2};
      if (U_SUCCESS(status) && produced >= 1 && offsets[0] == 0) {
        entry.unit = out[0];
        bool trail_alone = false;
        for (std::size_t k = 1; k < produced; ++k) trail_alone |= offsets[k] == 1;
        // A lead that gave two units (never in this code page) is left to the converter.
        const bool one_unit = produced < 2 || offsets[1] != 0;
        entry.used = trail_alone ? 1 : 2;
        if (!one_unit) entry.used = 0;
      } else {
        entry.used = 0;
      }
      table[(lead - 0x80) * 256 + trail] = entry;
    }
  }
  reset_and_check(cnv);
  return table;
}

const PairTable& pair_table(UConverter* cnv) {
  static const std::unique_ptr<PairTable> table =
      std::make_unique<PairTable>(build_pair_table(cnv));
  return *table;
}

void append_converted(UConverter* cnv, const std::uint8_t* data, std::size_t size,
                      std::u16string& out) {
  out += decode_with_converter(cnv, data, size);
}

// Appends a stretch of multi-byte sequences when every one is well formed (their decoding is
// then unambiguous); leaves `out` as it was and returns false otherwise, for the converter to
// substitute exactly as it does.
bool append_well_formed_utf8(const std::uint8_t* data, std::size_t size, std::u16string& out) {
  const std::size_t old = out.size();
  std::size_t i = 0;
  while (i < size) {
    const std::uint8_t b = data[i];
    std::size_t length = 0;
    char32_t cp = 0, min = 0;
    if (b >= 0xC2 && b <= 0xDF) {
      length = 2, cp = b & 0x1Fu, min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
      length = 3, cp = b & 0x0Fu, min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
      length = 4, cp = b & 0x07u, min = 0x10000;
    }
    bool ok = length != 0 && i + length <= size;
    for (std::size_t k = 1; ok && k < length; ++k) {
      ok = (data[i + k] & 0xC0) == 0x80;
      cp = (cp << 6) | (data[i + k] & 0x3Fu);
    }
    if (!ok || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out.resize(old);
      return false;
    }
    if (cp >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += length;
  }
  return true;
}

}  // namespace

std::u16string decode_with_converter(UConverter* cnv, const std::uint8_t* data, std::size_t size) {
  std::u16string out(size + 16, u'\0');
  const char* source = reinterpret_cast<const char*>(data);
  const char* const source_end = source + size;
  std::size_t written = 0;
  ucnv_resetToUnicode(cnv);
  for (;;) {
    UChar* target = reinterpret_cast<UChar*>(out.data()) + written;
    UChar* const target_end = reinterpret_cast<UChar*>(out.data()) + out.size();
    UErrorCode status = U_ZERO_ERROR;
    ucnv_toUnicode(cnv, &target, target_end, &source, source_end, nullptr, true, &status);
    written = static_cast<std::size_t>(target - reinterpret_cast<UChar*>(out.data()));
    if (status == U_BUFFER_OVERFLOW_ERROR) {
      out.resize(out.size() * 2);
      continue;
    }
    if (U_FAILURE(status)) {
      throw AutomationError(err::kStreamArguments,
                            std::string("cannot decode: ") + u_errorName(status));
    }
    break;
  }
  out.resize(written);
  return out;
}

std::u16string decode_cp936(UConverter* cnv, const std::uint8_t* data, std::size_t size) {
  const PairTable& table = pair_table(cnv);
  std::u16string out;
  out.reserve(size);
  std::size_t i = 0;
  while (i < size) {
    i = widen_ascii(data, i, size, out);
    while (i + 1 < size && data[i] >= 0x80) {
      const PairEntry& entry = table[(data[i] - 0x80u) * 256 + data[i + 1]];
      if (entry.used == 0) break;
      out.push_back(entry.unit);
      i += entry.used;
    }
    if (i < size && data[i] >= 0x80) {
      // A lead byte at the very end, or one the table leaves to the converter.
      const std::size_t take = (i + 1 < size) ? 2 : 1;
      if (take == 2) {
        // Only reached for entries the probe could not classify; decode the pair as a whole.
        append_converted(cnv, data + i, 2, out);
      } else {
        append_converted(cnv, data + i, 1, out);
      }
      i += take;
    }
  }
  return out;
}

std::u16string decode_utf8(UConverter* cnv, const std::uint8_t* data, std::size_t size) {
  std::u16string out;
  out.reserve(size);
  std::size_t i = 0;
  while (i < size) {
    i = widen_ascii(data, i, size, out);
    // An ASCII byte can never continue a sequence, so each non-ASCII stretch decodes alone
    // exactly as it does inside the whole text.
    std::size_t end = i;
    while (end < size && data[end] >= 0x80) ++end;
    if (end > i && !append_well_formed_utf8(data + i, end - i, out)) {
      append_converted(cnv, data + i, end - i, out);
    }
    i = end;
  }
  return out;
}

}  // namespace pelmo::host
