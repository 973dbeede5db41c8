#include "host/fast_decode.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <array>
#include <memory>
#include <string>
#include <string_view>

#include "automation/large_buffers.h"
#include "pelmo/error.h"

namespace pelmo::host {

namespace {

// The decoders write into a buffer sized for the worst case up front and cut it to length at
// the end: one allocation, and no per-unit capacity checks in the loops.
class UnitBuffer {
 public:
  explicit UnitBuffer(std::size_t capacity) {
    util::reserve_large(out_, capacity);
    out_.resize(capacity);
  }
  char16_t* at() { return out_.data() + written_; }
  void advance(std::size_t units) { written_ += units; }
  // Room for `units` more, for the loops that write without checking.
  void ensure(std::size_t units) {
    if (written_ + units > out_.size()) out_.resize(written_ + units);
  }
  void append(std::u16string_view units) {
    ensure(units.size());
    std::char_traits<char16_t>::copy(at(), units.data(), units.size());
    written_ += units.size();
  }
  std::u16string take() && {
    out_.resize(written_);
    return std::move(out_);
  }

 private:
  std::u16string out_;
  std::size_t written_ = 0;
};

// Widens the ASCII run starting at data[i] and returns the index of its first non-ASCII byte.
// The buffer must have room for every byte from i on, one unit each (UnitBuffer::ensure): the
// wide stores may write a few units past the run, which the caller overwrites next.
std::size_t widen_ascii(const std::uint8_t* data, std::size_t i, std::size_t size,
                        UnitBuffer& out) {
  char16_t* dst = out.at();
  const std::size_t start = i;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  while (i + 16 <= size) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_unpacklo_epi8(bytes, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 8), _mm_unpackhi_epi8(bytes, zero));
    const int high = _mm_movemask_epi8(bytes);
    if (high != 0) {
      i += static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(high)));
      out.advance(i - start);
      return i;
    }
    i += 16;
    dst += 16;
  }
#endif
  while (i < size && data[i] < 0x80) *dst++ = data[i++];
  out.advance(i - start);
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
                      UnitBuffer& out) {
  out.append(decode_with_converter(cnv, data, size));
}

constexpr std::size_t kMalformed = static_cast<std::size_t>(-1);

// Decodes the stretch of non-ASCII bytes starting at data[i] and returns the index of the byte
// that ends it (ASCII, or the end). When a sequence in it is malformed, `out` is left as it was
// and kMalformed returned: the converter then substitutes exactly as it does. Never writes more
// units than the stretch has bytes.
std::size_t append_utf8_stretch(const std::uint8_t* data, std::size_t i, std::size_t size,
                                UnitBuffer& out) {
  char16_t* const begin = out.at();
  char16_t* dst = begin;
  auto continuation = [&](std::size_t k) { return (data[k] & 0xC0u) == 0x80u; };
  while (i < size && data[i] >= 0x80) {
    const std::uint8_t b = data[i];
    // Three bytes, the common case for the pages' Chinese text.
    if (b >= 0xE0 && b <= 0xEF && i + 3 <= size && continuation(i + 1) && continuation(i + 2)) {
      const char32_t cp =
          ((b & 0x0Fu) << 12) | ((data[i + 1] & 0x3Fu) << 6) | (data[i + 2] & 0x3Fu);
      if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)) return kMalformed;
      *dst++ = static_cast<char16_t>(cp);
      i += 3;
    } else if (b >= 0xC2 && b <= 0xDF && i + 2 <= size && continuation(i + 1)) {
      *dst++ = static_cast<char16_t>(((b & 0x1Fu) << 6) | (data[i + 1] & 0x3Fu));
      i += 2;
    } else if (b >= 0xF0 && b <= 0xF4 && i + 4 <= size && continuation(i + 1) &&
               continuation(i + 2) && continuation(i + 3)) {
      const char32_t cp = ((b & 0x07u) << 18) | ((data[i + 1] & 0x3Fu) << 12) |
                          ((data[i + 2] & 0x3Fu) << 6) | (data[i + 3] & 0x3Fu);
      if (cp < 0x10000 || cp > 0x10FFFF) return kMalformed;
      *dst++ = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      *dst++ = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
      i += 4;
    } else {
      return kMalformed;
    }
  }
  out.advance(static_cast<std::size_t>(dst - begin));
  return i;
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

// Neither fast path gives more units than it reads bytes; the converter's substitutions may,
// so room for the rest is checked once per stretch.
std::u16string decode_cp936(UConverter* cnv, const std::uint8_t* data, std::size_t size) {
  const PairTable& table = pair_table(cnv);
  UnitBuffer out(size);
  std::size_t i = 0;
  while (i < size) {
    out.ensure(size - i);
    i = widen_ascii(data, i, size, out);
    char16_t* dst = out.at();
    std::size_t units = 0;
    while (i + 1 < size && data[i] >= 0x80) {
      const PairEntry& entry = table[(data[i] - 0x80u) * 256 + data[i + 1]];
      dst[units++] = entry.unit;
      // A branch rather than i += entry.used: the next position is then predicted instead of
      // waiting for the table lookup, and nearly every pair takes two bytes.
      if (__builtin_expect(entry.used == 2, 1)) {
        i += 2;
      } else if (entry.used == 1) {
        i += 1;
      } else {
        --units;  // left to the converter below
        break;
      }
    }
    out.advance(units);
    if (i < size && data[i] >= 0x80) {
      // A lead byte at the very end, or a pair the probe could not classify: the converter
      // decodes it as a whole.
      const std::size_t take = (i + 1 < size) ? 2 : 1;
      append_converted(cnv, data + i, take, out);
      i += take;
    }
  }
  return std::move(out).take();
}

std::u16string decode_utf8(UConverter* cnv, const std::uint8_t* data, std::size_t size) {
  UnitBuffer out(size);
  std::size_t i = 0;
  while (i < size) {
    out.ensure(size - i);
    i = widen_ascii(data, i, size, out);
    // An ASCII byte can never continue a sequence, so each non-ASCII stretch decodes alone
    // exactly as it does inside the whole text.
    if (i == size) break;
    const std::size_t end = append_utf8_stretch(data, i, size, out);
    if (end != kMalformed) {
      i = end;
      continue;
    }
    std::size_t stretch_end = i;
    while (stretch_end < size && data[stretch_end] >= 0x80) ++stretch_end;
    append_converted(cnv, data + i, stretch_end - i, out);
    i = stretch_end;
  }
  return std::move(out).take();
}

}  // namespace pelmo::host
