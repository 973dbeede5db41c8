#include "fetch/cp936_pairs.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>

#include <array>
#include <memory>
#include <string>

#include "pelmo/error.h"

namespace pelmo::fetch {

namespace {

constexpr std::size_t kLeads = 128;
constexpr std::size_t kTrails = 256;
using PairTable = std::array<char16_t, kLeads * kTrails>;

struct ConverterCloser {
  void operator()(UConverter* c) const noexcept { ucnv_close(c); }
};

// Built once from ICU so a body decodes with one lookup per pair.
PairTable build_table() {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UConverter, ConverterCloser> cnv(ucnv_open("windows-936-2000", &status));
  if (U_FAILURE(status) || !cnv) {
    throw AutomationError(err::kInvalidCall,
                          std::string("Code page 936 is not available: ") + u_errorName(status));
  }
  // Stop at anything that is not one defined character, so it can become U+FFFD.
  status = U_ZERO_ERROR;
  ucnv_setToUCallBack(cnv.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);

  PairTable table{};
  for (std::size_t lead = 0; lead < kLeads; ++lead) {
    for (std::size_t trail = 0; trail < kTrails; ++trail) {
      const char pair[2] = {static_cast<char>(0x80 + lead), static_cast<char>(trail)};
      UChar out[4] = {};
      status = U_ZERO_ERROR;
      const int32_t length = ucnv_toUChars(cnv.get(), out, 4, pair, 2, &status);
      const bool one_unit = U_SUCCESS(status) && length == 1 && !U16_IS_SURROGATE(out[0]);
      table[lead * kTrails + trail] = one_unit ? static_cast<char16_t>(out[0]) : u'\uFFFD';
    }
  }
  return table;
}

}  // namespace

char16_t cp936_pair(std::uint8_t lead, std::uint8_t trail) {
  static const PairTable table = build_table();
  return table[static_cast<std::size_t>(lead - 0x80) * kTrails + trail];
}

}  // namespace pelmo::fetch
