// The hostile-input set: inputs an outside page can send that make naive code quadratic or
// worse. Each case is one call through the object on a generated input; the runner prints the
// time of that call and its outcome (the result's length, or the error it failed with).
//
//   pelmo_hostile [--json] [CASE ...]     (no CASE: every case, one after another)
//   pelmo_hostile --list
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "inputs.h"
#include "jobs.h"
#include "pelmo/error.h"
#include "pelmo/local_page.h"
#include "pelmo/object.h"
#include "support/memory_platform.h"

namespace {

using pelmo::Variant;
using pelmo::bench::kMiB;

struct Case {
  const char* name;
  const char* what;
};

// The same cases, inputs and names as peer.py's hostile set.
constexpr Case kCases[] = {
    {"body2s_unclosed", "D1616_body2s, 10 MB, 100,000 start markers, no end marker"},
    {"body2s_unclosed_pattern",
     "D1616_body2s, the same text, a start marker with a '.' (pattern path)"},
    {"body2s_backtracking",
     "D1616_body2s, start marker a*a*a*a*a*a*a*a*! on 20,000 'a' and an 'x'"},
    {"body2s_many_starts",
     "D1616_body2s, start marker a{0,15}a{0,15}a{0,15}a{0,15}a{0,15}b on 20,000 'a' and an 'x'"},
    {"body2s_greedy_cells", "D1616_body2s, start marker <td.*>.*class= on 3,000 '<td>', '</td>'"},
    {"body2s_greedy_cells_80k",
     "D1616_body2s, start marker <td.*>.*class= on 20,000 '<td>', '</td>'"},
    {"body2s_counted_run", "D1616_body2s, start marker a{0,65535}x on 100,000 'a' and a 'y'"},
    {"body2s_adjacent_runs", "D1616_body2s, start marker a+a+x on 5,000 'a' and a 'y'"},
    {"body2s_state_blowup",
     "D1616_body2s, start marker a.{24}x, no end marker, on 1,000,000 'a' and 'b' in no pattern, "
     "no 'x'"},
    {"body2s_bar_marker", "D1616_body2s, a start marker of 50,000,000 '|'"},
    {"ltxt_unclosed_tags", "Ltxt, 100,000 tags never closed"},
    {"ltxt_slashes", "Ltxt, 600 times '<' and 5,000 '/'"},
    {"str4null_spaces", "Str4Null, a 10 MB run of spaces between two letters"},
    {"fnum_commas", "FNum, 1,000,000 commas"},
    {"tuan_smain_100k_offers", "D1616_Tuan_Smain, 100,000 offer blocks, served from memory"},
    {"decode_pairs_0x80", "Tarvessa_BytesToBstr_new, 10 MB of 0x80 bytes"},
};

std::u16string ascii16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// 100,000 start tags of 100 characters each, padded with spaces to 10 MiB.
std::u16string unclosed_blocks() {
  std::u16string page;
  page.reserve(10 * kMiB);
  for (int i = 0; i < 100000; ++i) {
    std::u16string piece = u"<div id=\"productlist\" class=\"item\"><a href=\"/deal/" +
                           ascii16(std::to_string(i)) + u".html\">";
    piece.resize(99, u'.');
    piece += u'\n';
    page += piece;
  }
  page.resize(10 * kMiB, u' ');
  return page;
}

// 'a' and 'b' by one bit of a linear congruential sequence, the same in peer.py.
std::u16string scattered_ab(std::size_t length) {
  std::u16string text(length, u'b');
  std::uint32_t x = 1;
  for (std::size_t i = 0; i < length; ++i) {
    x = (x * 1103515245u + 12345u) & 0x7fffffffu;
    if ((x >> 16) & 1) text[i] = u'a';
  }
  return text;
}

std::u16string unclosed_tags() {
  std::u16string text;
  for (int i = 0; i < 100000; ++i) {
    text += u"<a href=\"/x/" + ascii16(std::to_string(i)) + u"\" title=\"never closed\" text ";
  }
  return text;
}

struct Prepared {
  std::string input_digest;
  std::size_t input_bytes = 0;  // GB2312 bytes of the text, or the body's bytes
  std::function<Variant()> call;
};

Prepared prepare(const std::string& name, pelmo::_zaverer& obj,
                 pelmo::testing::MemoryPlatform& memory) {
  using pelmo::bench::crc32_hex;
  using pelmo::bench::gb2312;
  auto hold = [](std::u16string s) { return std::make_shared<Variant>(Variant::string(s)); };
  if (name.rfind("body2s_", 0) == 0) {
    // Page, start and end marker, separator, whether the markers are stripped.
    struct Body2s {
      std::u16string page, start, over, separator;
      bool tag;
    };
    auto repeated = [](std::u16string_view unit, int times) {
      std::u16string out;
      for (int i = 0; i < times; ++i) out += unit;
      return out;
    };
    // The end marker's unit is after the run of 'a', so a backtracking engine has to try: the
    // first case backtracks without end from one start, the second only so far from each start
    // but from all 20,000 of them. The greedy cells and the two runs are ordinary-looking markers
    // whose cost a backtracking engine lets the page decide.
    const std::u16string a20k = std::u16string(20000, u'a') + u'x';
    const std::u16string productlist = u"<div class=\"cl\"></div>";
    Body2s c;
    if (name == "body2s_unclosed")
      c = {unclosed_blocks(), u"<div id=\"productlist\"", productlist, u"#####", true};
    if (name == "body2s_unclosed_pattern")
      c = {unclosed_blocks(), u"<div id=.productlist", productlist, u"#####", true};
    if (name == "body2s_backtracking") c = {a20k, u"a*a*a*a*a*a*a*a*!", u"x", u"#####", true};
    if (name == "body2s_many_starts")
      c = {a20k, u"a{0,15}a{0,15}a{0,15}a{0,15}a{0,15}b", u"x", u"#####", true};
    if (name == "body2s_greedy_cells")
      c = {repeated(u"<td>", 3000) + u"</td>", u"<td.*>.*class=", u"</td>", u"|", false};
    if (name == "body2s_greedy_cells_80k")
      c = {repeated(u"<td>", 20000) + u"</td>", u"<td.*>.*class=", u"</td>", u"|", false};
    if (name == "body2s_counted_run")
      c = {std::u16string(100000, u'a') + u'y', u"a{0,65535}x", u"y", u"|", false};
    if (name == "body2s_adjacent_runs")
      c = {std::u16string(5000, u'a') + u'y', u"a+a+x", u"y", u"|", false};
    // Which of the last 24 units were an 'a' is the state: more than any cache holds.
    if (name == "body2s_state_blowup") c = {scattered_ab(1000000), u"a.{24}x", u"", u"|", false};
    if (name == "body2s_bar_marker")
      c = {u"a|b", std::u16string(50'000'000, u'|'), u"", u"|", false};
    if (c.page.empty()) return {};
    auto w = hold(c.page), a = hold(c.start), b = hold(c.over), sep = hold(c.separator);
    auto tag = std::make_shared<Variant>(Variant::boolean(c.tag));
    return {crc32_hex(gb2312(c.page)), pelmo::bench::gb_length(c.page), [&obj, w, a, b, sep, tag] {
              Variant r;
              obj.D1616_body2s(*w, *a, *b, *sep, *tag, r);
              return r;
            }};
  }
  if (name == "ltxt_unclosed_tags") {
    const std::u16string t = unclosed_tags();
    auto arg = hold(t);
    return {crc32_hex(gb2312(t)), pelmo::bench::gb_length(t), [&obj, arg] {
              Variant r;
              obj.Ltxt(*arg, r);
              return r;
            }};
  }
  if (name == "ltxt_slashes") {
    std::u16string t;
    for (int i = 0; i < 600; ++i) t += u'<' + std::u16string(5000, u'/');
    auto arg = hold(t);
    return {crc32_hex(gb2312(t)), pelmo::bench::gb_length(t), [&obj, arg] {
              Variant r;
              obj.Ltxt(*arg, r);
              return r;
            }};
  }
  if (name == "str4null_spaces") {
    const std::u16string t = u"a" + std::u16string(10 * kMiB, u' ') + u"b";
    auto arg = hold(t);
    return {crc32_hex(gb2312(t)), pelmo::bench::gb_length(t), [&obj, arg] {
              Variant r;
              obj.Str4Null(*arg, r);
              return r;
            }};
  }
  if (name == "fnum_commas") {
    const std::u16string t(1000000, u',');
    auto arg = hold(t);
    return {crc32_hex(gb2312(t)), pelmo::bench::gb_length(t), [&obj, arg] {
              Variant r;
              obj.FNum(*arg, r);
              return r;
            }};
  }
  if (name == "tuan_smain_100k_offers") {
    const std::string body = gb2312(pelmo::bench::listing_page(0, 100000));
    const std::u16string url = u"http://listing.example/hostile";
    memory.serve(url, pelmo::Bytes(body.begin(), body.end()));
    auto u = hold(url), city = hold(u"bj"), cate = hold(u"4");
    auto page = std::make_shared<Variant>(Variant::integer(1));
    return {crc32_hex(body), body.size(), [&obj, u, city, cate, page] {
              Variant r;
              obj.D1616_Tuan_Smain(*u, *city, *cate, *page, r);
              return r;
            }};
  }
  if (name == "decode_pairs_0x80") {
    const std::string body(10 * kMiB, '\x80');
    auto arg = std::make_shared<Variant>(Variant::bytes(pelmo::Bytes(body.begin(), body.end())));
    return {crc32_hex(body), body.size(), [&obj, arg] {
              Variant r;
              obj.Tarvessa_BytesToBstr_new(*arg, r);
              return r;
            }};
  }
  return {};
}

std::string json_escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    if (static_cast<unsigned char>(c) < 0x20) {
      out += ' ';
      continue;
    }
    out += c;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  bool json = false;
  std::vector<std::string> names;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--json") == 0) {
      json = true;
    } else if (std::strcmp(argv[i], "--list") == 0) {
      for (const Case& c : kCases) std::printf("%s\t%s\n", c.name, c.what);
      return 0;
    } else {
      names.emplace_back(argv[i]);
    }
  }
  if (names.empty()) {
    for (const Case& c : kCases) names.emplace_back(c.name);
  }

  auto memory = std::make_shared<pelmo::testing::MemoryPlatform>();
  auto obj = pelmo::create_object("pelmo.zaverer", memory);
  obj->OnStartPage(pelmo::host::make_local_page());

  int status = 0;
  for (const std::string& name : names) {
    Prepared prepared = prepare(name, *obj, *memory);
    if (!prepared.call) {
      std::fprintf(stderr, "pelmo_hostile: no case %s (see --list)\n", name.c_str());
      status = 2;
      continue;
    }
    std::string outcome;
    const auto begin = std::chrono::steady_clock::now();
    try {
      const Variant result = prepared.call();
      const std::string text = pelmo::bench::result_text_utf8(result);
      outcome = "ok, " + std::to_string(text.size()) + " bytes of UTF-8";
    } catch (const pelmo::AutomationError& e) {
      outcome = "error " + std::to_string(e.number()) + ": " + e.what();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    if (json) {
      std::printf(
          "{\"case\": \"%s\", \"seconds\": %.6f, \"outcome\": \"%s\", \"input\": \"%s\", "
          "\"input_bytes\": %zu}\n",
          name.c_str(), seconds, json_escape(outcome).c_str(), prepared.input_digest.c_str(),
          prepared.input_bytes);
    } else {
      std::printf("%-26s %9.3f s  %s\n", name.c_str(), seconds, outcome.c_str());
    }
    std::fflush(stdout);
  }
  return status;
}
