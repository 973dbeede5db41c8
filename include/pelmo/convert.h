// Reading a variant as text, truth value or number, in the automation style.
#pragma once

#include <string>
#include <string_view>

#include "pelmo/variant.h"

namespace pelmo {

// Empty gives "", numbers their decimal text, Boolean "True"/"False"; Null fails (94);
// byte arrays and arrays fail (13).
std::u16string to_text(const Variant& v);

// The same text as to_text without a copy when the variant already holds a string; any other
// value is converted into `scratch`, which must outlive the view.
std::u16string_view text_view(const Variant& v, std::u16string& scratch);

// Null and Empty give false, numbers are true when not zero, a text reads as a number or as
// True/False in any letter case; anything else fails (13).
bool to_truth(const Variant& v);

// Empty gives 0, Boolean -1/0, a numeric text its value; Null fails (94), other texts (13),
// a numeric text beyond the double range (6).
double to_number(const Variant& v);

// The numeric test: optional spaces, optional sign, digits with at most one decimal point,
// optional exponent, optional spaces. The Empty variant, Booleans and numbers pass; the empty
// text does not (Empty and "" differ here, though Empty reads as "" elsewhere); Null fails.
bool is_numeric(const Variant& v);
bool is_numeric_text(std::u16string_view s);

// Decimal text of a double: up to 15 significant digits, "0." before a fraction, no
// trailing zeros, exponent form ("1E+15", "5E-05") for magnitudes below 0.0001 and from 1E15
// on.
std::u16string number_to_text(double d);

// Binary equality of a variant with a text constant: Empty equals "", numbers are compared
// by their text, Null equals nothing.
bool equals_text(const Variant& v, std::u16string_view s);

}  // namespace pelmo
