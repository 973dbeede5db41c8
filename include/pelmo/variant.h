// The automation variant: the one value type of every argument and result.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace pelmo {

enum class VarType { Empty, Null, Boolean, Integer, Long, Double, String, Bytes, Array };

class Variant;
using Bytes = std::vector<std::uint8_t>;
using VariantArray = std::vector<Variant>;

class Variant {
 public:
  struct NullTag {};

  Variant() = default;  // Empty
  static Variant null() { return Variant(Storage{NullTag{}}); }
  static Variant boolean(bool b) { return Variant(Storage{b}); }
  static Variant integer(std::int16_t i) { return Variant(Storage{i}); }
  static Variant long_(std::int32_t l) { return Variant(Storage{l}); }
  static Variant number(double d) { return Variant(Storage{d}); }
  static Variant string(std::u16string s) { return Variant(Storage{std::move(s)}); }
  static Variant bytes(Bytes b) {
    return Variant(Storage{SharedBytes{std::make_shared<const Bytes>(std::move(b))}});
  }
  static Variant array(VariantArray a) { return Variant(Storage{std::move(a)}); }
  // A string whose storage holds exactly these bytes, two to a code unit, low byte first.
  // An odd count leaves one byte beyond the last whole code unit; it is kept.
  static Variant byte_string(const Bytes& raw);

  VarType type() const noexcept { return static_cast<VarType>(value_.index()); }
  bool is_empty() const noexcept { return type() == VarType::Empty; }
  bool is_null() const noexcept { return type() == VarType::Null; }
  bool is_string() const noexcept { return type() == VarType::String; }
  bool is_numeric_type() const noexcept;  // Boolean excluded

  bool as_bool() const { return std::get<bool>(value_); }
  std::int16_t as_integer() const { return std::get<std::int16_t>(value_); }
  std::int32_t as_long() const { return std::get<std::int32_t>(value_); }
  double as_double() const { return std::get<double>(value_); }
  const std::u16string& as_string() const { return std::get<std::u16string>(value_); }
  // Moves the text out of a string variant (Empty gives the empty text); fails like to_text
  // for other types.
  std::u16string take_string() &&;
  const Bytes& as_bytes() const { return *std::get<SharedBytes>(value_).bytes; }
  const VariantArray& as_array() const { return std::get<VariantArray>(value_); }
  // The byte beyond the last code unit of a string built from an odd number of bytes.
  std::optional<std::uint8_t> odd_byte() const noexcept { return odd_byte_; }

  friend bool operator==(const Variant& a, const Variant& b) = default;

 private:
  // A byte array is never changed in place, so copies of it share one buffer: handing a page's
  // body on (into a stream, into an argument's copy) costs no copy of the page.
  struct SharedBytes {
    std::shared_ptr<const Bytes> bytes;
    friend bool operator==(const SharedBytes& a, const SharedBytes& b) {
      return a.bytes == b.bytes || *a.bytes == *b.bytes;
    }
  };
  using Storage = std::variant<std::monostate, NullTag, bool, std::int16_t, std::int32_t, double,
                               std::u16string, SharedBytes, VariantArray>;
  explicit Variant(Storage s) : value_(std::move(s)) {}
  friend bool operator==(NullTag, NullTag) { return true; }

  Storage value_;
  std::optional<std::uint8_t> odd_byte_;
};

// A readable form for diagnostics and test failures.
std::ostream& operator<<(std::ostream& out, const Variant& v);

// Shorthand for string variants from literals: text(u"abc").
inline Variant text(std::u16string_view s) { return Variant::string(std::u16string(s)); }

}  // namespace pelmo
