#include "cli/charset_encode.h"

#include <unicode/ucnv.h>

#include <memory>
#include <stdexcept>

namespace pelmo::cli {

std::string encode_text(std::u16string_view text, const char* charset) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UConverter, decltype(&ucnv_close)> converter(ucnv_open(charset, &status),
                                                               &ucnv_close);
  if (U_FAILURE(status)) throw std::runtime_error(std::string("unknown charset: ") + charset);
  const auto length = static_cast<int32_t>(text.size());
  std::string out(static_cast<std::size_t>(UCNV_GET_MAX_BYTES_FOR_STRING(length, 4)), '\0');
  const int32_t written = ucnv_fromUChars(
      converter.get(), out.data(), static_cast<int32_t>(out.size()), text.data(), length, &status);
  if (U_FAILURE(status)) throw std::runtime_error("cannot encode text");
  out.resize(static_cast<std::size_t>(written));
  return out;
}

}  // namespace pelmo::cli
