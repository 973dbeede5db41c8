#include "host/icu_stream.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "host/fast_decode.h"
#include "pelmo/error.h"
#include "pelmo/text.h"

namespace pelmo::host {

namespace {

// The stream's own error numbers besides the wrong-argument one.
constexpr std::int32_t kNotAllowedInContext = 3219;
constexpr std::int32_t kObjectClosed = 3704;
constexpr std::int32_t kObjectOpen = 3705;

[[noreturn]] void throw_arguments(const std::string& detail) {
  throw AutomationError(err::kStreamArguments,
                        "Arguments are of the wrong type, are out of acceptable range, or are "
                        "in conflict with one another: " +
                            detail);
}

[[noreturn]] void throw_not_allowed(const std::string& detail) {
  throw AutomationError(kNotAllowedInContext,
                        "Operation is not allowed in this context: " + detail);
}

char fold_ascii(char16_t c) { return static_cast<char>(c >= u'A' && c <= u'Z' ? c + 32 : c); }

// Labels under which pages declare code page 936 or its GB2312 subset, with the spaces, hyphens
// and underscores left out, as ICU itself compares names: "GB 2312" and "gb_2312" are the same
// label as "gb2312", and must not fall through to ICU's strict GB 2312 table.
constexpr std::array<std::string_view, 12> kCodePage936Names = {
    "gb2312", "gbk",      "cp936", "xgbk",   "windows936",      "gb231280",
    "ms936",  "csgb2312", "euccn", "xeuccn", "csiso58gb231280", "gb23121980"};

// A name without letter case and without the separators ICU ignores.
std::string loose_name(std::string_view folded) {
  std::string loose;
  for (char c : folded) {
    if (c != ' ' && c != '-' && c != '_') loose.push_back(c);
  }
  return loose;
}

// The stream's default text charset is little-endian UTF-16 under this name.
constexpr std::string_view kUnicode = "unicode";

// The ICU converter name for a charset name as pages write it (any letter case): the GB2312
// family maps to code page 936, since pages so labelled use its GBK extensions in practice;
// other names go to ICU, which matches its aliases loosely. None when no converter can match.
std::optional<std::string> icu_converter_name(std::u16string_view charset) {
  std::string folded;
  folded.reserve(charset.size());
  for (char16_t c : charset) {
    if (c == 0 || c >= 0x80) return std::nullopt;  // ICU names are ASCII
    folded.push_back(fold_ascii(c));
  }
  // ICU reads "" as its default converter; a name must be given.
  if (folded.empty()) return std::nullopt;
  if (std::find(kCodePage936Names.begin(), kCodePage936Names.end(), loose_name(folded)) !=
      kCodePage936Names.end()) {
    return "windows-936-2000";
  }
  if (folded == kUnicode) return "UTF-16LE";
  return folded;
}

struct ConverterCloser {
  void operator()(UConverter* c) const noexcept { ucnv_close(c); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

Converter open_converter(std::u16string_view charset) {
  const std::optional<std::string> name = icu_converter_name(charset);
  UErrorCode status = U_ZERO_ERROR;
  Converter cnv;
  if (name) cnv.reset(ucnv_open(name->c_str(), &status));
  if (U_FAILURE(status) || !cnv) {
    throw_arguments("unknown charset \"" + to_utf8(charset) + "\"");
  }
  status = U_ZERO_ERROR;
  ucnv_setToUCallBack(cnv.get(), UCNV_TO_U_CALLBACK_SUBSTITUTE, nullptr, nullptr, nullptr, &status);
  if (U_FAILURE(status)) throw_arguments("cannot set up charset \"" + to_utf8(charset) + "\"");
  return cnv;
}

class IcuStream final : public Stream {
 public:
  void SetType(int type) override {
    if (type != kTypeBinary && type != kTypeText) {
      throw_arguments("Type must be 1 (binary) or 2 (text), not " + std::to_string(type));
    }
    // Switching between bytes and text is only defined at the start of the content.
    if (open_ && position_ != 0) throw_not_allowed("Type can change only at Position 0");
    type_ = type;
  }

  void SetMode(int mode) override {
    if (mode < 0 || mode > kModeReadWrite) {
      throw_arguments("Mode must be 0 to 3, not " + std::to_string(mode));
    }
    if (open_)
      throw AutomationError(kObjectOpen,
                            "Operation is not allowed when the object is "
                            "open: Mode is set before Open");
    mode_ = mode;
  }

  void Open() override {
    if (open_)
      throw AutomationError(kObjectOpen,
                            "Operation is not allowed when the object is "
                            "open: the stream is already open");
    open_ = true;
    adopted_.reset();
    content_.clear();
    position_ = 0;
  }

  void Write(const Variant& data) override {
    require_open("Write");
    if (type_ != kTypeBinary) throw_not_allowed("Write needs a binary stream");
    if (mode_ == kModeRead) throw_not_allowed("the stream was opened for reading only");
    if (data.type() != VarType::Bytes) {
      throw_arguments("Write on a binary stream takes a byte array, not " + type_name(data));
    }
    const Bytes& bytes = data.as_bytes();
    // A first write into an empty stream keeps the array itself (its buffer is shared and
    // never changed in place); a later write works on a copy of the stream's own.
    if (content().empty() && position_ == 0) {
      adopted_ = data;
      position_ = bytes.size();
      return;
    }
    Bytes& own = owned();
    // Overwrites from the position on and extends past the end, as a file would; the part past
    // the end is appended rather than zero-filled and overwritten.
    const std::size_t overlap = std::min(bytes.size(), own.size() - position_);
    std::copy_n(bytes.begin(), overlap, own.begin() + static_cast<std::ptrdiff_t>(position_));
    own.insert(own.end(), bytes.begin() + static_cast<std::ptrdiff_t>(overlap), bytes.end());
    position_ += bytes.size();
  }

  void SetPosition(std::int64_t position) override {
    require_open("Position");
    if (position < 0 || static_cast<std::uint64_t>(position) > content().size()) {
      throw_arguments("Position " + std::to_string(position) + " is outside 0 to " +
                      std::to_string(content().size()));
    }
    position_ = static_cast<std::size_t>(position);
  }

  void SetCharset(const std::u16string& name) override {
    if (open_ && position_ != 0) throw_not_allowed("Charset can change only at Position 0");
    charset_ = name;
  }

  std::u16string ReadText() override {
    require_open("ReadText");
    if (type_ != kTypeText) throw_not_allowed("ReadText needs a text stream (Type 2)");
    if (mode_ == kModeWrite) throw_not_allowed("the stream was opened for writing only");
    Converter cnv = open_converter(charset_);
    const std::uint8_t* data = content().data() + position_;
    const std::size_t size = content().size() - position_;
    // The page charsets have fast paths with the converter's exact output.
    UErrorCode status = U_ZERO_ERROR;
    const std::string_view name = ucnv_getName(cnv.get(), &status);
    std::u16string text = name == "windows-936-2000" ? decode_cp936(cnv.get(), data, size)
                          : name == "UTF-8"          ? decode_utf8(cnv.get(), data, size)
                                                     : decode_with_converter(cnv.get(), data, size);
    position_ = content().size();
    return text;
  }

  void Close() override {
    require_open("Close");
    open_ = false;
    adopted_.reset();
    content_.clear();
    content_.shrink_to_fit();
    position_ = 0;
  }

 private:
  static constexpr int kModeRead = 1;
  static constexpr int kModeWrite = 2;

  void require_open(const char* operation) const {
    if (!open_) {
      throw AutomationError(kObjectClosed, std::string("Operation is not allowed when the object "
                                                       "is closed: ") +
                                               operation + " before Open");
    }
  }

  static std::string type_name(const Variant& v) {
    switch (v.type()) {
      case VarType::Empty:
        return "Empty";
      case VarType::Null:
        return "Null";
      case VarType::Boolean:
        return "a Boolean";
      case VarType::Integer:
      case VarType::Long:
      case VarType::Double:
        return "a number";
      case VarType::String:
        return "a text";
      case VarType::Bytes:
        return "a byte array";
      case VarType::Array:
        return "an array";
    }
    return "a value of unknown type";
  }

  // The content: the array of the first write while nothing else was written, else content_.
  const Bytes& content() const { return adopted_ ? adopted_->as_bytes() : content_; }
  Bytes& owned() {
    if (adopted_) {
      content_ = adopted_->as_bytes();
      adopted_.reset();
    }
    return content_;
  }

  bool open_ = false;
  int type_ = kTypeBinary;
  int mode_ = 0;
  std::u16string charset_ = u"Unicode";
  std::optional<Variant> adopted_;
  Bytes content_;
  std::size_t position_ = 0;
};

}  // namespace

std::unique_ptr<Stream> make_icu_stream() { return std::make_unique<IcuStream>(); }

}  // namespace pelmo::host
