// Ltxt, Str4Null, FNum, Bint, StayNub, Lnumbs and Rm on one fuzzed text each round. Input: a
// flags byte (1: UTF-16 units; 6: Null, 4: Empty), then the text. Each result and each
// write-back is compared with the method's rules written out plainly (Str4Null's pair halving
// and Ltxt's tag scan included), so a fast path that drifts from the rules is caught.
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz_input.h"
#include "pelmo/convert.h"
#include "pelmo/error.h"
#include "pelmo/object.h"

namespace pelmo::fuzz {
namespace {

_zaverer& object() {
  static const std::shared_ptr<_zaverer> instance = create_object("pelmo.zaverer");
  return *instance;
}

std::u16string replaced(std::u16string s, std::u16string_view from, std::u16string_view to) {
  std::u16string out;
  std::size_t at = 0;
  for (std::size_t hit = s.find(from); hit != std::u16string::npos; hit = s.find(from, at)) {
    out.append(s, at, hit - at);
    out.append(to);
    at = hit + from.size();
  }
  out.append(s, at);
  return out;
}

std::u16string trimmed(const std::u16string& s) {
  const std::size_t first = s.find_first_not_of(u' ');
  if (first == std::u16string::npos) return {};
  return s.substr(first, s.find_last_not_of(u' ') - first + 1);
}

std::u16string single_line(const std::u16string& s) {
  std::u16string t = trimmed(s);
  for (std::u16string_view gone : {u"\"", u"'", u"\r\n", u"\r", u"\n", u"\t"}) {
    t = replaced(t, gone, u"");
  }
  while (t.find(u"  ") != std::u16string::npos) t = replaced(t, u"  ", u" ");
  return t;
}

// "<\/*[^<>]*>": from a "<", the first "<" or ">" after it decides; a ">" closes a tag.
std::u16string without_tags(const std::u16string& s) {
  std::u16string out;
  std::size_t i = 0;
  while (i < s.size()) {
    if (s[i] == u'<') {
      const std::size_t stop = s.find_first_of(u"<>", i + 1);
      if (stop != std::u16string::npos && s[stop] == u'>') {
        i = stop + 1;
        continue;
      }
    }
    out.push_back(s[i++]);
  }
  return out;
}

struct Call {
  Variant argument, result;
  int error = 0;
};

template <typename Method>
Call call(const Variant& argument, Method method) {
  Call c{argument, text(u"stale")};
  try {
    (object().*method)(c.argument, c.result);
  } catch (const AutomationError& e) {
    c.error = e.number();
    check(c.result.is_empty(), "a failed call leaves its result Empty");
  }
  return c;
}

void null_and_empty(const Variant& v) {
  const bool null = v.is_null();
  const Call rm = call(v, &_zaverer::Rm);
  const Call ltxt = call(v, &_zaverer::Ltxt);
  const Call fnum = call(v, &_zaverer::FNum);
  check(null ? rm.error == 94 && ltxt.error == 94 && fnum.error == 94
             : rm.result == text(u"") && ltxt.result == text(u"") &&
                   fnum.result == Variant::integer(0),
        "Rm, Ltxt and FNum on Null or Empty");
  check(call(v, &_zaverer::Str4Null).result == text(u""), "Str4Null of Null or Empty");
  check(call(v, &_zaverer::Lnumbs).result == text(u""), "Lnumbs of Null or Empty");
  check(call(v, &_zaverer::StayNub).result.is_empty(), "StayNub of Null or Empty");
  const Call bint = call(v, &_zaverer::Bint);
  check(bint.result == Variant::number(0) && bint.argument == text(u"0"), "Bint of Null or Empty");
}

}  // namespace
}  // namespace pelmo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelmo;
  using namespace pelmo::fuzz;
  if (size < 1) return 0;
  const std::uint8_t flags = data[0];
  if ((flags & 6) == 6) {
    null_and_empty(Variant::null());
    return 0;
  }
  if ((flags & 6) == 4) {
    null_and_empty(Variant());
    return 0;
  }
  const std::u16string s = as_text(bytes_of(data + 1, size - 1), (flags & 1) != 0);
  const Variant v = text(s);

  const Call rm = call(v, &_zaverer::Rm);
  const std::u16string quoted = replaced(s, u"\"", u"\u201C");
  check(rm.error == 0 && rm.result == text(quoted) && rm.argument == text(quoted), "Rm");

  const Call lnumbs = call(v, &_zaverer::Lnumbs);
  const std::u16string one_line = replaced(replaced(s, u"\r", u""), u"\n", u"");
  check(lnumbs.error == 0 && lnumbs.result == text(one_line), "Lnumbs result");
  check(lnumbs.argument == (s.empty() ? v : text(one_line)), "Lnumbs write-back");

  const Call str4null = call(v, &_zaverer::Str4Null);
  if (str4null.error != 0 || str4null.result != text(single_line(s))) {
    fail("Str4Null gave \"" + shown(str4null.result.as_string()) + "\" where \"" +
         shown(single_line(s)) + "\" was due");
  }
  check(str4null.argument == v, "Str4Null leaves its argument alone");

  const Call ltxt = call(v, &_zaverer::Ltxt);
  if (ltxt.error != 0 || ltxt.result != text(without_tags(s))) {
    fail("Ltxt gave \"" +
         (ltxt.error ? std::to_string(ltxt.error) : shown(ltxt.result.as_string())) +
         "\" where \"" + shown(without_tags(s)) + "\" was due");
  }

  const Call staynub = call(v, &_zaverer::StayNub);
  std::u16string digits;
  for (char16_t c : s) {
    if (c >= u'0' && c <= u'9') digits.push_back(c);
  }
  check(staynub.error == 0, "StayNub does not fail on a text");
  check(s.empty() ? staynub.result.is_empty() : staynub.result == text(digits), "StayNub");

  const Call fnum = call(v, &_zaverer::FNum);
  const std::u16string spaceless = replaced(s, u" ", u"");
  check(fnum.error == 0 && fnum.argument == text(spaceless), "FNum writes the spaceless list");
  if (spaceless.empty()) {
    check(fnum.result == Variant::integer(0), "FNum of nothing is the Integer 0");
  } else {
    std::u16string list, item;
    for (std::size_t i = 0; i <= spaceless.size(); ++i) {
      if (i == spaceless.size() || spaceless[i] == u',') {
        list += is_numeric_text(item) ? item : u"0";
        if (i != spaceless.size()) list += u",";
        item.clear();
      } else {
        item.push_back(spaceless[i]);
      }
    }
    if (fnum.result != text(list)) fail("FNum gave \"" + shown(fnum.result.as_string()) + "\"");
  }

  const Call bint = call(v, &_zaverer::Bint);
  check(bint.error == 0 && bint.result.type() == VarType::Double, "Bint gives a Double");
  const std::u16string t = trimmed(s);
  const bool numeric = !t.empty() && is_numeric_text(t);
  check(bint.argument == text(numeric ? t : u"0"), "Bint writes back the trimmed or 0");
  const double value = numeric ? to_number(text(t)) : 0.0;
  const double whole = bint.result.as_double();
  check(whole == std::floor(whole) && std::fabs(whole - value) <= 0.5, "Bint rounds");
  if (std::fabs(whole - value) == 0.5) check(std::fmod(whole, 2.0) == 0, "Bint halves to even");
  return 0;
}
