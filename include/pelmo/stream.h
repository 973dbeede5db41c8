// A binary/text stream in the manner of the page server's stream object.
#pragma once

#include <cstdint>
#include <string>

#include "pelmo/variant.h"

namespace pelmo::host {

class Stream {
 public:
  static constexpr int kTypeBinary = 1;
  static constexpr int kTypeText = 2;
  static constexpr int kModeReadWrite = 3;

  virtual ~Stream() = default;
  virtual void SetType(int type) = 0;
  virtual void SetMode(int mode) = 0;
  virtual void Open() = 0;
  // In binary mode only a byte array is accepted.
  virtual void Write(const Variant& data) = 0;
  virtual void SetPosition(std::int64_t position) = 0;
  // The name is matched without regard to case; an unknown name fails at ReadText.
  virtual void SetCharset(const std::u16string& name) = 0;
  // The content from the current position to the end, decoded in the charset.
  virtual std::u16string ReadText() = 0;
  virtual void Close() = 0;
};

}  // namespace pelmo::host
