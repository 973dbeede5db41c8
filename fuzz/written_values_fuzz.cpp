// The rules for what the component writes unquoted into a script and which scraped addresses it
// writes into a page, on fuzzed texts (UTF-8, or UTF-16 units when the first byte has bit 0x01).
// A value taken for the listing's city or page must be empty, match the documented grammar of
// names and numbers, or be a quoted literal that holds nothing ending or escaping it; names are
// taken exactly when they match the grammar. An address comes back as it was or as "#", and,
// read the way the most lenient browser reads an attribute (character references decoded, every
// control dropped), never starts a scheme other than http or https; an address with neither a
// colon nor a "&", or one a browser reads as http(s), is never touched.
#include <algorithm>
#include <cstdint>
#include <regex>
#include <string>
#include <string_view>
#include <utility>

#include "fuzz_input.h"
#include "util/script_value.h"
#include "util/web_address.h"

namespace pelmo::fuzz {
namespace {

// The grammar README documents. Texts outside ASCII match neither pattern.
const std::regex kName("[A-Za-z_$][A-Za-z0-9_$]*(\\.[A-Za-z_$][A-Za-z0-9_$]*)*");
const std::regex kNumber(
    "-?(0|[1-9][0-9]*)(\\.[0-9]*[1-9])?|-?[1-9](\\.[0-9]*[1-9])?E[+-][0-9]{2,3}");

std::string ascii_or_empty(std::u16string_view s) {
  std::string out;
  for (char16_t c : s) {
    if (c >= 0x80) return {};
    out += static_cast<char>(c);
  }
  return out;
}

bool closes_or_escapes(char16_t c) {
  return c == u'"' || c == u'\'' || c == u'\\' || c == u'\r' || c == u'\n' || c == u'\u2028' ||
         c == u'\u2029' || c == u'<';
}

void check_script_value(std::u16string_view s) {
  const std::string ascii = ascii_or_empty(s);
  const bool name = !ascii.empty() && std::regex_match(ascii, kName);
  check(util::is_identifier_path(s) == name, "names are taken exactly when they match");
  if (util::is_component_number(s)) {
    check(std::regex_match(ascii, kNumber), "a number taken matches the number grammar");
  }
  if (!util::is_plain_script_value(s) || s.empty() || name || std::regex_match(ascii, kNumber)) {
    return;
  }
  check(s.size() >= 2 && (s.front() == u'"' || s.front() == u'\'') && s.back() == s.front(),
        "anything else taken is a quoted literal");
  for (char16_t c : s.substr(1, s.size() - 2)) {
    check(!closes_or_escapes(c), "a quoted literal holds nothing that ends or escapes it");
  }
}

constexpr std::pair<std::u16string_view, char16_t> kNamedReferences[] = {
    {u"colon;", u':'}, {u"Tab;", u'\t'}, {u"NewLine;", u'\n'}};

// Character references as an attribute value is decoded: numeric ones, with or without ";",
// and the named ones that give a colon or a dropped control.
std::u16string decoded_references(std::u16string_view s) {
  std::u16string out;
  for (std::size_t i = 0; i < s.size();) {
    if (s[i] != u'&') {
      out += s[i++];
      continue;
    }
    std::size_t j = i + 1;
    if (j < s.size() && s[j] == u'#') {
      const bool hex = j + 1 < s.size() && (s[j + 1] == u'x' || s[j + 1] == u'X');
      j += hex ? 2 : 1;
      std::uint32_t value = 0;
      const std::size_t digits = j;
      for (; j < s.size(); ++j) {
        const char16_t c = s[j];
        const int d = c >= u'0' && c <= u'9'          ? c - u'0'
                      : hex && c >= u'a' && c <= u'f' ? c - u'a' + 10
                      : hex && c >= u'A' && c <= u'F' ? c - u'A' + 10
                                                      : -1;
        if (d < 0) break;
        value = std::min<std::uint32_t>(value * (hex ? 16 : 10) + d, 0x110000);
      }
      if (j > digits) {
        out += value < 0x10000 ? static_cast<char16_t>(value) : u'\uFFFD';
        i = j + (j < s.size() && s[j] == u';' ? 1 : 0);
        continue;
      }
    }
    bool named = false;
    for (const auto& [name, c] : kNamedReferences) {
      if (s.substr(i + 1).starts_with(name)) {
        out += c;
        i += 1 + name.size();
        named = true;
        break;
      }
    }
    if (!named) out += s[i++];
  }
  return out;
}

// The scheme, lower-cased, that the most lenient reader finds at the start, or "".
std::string scheme_read(std::u16string_view address) {
  std::string read;
  for (char16_t c : decoded_references(address)) {
    if (c < u' ' || (read.empty() && c == u' ')) continue;
    read += c >= u'A' && c <= u'Z' ? static_cast<char>(c + 32)
            : c < 0x80             ? static_cast<char>(c)
                                   : '\x7F';
  }
  static const std::regex kScheme("^([a-z][a-z0-9+.-]*):");
  std::smatch found;
  return std::regex_search(read, found, kScheme) ? found[1].str() : std::string();
}

// The address as every browser reads it: tabs and line breaks dropped, leading blanks and
// controls skipped.
bool read_as_web_address(std::u16string_view address) {
  std::string read;
  for (char16_t c : address) {
    if (c == u'\t' || c == u'\r' || c == u'\n' || (read.empty() && c <= u' ')) continue;
    read += c >= u'A' && c <= u'Z' ? static_cast<char>(c + 32)
            : c < 0x80             ? static_cast<char>(c)
                                   : '\x7F';
  }
  return read.starts_with("http://") || read.starts_with("https://");
}

void check_address(const std::u16string& address) {
  const std::u16string written = util::scriptless_address(address);
  check(written == address || written == u"#", "an address is kept or becomes #");
  const std::string scheme = scheme_read(written);
  check(scheme.empty() || scheme == "http" || scheme == "https",
        "no written address starts a scheme other than http or https");
  if (address.find_first_of(u":&") == std::u16string::npos || read_as_web_address(address)) {
    check(written == address, "relative and web addresses are left alone");
  }
}

}  // namespace
}  // namespace pelmo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelmo::fuzz;
  if (size == 0) return 0;
  const std::u16string value = as_text(bytes_of(data + 1, size - 1), (data[0] & 0x01) != 0);
  check_script_value(value);
  check_address(value);
  return 0;
}
