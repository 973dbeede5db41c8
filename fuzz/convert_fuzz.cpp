// The conversions and the numeric test on fuzzed texts and numbers. The input is read twice:
// whole as a text (UTF-8, or UTF-16 units when its first byte is odd), and its first bytes as a
// double, a 32-bit and a 16-bit integer.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_input.h"
#include "pelmo/convert.h"
#include "pelmo/error.h"

namespace pelmo::fuzz {
namespace {

// The grammar of the numeric test, written out plainly: spaces, a sign, digits with at most
// one point (one digit at least), an exponent with at least one digit, spaces. The ASCII form
// (sign, digits, point, exponent) lands in `ascii` for strtod.
bool numeric_grammar(std::u16string_view s, std::string& ascii) {
  std::size_t i = 0, n = s.size();
  while (i < n && s[i] == u' ') ++i;
  while (n > i && s[n - 1] == u' ') --n;
  ascii.clear();
  if (i < n && (s[i] == u'+' || s[i] == u'-')) ascii.push_back(static_cast<char>(s[i++]));
  std::size_t digits = 0, points = 0;
  for (; i < n && ((s[i] >= u'0' && s[i] <= u'9') || s[i] == u'.'); ++i) {
    if (s[i] == u'.') {
      if (++points > 1) return false;
    } else {
      ++digits;
    }
    ascii.push_back(static_cast<char>(s[i]));
  }
  if (digits == 0) return false;
  if (i < n && (s[i] == u'e' || s[i] == u'E')) {
    ascii.push_back('e');
    ++i;
    if (i < n && (s[i] == u'+' || s[i] == u'-')) ascii.push_back(static_cast<char>(s[i++]));
    std::size_t exponent_digits = 0;
    for (; i < n && s[i] >= u'0' && s[i] <= u'9'; ++i, ++exponent_digits) {
      ascii.push_back(static_cast<char>(s[i]));
    }
    if (exponent_digits == 0) return false;
  }
  return i == n;
}

int error_of(void (*call)(const std::u16string&), const std::u16string& s) {
  try {
    call(s);
  } catch (const AutomationError& e) {
    return e.number();
  }
  return 0;
}

void check_text(const std::u16string& s) {
  const Variant v = Variant::string(s);
  check(to_text(v) == s, "to_text of a string is the string");
  const bool numeric = is_numeric_text(s);
  check(is_numeric(v) == numeric, "is_numeric and is_numeric_text agree on a string");

  std::string ascii;
  const bool grammar = numeric_grammar(s, ascii);
  if (numeric && !grammar) fail("numeric test passes a text outside its grammar: " + shown(s));

  const int number_error = error_of([](const std::u16string& t) { (void)to_number(text(t)); }, s);
  if (numeric) {
    // The numeric test promises that the conversion succeeds, to a finite value.
    if (number_error != 0) {
      fail("numeric text fails to_number with " + std::to_string(number_error) + ": " + shown(s));
    }
    const double value = to_number(v);
    check(std::isfinite(value), "a numeric text converts to a finite number");
    const double reference = std::strtod(ascii.c_str(), nullptr);
    if (value != reference && !(value == 0 && std::fpclassify(reference) == FP_SUBNORMAL)) {
      fail("to_number differs from strtod on " + shown(s));
    }
    check(to_truth(v) == (value != 0), "to_truth of a numeric text is its value not zero");
  } else {
    // Outside the grammar a text is a type mismatch; inside it, only a value beyond the double
    // range is refused (overflow).
    const int expected = grammar ? 6 : 13;
    if (number_error != expected) {
      fail("to_number of a non-numeric text gave error " + std::to_string(number_error) + ", not " +
           std::to_string(expected) + ": " + shown(s));
    }
    const int truth_error = error_of([](const std::u16string& t) { (void)to_truth(text(t)); }, s);
    const std::u16string folded = lower(s);
    const bool word = folded == u"true" || folded == u"false";
    check((truth_error == 0) == word, "to_truth accepts exactly the two words besides numbers");
    check(truth_error == 0 || truth_error == 13, "to_truth fails with a type mismatch");
  }
}

// Digits of the mantissa of an automation number text, without sign, point or leading zeros.
std::size_t significant_digits(const std::string& t) {
  std::string mantissa = t.substr(0, t.find('E'));
  std::size_t count = 0;
  bool leading = true;
  for (char c : mantissa) {
    if (c < '0' || c > '9') continue;
    if (leading && c == '0') continue;
    leading = false;
    ++count;
  }
  return count;
}

void check_number(double d) {
  const std::u16string t16 = number_to_text(d);
  check(to_text(Variant::number(d)) == t16, "to_text of a double is number_to_text");
  if (std::isnan(d) || std::isinf(d)) return;
  const std::string t(t16.begin(), t16.end());
  if (significant_digits(t) > 15) fail("more than 15 significant digits: " + t);
  const std::string mantissa = t.substr(0, t.find('E'));
  if (mantissa.find('.') != std::string::npos) {
    check(mantissa.back() != '0' && mantissa.back() != '.', "no trailing zeros after the point");
  }
  if (t.find('E') != std::string::npos) {
    const std::string exponent = t.substr(t.find('E') + 1);
    check(exponent.size() >= 3 && (exponent[0] == '+' || exponent[0] == '-'),
          "exponent written with a sign and at least two digits");
  }
  // The text reads back as a number, to a value within 15 digits, which writes the same text;
  // except that the doubles nearest the range's ends round to 15 digits beyond it
  // (1.79769313486232E+308), which then overflow when read, as the automation layer's do.
  if (!is_numeric_text(t16)) {
    const bool beyond = std::fabs(d) >= 1.797693134862315e308;
    if (beyond && error_of([](const std::u16string& s) { (void)to_number(text(s)); }, t16) == 6) {
      return;
    }
    fail("number_to_text gives a text the numeric test refuses: " + t);
  }
  const double back = to_number(text(t16));
  // Below one in size once rounded (0.99999999999999989 writes as "1"): a 0 before the point.
  if (t.find('E') == std::string::npos && std::fabs(back) < 1) {
    check(t == "0" || t.rfind("0.", 0) == 0 || t.rfind("-0.", 0) == 0, "a 0 before the point");
  }
  if (number_to_text(back) != t16) fail("no round trip through 15 digits: " + t);
  if (std::fabs(back - d) > std::fabs(d) * 1e-14 && std::fpclassify(d) == FP_NORMAL) {
    fail("round trip strays beyond 15 digits: " + t);
  }
}

}  // namespace
}  // namespace pelmo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelmo;
  using namespace pelmo::fuzz;
  const std::string_view bytes = bytes_of(data, size);
  const bool raw_units = size > 0 && (data[0] & 1) != 0 && (data[0] & 0x80) != 0;
  check_text(as_text(raw_units ? bytes.substr(1) : bytes, raw_units));

  if (size >= sizeof(double)) {
    double d = 0;
    std::memcpy(&d, data, sizeof d);
    check_number(d);
  }
  if (size >= sizeof(std::int32_t)) {
    std::int32_t l = 0;
    std::memcpy(&l, data, sizeof l);
    const std::u16string t = to_text(Variant::long_(l));
    check(t == number_to_text(static_cast<double>(l)), "a Long writes as its double");
    check(to_number(text(t)) == l, "a Long's text reads back");
    std::int16_t i = 0;
    std::memcpy(&i, data, sizeof i);
    check(to_number(text(to_text(Variant::integer(i)))) == i, "an Integer's text reads back");
  }
  return 0;
}
