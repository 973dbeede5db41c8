#include "pelmo/text.h"

#include <array>
#include <memory>

#include "util/unit_case.h"

namespace pelmo {

std::u16string trim_spaces(std::u16string_view s) {
  std::size_t begin = 0, end = s.size();
  while (begin < end && s[begin] == u' ') ++begin;
  while (end > begin && s[end - 1] == u' ') --end;
  return std::u16string(s.substr(begin, end - begin));
}

std::u16string replace_all(std::u16string_view s, std::u16string_view from,
                           std::u16string_view to) {
  if (from.empty()) return std::u16string(s);
  std::u16string out;
  out.reserve(s.size());
  std::size_t pos = 0;
  for (std::size_t hit = s.find(from); hit != std::u16string_view::npos; hit = s.find(from, pos)) {
    out.append(s, pos, hit - pos);
    out.append(to);
    pos = hit + from.size();
  }
  out.append(s, pos, std::u16string_view::npos);
  return out;
}

std::vector<std::u16string> split(std::u16string_view s, std::u16string_view sep) {
  std::vector<std::u16string> parts;
  if (s.empty()) return parts;
  if (sep.empty()) {
    parts.emplace_back(s);
    return parts;
  }
  std::size_t pos = 0;
  for (std::size_t hit = s.find(sep); hit != std::u16string_view::npos; hit = s.find(sep, pos)) {
    parts.emplace_back(s.substr(pos, hit - pos));
    pos = hit + sep.size();
  }
  parts.emplace_back(s.substr(pos));
  return parts;
}

namespace {

// The lower case of every code unit, computed once: a lookup instead of a property search per
// unit keeps case-insensitive scans of whole pages fast.
const std::array<char16_t, 0x10000>& lower_table() {
  static const auto table = [] {
    auto t = std::make_unique<std::array<char16_t, 0x10000>>();
    for (std::size_t c = 0; c < t->size(); ++c) {
      const auto unit = static_cast<char16_t>(c);
      if (c < 0x80) {
        (*t)[c] = (unit >= u'A' && unit <= u'Z') ? static_cast<char16_t>(unit + 32) : unit;
      } else if (c >= 0xD800 && c <= 0xDFFF) {
        (*t)[c] = unit;  // surrogate halves have no case of their own
      } else {
        (*t)[c] = platform_lower_unit(unit);
      }
    }
    return t;
  }();
  return *table;
}

}  // namespace

char16_t lower_unit(char16_t c) { return lower_table()[c]; }

const char16_t* lower_units() { return lower_table().data(); }

std::u16string lower(std::u16string_view s) {
  std::u16string out(s);
  for (char16_t& c : out) c = lower_unit(c);
  return out;
}

std::string to_utf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    char32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
        s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

std::u16string from_utf8(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char b = byte(i);
    std::size_t len = b < 0x80           ? 1
                      : (b >> 5) == 0x6  ? 2
                      : (b >> 4) == 0xE  ? 3
                      : (b >> 3) == 0x1E ? 4
                                         : 0;
    char32_t cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
    bool ok = len != 0 && i + len <= s.size();
    for (std::size_t k = 1; ok && k < len; ++k) {
      if ((byte(i + k) & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (ok && (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
    if (!ok) {
      out.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
}

}  // namespace pelmo
