// The JSON form of variants and call outcomes that `pelmo call` prints.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "pelmo/variant.h"

namespace pelmo::cli {

// Writes JSON to a stream piece by piece through a bounded buffer of its own, so that a long
// text is never held a second time in its escaped form (six bytes a code unit at worst).
class JsonWriter {
 public:
  explicit JsonWriter(std::ostream& out) : out_(out) {}
  JsonWriter(const JsonWriter&) = delete;
  JsonWriter& operator=(const JsonWriter&) = delete;
  ~JsonWriter() { flush(); }

  void raw(std::string_view text);
  // A string literal: printable ASCII as is, everything else as \uXXXX code units.
  void string(std::u16string_view s);
  void variant(const Variant& v);
  void list(const std::vector<Variant>& items);
  // Hands what is buffered to the stream (not flushing the stream itself).
  void flush();

 private:
  void put(char c) {
    if (used_ == buffer_.size()) flush();
    buffer_[used_++] = c;
  }

  std::ostream& out_;
  std::array<char, 16384> buffer_{};
  std::size_t used_ = 0;
};

// A call's JSON line, without its line feed.
void write_success(std::ostream& out, const Variant& result, const std::vector<Variant>& args);
void write_failure(std::ostream& out, std::int32_t number, std::string_view description_utf8,
                   const std::vector<Variant>& args);

// The same as strings, for short texts.
std::string json_string(std::u16string_view s);
std::string json_variant(const Variant& v);
std::string json_success(const Variant& result, const std::vector<Variant>& args);
std::string json_failure(std::int32_t number, std::string_view description_utf8,
                         const std::vector<Variant>& args);

}  // namespace pelmo::cli
