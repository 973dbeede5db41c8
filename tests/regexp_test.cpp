#include <gtest/gtest.h>
#include <pcre2.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "extract/marker_search.h"
#include "host/pcre2_regexp.h"
#include "pelmo/error.h"

namespace pelmo::host {
namespace {

std::unique_ptr<RegExp> make(std::u16string pattern, bool global = true, bool ignore_case = true,
                             Pcre2Limits limits = {}) {
  auto re = make_pcre2_regexp(limits);
  re->SetIgnoreCase(ignore_case);
  re->SetGlobal(global);
  re->SetPattern(pattern);
  return re;
}

Pcre2Limits interpreter() {
  Pcre2Limits limits;
  limits.use_jit = false;
  return limits;
}

std::vector<std::u16string> values(const std::vector<RegExpMatch>& matches) {
  std::vector<std::u16string> out;
  for (const auto& m : matches) out.push_back(m.value);
  return out;
}

std::int32_t error_of(const std::function<void()>& work) {
  try {
    work();
  } catch (const AutomationError& e) {
    return e.number();
  }
  return 0;
}

using Values = std::vector<std::u16string>;

class Pcre2RegExpBoth : public ::testing::TestWithParam<bool> {
 protected:
  Pcre2Limits limits() const {
    Pcre2Limits l;
    l.use_jit = GetParam();
    return l;
  }
  std::unique_ptr<RegExp> re(std::u16string pattern, bool global = true) {
    return make(std::move(pattern), global, true, limits());
  }
};

TEST_P(Pcre2RegExpBoth, DialectTheComponentReliesOn) {
  EXPECT_EQ(values(re(u"a.c")->Execute(u"abc a\nc a\rc")), (Values{u"abc", u"a\rc"}));
  EXPECT_EQ(values(re(u"a(\\n|.)*?c")->Execute(u"xa\nbcc")), (Values{u"a\nbc"}));
  EXPECT_EQ(values(re(u"\\d+|x")->Execute(u"12x3")), (Values{u"12", u"x", u"3"}));
  EXPECT_EQ(values(re(u"[^\\d]+")->Execute(u"ab1cd")), (Values{u"ab", u"cd"}));
  // "$" only at the very end, not before a final line feed.
  EXPECT_TRUE(re(u"b$")->Execute(u"ab\n").empty());
  EXPECT_EQ(re(u"b$")->Execute(u"ab").size(), 1u);
  // A code unit is a character: a lone surrogate is matched by "." like any other.
  EXPECT_EQ(values(re(u"a.b")->Execute(u"a\xD800"
                                       u"b")),
            (Values{u"a\xD800"
                    u"b"}));
}

TEST_P(Pcre2RegExpBoth, ExecuteGivesNonOverlappingMatchesWithOffsets) {
  auto matches = re(u"ab")->Execute(u"xabABaab");
  ASSERT_EQ(matches.size(), 3u);
  EXPECT_EQ(matches[0].index, 1u);
  EXPECT_EQ(matches[1].index, 3u);
  EXPECT_EQ(matches[1].value, u"AB");
  EXPECT_EQ(matches[2].index, 6u);
  EXPECT_EQ(re(u"aa")->Execute(u"aaaaa").size(), 2u);
  auto first = re(u"ab", false)->Execute(u"xabab");
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].index, 1u);
  EXPECT_TRUE(re(u"q")->Execute(u"abc").empty());
}

TEST_P(Pcre2RegExpBoth, EmptyMatchMovesOnByOneCodeUnit) {
  auto matches = re(u"x*")->Execute(u"axxb");
  std::vector<std::size_t> offsets;
  for (const auto& m : matches) offsets.push_back(m.index);
  EXPECT_EQ(offsets, (std::vector<std::size_t>{0, 1, 3, 4}));
  EXPECT_EQ(values(matches), (Values{u"", u"xx", u"", u""}));
  EXPECT_EQ(re(u"")->Execute(u"").size(), 1u);
}

TEST_P(Pcre2RegExpBoth, ReplaceTakesTheReplacementLiterally) {
  EXPECT_EQ(re(u"[^\\d]*")->Replace(u"a1b22c", u""), u"122");
  EXPECT_EQ(re(u"<\\/*[^<>]*>")->Replace(u"<p class=x>a</p><br\n/>b", u""), u"ab");
  EXPECT_EQ(re(u"(b)")->Replace(u"abcB", u"$1\\0"), u"a$1\\0c$1\\0");
  EXPECT_EQ(re(u"b", false)->Replace(u"abcb", u"-"), u"a-cb");
  EXPECT_EQ(re(u"x*")->Replace(u"ab", u"-"), u"-a-b-");
}

TEST_P(Pcre2RegExpBoth, RefusedPatternFailsAtUseNotAtSetPattern) {
  auto bad = re(u"*a");
  std::int32_t number = 0;
  std::string description;
  try {
    bad->Execute(u"a");
  } catch (const AutomationError& e) {
    number = e.number();
    description = e.description();
  }
  EXPECT_EQ(number, err::kRegexSyntax);
  EXPECT_NE(description.find("quantifier"), std::string::npos) << description;
  EXPECT_NE(description.find("offset 0"), std::string::npos) << description;
  EXPECT_EQ(error_of([&] { re(u"a(b")->Replace(u"x", u""); }), err::kRegexSyntax);
  // The dialect stays code units: the pattern may not switch to UTF or Unicode properties.
  EXPECT_EQ(error_of([&] { re(u"(*UTF)a")->Execute(u"a"); }), err::kRegexSyntax);
  // A corrected pattern on the same object works.
  bad->SetPattern(u"a");
  EXPECT_EQ(bad->Execute(u"A").size(), 1u);
}

TEST_P(Pcre2RegExpBoth, ExplodingPatternFailsWithinLimits) {
  const std::u16string run(40, u'a');
  auto re = [&](std::u16string pattern) {
    Pcre2Limits l = limits();
    // The interpreter needs over a second for the default limit; a lower one takes the same path.
    if (!l.use_jit) l.work = 2'000'000;
    return make(std::move(pattern), true, true, l);
  };
  EXPECT_EQ(error_of([&] { re(u"(a*)*b")->Execute(run + u"cb"); }), err::kOutOfStack);
  EXPECT_EQ(error_of([&] { re(u"a*a*a*a*a*a*a*a*a*a*c")->Execute(run + u"bc"); }),
            err::kOutOfStack);
  EXPECT_EQ(error_of([&] { re(u"(a+)+b")->Replace(run + u"cb", u""); }), err::kOutOfStack);
}

// Each start position of "a*a*a*c" on 200 "a" backtracks up to 20,000 steps, all of them
// about 1.3 million: a budget of 300,000 for the whole call runs out although no single start
// comes near it. The default budget gives the engine's answer.
TEST_P(Pcre2RegExpBoth, WorkBudgetCoversTheWholeCallNotEachStart) {
  const std::u16string text = std::u16string(200, u'a') + u"bc";
  Pcre2Limits small = limits();
  small.work = 300'000;
  EXPECT_EQ(error_of([&] { make(u"a*a*a*c", true, true, small)->Execute(text); }),
            err::kOutOfStack);
  EXPECT_EQ(error_of([&] { make(u"a*a*a*c", true, true, small)->Replace(text, u""); }),
            err::kOutOfStack);
  const auto matches = re(u"a*a*a*c")->Execute(text);
  ASSERT_EQ(matches.size(), 1u);
  EXPECT_EQ(matches[0].index, 201u);
}

// The budget searches start positions in windows and runs a costly start alone; the matches
// must be those of one plain engine search per match, wherever they fall.
TEST_P(Pcre2RegExpBoth, WindowedSearchFindsWhatOnePlainSearchFinds) {
  auto plain = [&](const std::u16string& pattern, const std::u16string& text) {
    int error = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* code =
        pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                      PCRE2_CASELESS | PCRE2_DOLLAR_ENDONLY, &error, &offset, nullptr);
    pcre2_match_data* data = pcre2_match_data_create(1, nullptr);
    std::vector<std::pair<std::size_t, std::size_t>> found;
    for (std::size_t from = 0; from <= text.size();) {
      if (pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), from, 0, data,
                      nullptr) < 0)
        break;
      const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data);
      found.emplace_back(ov[0], ov[1] - ov[0]);
      from = ov[1] > ov[0] ? ov[1] : ov[0] + 1;
    }
    pcre2_match_data_free(data);
    pcre2_code_free(code);
    return found;
  };
  // Matches cheap and costly, close together and far apart, around the window sizes.
  std::u16string text;
  for (std::size_t i = 0; i < 40; ++i) {
    text += std::u16string((i * 37) % 300, u'.') + u"x";
    if (i % 3 == 0) text += u"<b>" + std::u16string((i * 101) % 5000, u'-') + u"</B>";
    if (i % 7 == 0) text += u"<b>";  // opened again, closed by the next block's end
  }
  for (const std::u16string pattern : {u"<b>(?s:.*?)</b>|x", u"x|<b>(?s:.*?)</b>", u"x*", u"\\.+x",
                                       u"<b>(?s:.*?)</b>$", u"(?s:.*)x"}) {
    std::vector<std::pair<std::size_t, std::size_t>> ours;
    for (const auto& m : re(pattern)->Execute(text)) ours.emplace_back(m.index, m.value.size());
    EXPECT_EQ(ours, plain(pattern, text)) << pattern.size();
  }
}

INSTANTIATE_TEST_SUITE_P(JitAndInterpreter, Pcre2RegExpBoth, ::testing::Bool(),
                         [](const auto& param_info) {
                           return param_info.param ? "Jit" : "Interpreter";
                         });

TEST(Pcre2RegExp, WrittenBlockRunOverflowsTheJitStackAsError28) {
  // The capturing form of "any run" needs JIT stack per code unit; 1 MiB is not enough for a
  // long block, and the failure is an error, not a crash.
  std::u16string page = u"<a>" + std::u16string(200'000, u'x') + u"</a>";
  EXPECT_EQ(error_of([&] { make(u"<a>(\\n|.)*?</a>")->Execute(page); }), err::kOutOfStack);
  EXPECT_EQ(make(u"<a>(?s:.*?)</a>")->Execute(page).size(), 1u);
}

TEST(Pcre2RegExp, HeapLimitOfTheInterpreterIsError28) {
  Pcre2Limits limits = interpreter();
  limits.heap_kib = 1024;
  std::u16string page = u"<a>" + std::u16string(200'000, u'x') + u"</a>";
  EXPECT_EQ(error_of([&] { make(u"<a>(\\n|.)*?</a>", true, true, limits)->Execute(page); }),
            err::kOutOfStack);
}

// The literal block search folds case as the engine does in code-unit mode. Every code unit,
// as a one-character caseless pattern, must match exactly the units that fold to the same
// unit: only ASCII letters have another case, whatever ICU says about U+00C9 or U+212A.
void expect_engine_folds_like_literal_search(bool jit, std::uint32_t stride_above_0x800) {
  std::u16string all;
  for (std::uint32_t c = 0; c <= 0xFFFF; ++c) all.push_back(static_cast<char16_t>(c));
  // Code units grouped by their folded unit, in ascending order.
  const auto fold = extract::UnitFold::AsciiLetters;
  std::vector<std::vector<std::size_t>> classes(0x10000);
  for (std::uint32_t d = 0; d <= 0xFFFF; ++d) {
    classes[extract::fold_unit(static_cast<char16_t>(d), fold)].push_back(d);
  }
  Pcre2Limits limits;
  limits.use_jit = jit;
  int mismatches = 0;
  for (std::uint32_t c = 0; c <= 0xFFFF && mismatches < 5;
       c += c < 0x800 ? 1 : stride_above_0x800) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "\\x{%x}", c);
    auto matches = make(std::u16string(buffer, buffer + std::strlen(buffer)), true, true, limits)
                       ->Execute(all);
    std::vector<std::size_t> got;
    for (const auto& m : matches) got.push_back(m.index);
    const auto& want = classes[extract::fold_unit(static_cast<char16_t>(c), fold)];
    if (got != want) {
      ++mismatches;
      ADD_FAILURE() << "code unit " << c << ": engine matched " << got.size() << " units";
    }
  }
}

TEST(Pcre2RegExp, CaselessFoldsOnlyAsciiLettersJit) {
  expect_engine_folds_like_literal_search(true, 1);
}

TEST(Pcre2RegExp, CaselessFoldsOnlyAsciiLettersInterpreter) {
  expect_engine_folds_like_literal_search(false, 37);
}

TEST(Pcre2RegExp, CaseSensitiveWhenIgnoreCaseIsOff) {
  auto re = make(u"ab", true, false);
  EXPECT_TRUE(re->Execute(u"AB").empty());
  re->SetIgnoreCase(true);  // takes effect although the pattern was compiled before
  EXPECT_EQ(re->Execute(u"AB").size(), 1u);
}

}  // namespace
}  // namespace pelmo::host
