#include "util/output_escape.h"

namespace pelmo::util {

std::u16string escape_script_string(std::u16string_view s) {
  static constexpr char16_t kHex[] = u"0123456789abcdef";
  std::u16string out;
  out.reserve(s.size());
  for (const char16_t c : s) {
    switch (c) {
      case u'\\':
        out += u"\\\\";
        break;
      case u'"':
        out += u"\\\"";
        break;
      case u'\r':
        out += u"\\r";
        break;
      case u'\n':
        out += u"\\n";
        break;
      case u'\u2028':
        out += u"\\u2028";
        break;
      case u'\u2029':
        out += u"\\u2029";
        break;
      case u'<':
        // "</", "<!--" and "<script" inside a script element change how the page is parsed.
        out += u"\\u003c";
        break;
      default:
        if (c < 0x20) {
          out += u"\\u00";
          out += kHex[c >> 4];
          out += kHex[c & 0xF];
        } else {
          out += c;
        }
    }
  }
  return out;
}

std::u16string escape_html_attribute(std::u16string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (char16_t c : s) {
    switch (c) {
      case u'\'':
        out += u"&#39;";
        break;
      case u'<':
        out += u"&lt;";
        break;
      case u'>':
        out += u"&gt;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace pelmo::util
