// What the component writes unquoted into a script (the listing's city and page) and which
// scraped addresses it writes into a page, on fuzzed texts (UTF-8, or UTF-16 units when the first
// byte has bit 0x01); each property is stated where it is checked.
#include <cstdint>
#include <regex>
#include <string>
#include <string_view>

#include "fuzz_input.h"
#include "util/script_value.h"
#include "util/web_address.h"

namespace pelmo::fuzz {
namespace {

// The grammar README documents.
const std::regex kName("[A-Za-z_$][A-Za-z0-9_$]*(\\.[A-Za-z_$][A-Za-z0-9_$]*)*");
const std::regex kNumber(
    "-?(0|[1-9][0-9]*)(\\.[0-9]*[1-9])?|-?[1-9](\\.[0-9]*[1-9])?E[+-][0-9]{2,3}");

// The text in ASCII, lower-cased when asked, every unit past ASCII as DEL (which no name,
// number or scheme holds).
std::string narrowed(std::u16string_view s, bool lower) {
  std::string out;
  for (char16_t c : s) {
    out += lower && c >= u'A' && c <= u'Z' ? static_cast<char>(c + 32)
           : c < 0x80                      ? static_cast<char>(c)
                                           : '\x7F';
  }
  return out;
}

void check_script_value(std::u16string_view s) {
  const std::string ascii = narrowed(s, false);
  const bool name = std::regex_match(ascii, kName);
  check(util::is_identifier_path(s) == name, "names are taken exactly when they match");
  if (util::is_component_number(s)) {
    check(std::regex_match(ascii, kNumber), "a number taken matches the number grammar");
  }
  if (!util::is_plain_script_value(s) || s.empty() || name || std::regex_match(ascii, kNumber)) {
    return;
  }
  check(s.size() >= 2 && (s.front() == u'"' || s.front() == u'\'') && s.back() == s.front(),
        "anything else taken is a quoted literal");
  check(s.substr(1, s.size() - 2).find_first_of(u"\"'\\\r\n\u2028\u2029<") == s.npos,
        "a quoted literal holds nothing that ends or escapes it");
}

// Character references decoded as in an attribute value (";" optional): numeric ones, the colon
// and the two that give a dropped control.
std::string decoded_references(std::string s) {
  static const std::regex kReference("&(#x0*([0-9a-f]+)|#0*([0-9]+)|(colon)|tab|newline);?");
  std::string out;
  for (std::smatch m; std::regex_search(s, m, kReference); s = m.suffix()) {
    const std::string digits = m[2].matched ? m[2].str() : m[3].str();
    const unsigned long code = m[4].matched     ? ':'
                               : digits.empty() ? '\t'
                               : digits.size() > 6
                                   ? 0x110000
                                   : std::stoul(digits, nullptr, m[2].matched ? 16 : 10);
    out += m.prefix().str() + (code < 0x80 ? static_cast<char>(code) : '\x7F');
  }
  return out + s;
}

// The scheme the most lenient reader finds at the start (every control dropped, leading blanks
// skipped), or "".
std::string scheme_read(std::u16string_view address) {
  std::string read = decoded_references(narrowed(address, true));
  std::erase_if(read, [](char c) { return static_cast<std::uint8_t>(c) < 0x20; });
  static const std::regex kScheme("^ *([a-z][a-z0-9+.-]*):");
  std::smatch found;
  return std::regex_search(read, found, kScheme) ? found[1].str() : std::string();
}

// What every browser reads as a web address: tabs and line breaks dropped, leading blanks and
// controls skipped, then http:// or https://.
bool read_as_web_address(std::u16string_view address) {
  std::string read = narrowed(address, true);
  std::erase_if(read, [](char c) { return c == '\t' || c == '\r' || c == '\n'; });
  static const std::regex kWebAddress("^[\\x00- ]*https?://");
  return std::regex_search(read, kWebAddress);
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
