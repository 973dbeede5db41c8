#include "pelmo/convert.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include "pelmo/error.h"

namespace pelmo {

namespace {

enum class Parse { Ok, NotNumber, OutOfRange };

// Rough power of ten of a validated number text: positive for huge, negative for tiny values.
long long decimal_magnitude(const std::string& ascii) {
  long long magnitude = 0;
  std::size_t i = (ascii[0] == '-') ? 1 : 0;
  while (i < ascii.size() && ascii[i] == '0') ++i;
  long long int_digits = 0;
  while (i < ascii.size() && ascii[i] >= '0' && ascii[i] <= '9') ++i, ++int_digits;
  if (int_digits > 0) {
    magnitude = int_digits;
  } else if (i < ascii.size() && ascii[i] == '.') {
    ++i;
    while (i < ascii.size() && ascii[i] == '0') ++i, --magnitude;
  }
  const std::size_t e = ascii.find('e');
  if (e != std::string::npos) {
    // Exponents saturate far beyond any count of digits a text can hold, so only the sign of
    // the total matters and it stays right.
    std::string digits = ascii.substr(e + 1);
    bool negative = !digits.empty() && digits[0] == '-';
    if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) digits.erase(0, 1);
    long long exponent = 0;
    for (char c : digits) exponent = std::min(exponent * 10 + (c - '0'), 1'000'000'000'000LL);
    magnitude += negative ? -exponent : exponent;
  }
  return magnitude;
}

// Parses the plain decimal grammar of the numeric test; the value lands in `out`.
Parse parse_number(std::u16string_view s, double& out) {
  std::size_t i = 0, n = s.size();
  while (i < n && s[i] == u' ') ++i;
  while (n > i && s[n - 1] == u' ') --n;
  if (i == n) return Parse::NotNumber;
  std::string ascii;
  ascii.reserve(n - i);
  std::size_t p = i;
  if (s[p] == u'+' || s[p] == u'-') {
    if (s[p] == u'-') ascii.push_back('-');
    ++p;
  }
  std::size_t digits = 0;
  bool point = false;
  for (; p < n; ++p) {
    char16_t c = s[p];
    if (c >= u'0' && c <= u'9') {
      ++digits;
    } else if (c == u'.' && !point) {
      point = true;
    } else {
      break;
    }
    ascii.push_back(static_cast<char>(c));
  }
  if (digits == 0) return Parse::NotNumber;
  if (p < n && (s[p] == u'e' || s[p] == u'E')) {
    ascii.push_back('e');
    ++p;
    if (p < n && (s[p] == u'+' || s[p] == u'-')) ascii.push_back(static_cast<char>(s[p++]));
    std::size_t exp_digits = 0;
    for (; p < n && s[p] >= u'0' && s[p] <= u'9'; ++p, ++exp_digits) {
      ascii.push_back(static_cast<char>(s[p]));
    }
    if (exp_digits == 0) return Parse::NotNumber;
  }
  if (p != n) return Parse::NotNumber;
  double value = 0;
  auto [end, ec] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
  if (ec == std::errc::result_out_of_range) {
    // Underflow towards zero is a number (zero); overflow is not.
    if (decimal_magnitude(ascii) < 0) {
      out = 0.0;
      return Parse::Ok;
    }
    return Parse::OutOfRange;
  }
  if (ec != std::errc() || end != ascii.data() + ascii.size()) return Parse::NotNumber;
  out = value;
  return Parse::Ok;
}

std::u16string ascii_to_u16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

}  // namespace

std::u16string number_to_text(double d) {
  if (std::isnan(d)) return u"NaN";
  if (std::isinf(d)) return d > 0 ? u"Infinity" : u"-Infinity";
  if (d == 0) return u"0";
  char buffer[32];
  // The general form with 15 digits is the automation layout: no trailing zeros, exponent form
  // below 1E-4 and from 1E15 on, at least two exponent digits. Unlike printf it ignores the
  // process's locale, so a host that sets a comma locale still gets "2.5".
  const auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, d, std::chars_format::general, 15);
  std::u16string out(buffer, end);
  std::replace(out.begin(), out.end(), u'e', u'E');
  return out;
}

std::u16string to_text(const Variant& v) {
  switch (v.type()) {
    case VarType::Empty:
      return {};
    case VarType::Null:
      throw_invalid_use_of_null();
    case VarType::Boolean:
      return v.as_bool() ? u"True" : u"False";
    case VarType::Integer:
      return ascii_to_u16(std::to_string(v.as_integer()));
    case VarType::Long:
      return ascii_to_u16(std::to_string(v.as_long()));
    case VarType::Double:
      return number_to_text(v.as_double());
    case VarType::String:
      return v.as_string();
    case VarType::Bytes:
    case VarType::Array:
      break;
  }
  throw_type_mismatch();
}

std::u16string_view text_view(const Variant& v, std::u16string& scratch) {
  if (v.is_string()) return v.as_string();
  scratch = to_text(v);
  return scratch;
}

bool is_numeric_text(std::u16string_view s) {
  double ignored = 0;
  return parse_number(s, ignored) == Parse::Ok;
}

bool is_numeric(const Variant& v) {
  switch (v.type()) {
    case VarType::Empty:
    case VarType::Boolean:
    case VarType::Integer:
    case VarType::Long:
    case VarType::Double:
      return true;
    case VarType::String:
      return is_numeric_text(v.as_string());
    default:
      return false;
  }
}

double to_number(const Variant& v) {
  switch (v.type()) {
    case VarType::Empty:
      return 0;
    case VarType::Null:
      throw_invalid_use_of_null();
    case VarType::Boolean:
      return v.as_bool() ? -1 : 0;
    case VarType::Integer:
      return v.as_integer();
    case VarType::Long:
      return v.as_long();
    case VarType::Double:
      return v.as_double();
    case VarType::String: {
      double value = 0;
      switch (parse_number(v.as_string(), value)) {
        case Parse::Ok:
          return value;
        case Parse::OutOfRange:
          throw_overflow();
        case Parse::NotNumber:
          break;
      }
      break;
    }
    default:
      break;
  }
  throw_type_mismatch();
}

bool to_truth(const Variant& v) {
  switch (v.type()) {
    case VarType::Empty:
    case VarType::Null:
      return false;
    case VarType::Boolean:
      return v.as_bool();
    case VarType::Integer:
    case VarType::Long:
    case VarType::Double:
      return to_number(v) != 0;
    case VarType::String: {
      const std::u16string& s = v.as_string();
      double value = 0;
      if (parse_number(s, value) == Parse::Ok) return value != 0;
      std::u16string folded;
      for (char16_t c : s) folded.push_back(c >= u'A' && c <= u'Z' ? c + 32 : c);
      if (folded == u"true") return true;
      if (folded == u"false") return false;
      break;
    }
    default:
      break;
  }
  throw_type_mismatch();
}

bool equals_text(const Variant& v, std::u16string_view s) {
  switch (v.type()) {
    case VarType::Null:
      return false;
    case VarType::Bytes:
    case VarType::Array:
      return false;
    default:
      return to_text(v) == s;
  }
}

}  // namespace pelmo
