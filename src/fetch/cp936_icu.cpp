#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>

#include <memory>
#include <string>

#include "fetch/cp936_source.h"
#include "pelmo/error.h"

namespace pelmo::fetch {

namespace {

struct ConverterCloser {
  void operator()(UConverter* c) const noexcept { ucnv_close(c); }
};

}  // namespace

void platform_cp936_pairs(Cp936PairSpan table) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UConverter, ConverterCloser> cnv(ucnv_open("windows-936-2000", &status));
  if (U_FAILURE(status) || !cnv) {
    throw AutomationError(err::kInvalidCall,
                          std::string("Code page 936 is not available: ") + u_errorName(status));
  }
  // Stop at anything that is not one defined character, so it can become U+FFFD.
  status = U_ZERO_ERROR;
  ucnv_setToUCallBack(cnv.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);

  for (std::size_t lead = 0; lead < kCp936Leads; ++lead) {
    for (std::size_t trail = 0; trail < kCp936Trails; ++trail) {
      const char pair[2] = {static_cast<char>(0x80 + lead), static_cast<char>(trail)};
      UChar out[4] = {};
      status = U_ZERO_ERROR;
      const int32_t length = ucnv_toUChars(cnv.get(), out, 4, pair, 2, &status);
      const bool one_unit = U_SUCCESS(status) && length == 1 && !U16_IS_SURROGATE(out[0]);
      table[lead * kCp936Trails + trail] = one_unit ? static_cast<char16_t>(out[0]) : u'\uFFFD';
    }
  }
}

}  // namespace pelmo::fetch
