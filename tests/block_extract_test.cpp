#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "extract/block_paths.h"
#include "host/pcre2_regexp.h"
#include "pelmo/error.h"
#include "pelmo/object.h"
#include "pelmo/text.h"

namespace pelmo {
namespace {

// Hands out the real regular expressions and counts them.
class CountingPlatform final : public host::Platform {
 public:
  std::unique_ptr<host::HttpClient> CreateHttpClient() override {
    return host::default_platform()->CreateHttpClient();
  }
  std::unique_ptr<host::RegExp> CreateRegExp() override {
    ++regexps;
    return host::make_pcre2_regexp();
  }
  int regexps = 0;
};

class BlockExtract : public ::testing::Test {
 protected:
  Variant body2s(Variant wstr, Variant start, Variant over, Variant sep, Variant tag) {
    Variant out = text(u"stale");
    obj->D1616_body2s(wstr, start, over, sep, tag, out);
    return out;
  }
  Variant body2s(std::u16string_view page, std::u16string_view start, std::u16string_view over,
                 bool tag = false, std::u16string_view sep = u"###") {
    return body2s(text(page), text(start), text(over), text(sep), Variant::boolean(tag));
  }
  // The error number of a failing call, whose result must be left Empty.
  std::int32_t failure(Variant wstr, Variant start, Variant over, Variant sep, Variant tag) {
    Variant out = text(u"stale");
    try {
      obj->D1616_body2s(wstr, start, over, sep, tag, out);
    } catch (const AutomationError& e) {
      EXPECT_TRUE(out.is_empty());
      return e.number();
    }
    ADD_FAILURE() << "the call did not fail";
    return 0;
  }

  std::shared_ptr<CountingPlatform> platform = std::make_shared<CountingPlatform>();
  std::shared_ptr<_zaverer> obj = create_object("pelmo.zaverer", platform);
};

TEST_F(BlockExtract, JoinsEveryBlockWithASeparatorAfterEach) {
  EXPECT_EQ(body2s(u"<i>x</i> <i>y</i>\n<i>z</i>", u"<i>", u"</i>", true), text(u"x###y###z###"));
  EXPECT_EQ(body2s(u"<i>x</i> <i>y</i>", u"<i>", u"</i>"), text(u"<i>x</i>###<i>y</i>###"));
  // A block spans lines; a start inside a block belongs to it; an unclosed start is dropped.
  EXPECT_EQ(body2s(u"<p>a\n<p>b</p> <p>c", u"<p>", u"</p>"), text(u"<p>a\n<p>b</p>###"));
  EXPECT_EQ(body2s(u"no blocks here", u"<i>", u"</i>"), text(u""));
  EXPECT_EQ(body2s(u"no blocks here", u"<i>", u"</i>", true), text(u""));
  EXPECT_EQ(body2s(u"", u"<i>", u"</i>", true), text(u""));
  EXPECT_EQ(platform->regexps, 0) << "plain markers take the two-step search";
}

TEST_F(BlockExtract, MarkersMatchInAnyCaseButOnlyTheExactTextIsRemoved) {
  const std::u16string page = u"<div>a</DIV><DIV>b</div>";
  EXPECT_EQ(body2s(page, u"<DIV>", u"</div>"), text(u"<div>a</DIV>###<DIV>b</div>###"));
  EXPECT_EQ(body2s(page, u"<DIV>", u"</div>", true), text(u"<div>a</DIV>###b###"));
  // Only ASCII letters have another case: U+00E9 does not find U+00C9.
  EXPECT_EQ(body2s(u"[\u00C9]x[\u00E9]", u"[\u00E9", u"]"), text(u"[\u00E9]###"));
}

TEST_F(BlockExtract, RemovalReachesContentAndSeparator) {
  EXPECT_EQ(body2s(u"<b>1<b>2</b>", u"<b>", u"</b>", true, u"</b>|"), text(u"12|"));
  EXPECT_EQ(body2s(u"ab x a y b", u"a", u"b", true, u"-ab-"), text(u"-- y --"));
}

TEST_F(BlockExtract, EscapedCharactersAreLiteral) {
  EXPECT_EQ(body2s(u"a(b1) ab1)", u"a(b", u")"), text(u"a(b1)###"));
  EXPECT_EQ(body2s(u"a\\b1; ab1;", u"a\\b", u";"), text(u"a\\b1;###"));
  EXPECT_EQ(body2s(u"$x? [y] $x? [z]", u"$x?", u"[z]"), text(u"$x? [y] $x? [z]###"));
  // The callers' link marker: a backslash before a quote.
  EXPECT_EQ(body2s(u"href=\\\"/t/1\\\" x", u"href=\\\"", u"\\\"", true), text(u"/t/1###"));
  EXPECT_EQ(platform->regexps, 0);
}

TEST_F(BlockExtract, UnescapedSyntaxKeepsItsMeaning) {
  EXPECT_EQ(body2s(u"a-b1. a\nb2.", u"a.b", u"."), text(u"a-b1###"));  // "." ends it too
  EXPECT_EQ(body2s(u"<i>1</div> <i>2</div>", u"<i>", u"</div>$"),
            text(u"<i>1</div> <i>2</div>###"));
  EXPECT_EQ(body2s(u"<i>1</div> <i>2</div>\n", u"<i>", u"</div>$"), text(u""));
  // The alternation splits the whole pattern: "x", or "y", any run, ";".
  EXPECT_EQ(body2s(u"x1; y2;", u"x|y", u";"), text(u"x###y2;###"));
  EXPECT_GT(platform->regexps, 0);
}

TEST_F(BlockExtract, EmptyMarkers) {
  EXPECT_EQ(body2s(u"<a>1<A>2", u"<a>", u""), text(u"<a>###<A>###"));
  EXPECT_EQ(body2s(u"1;2;3", u"", u";"), text(u"1;###2;###"));
  EXPECT_EQ(body2s(u"ab", u"", u""), text(u"#########"));  // an empty block at 0, 1 and 2
  EXPECT_EQ(body2s(u"ab", u"", u"", true, u"-"), text(u"---"));
}

TEST_F(BlockExtract, ReadingTheArguments) {
  // Numbers and Empty read as text; Null markers and text cannot be read.
  EXPECT_EQ(
      body2s(Variant::long_(1234), Variant::integer(2), Variant::integer(3), text(u"|"), Variant()),
      text(u"23|"));
  EXPECT_EQ(body2s(text(u"ab"), Variant(), Variant(), text(u"|"), Variant::null()), text(u"|||"));
  EXPECT_EQ(body2s(text(u"<i>1</i>"), text(u"<i>"), text(u"</i>"), text(u"|"), text(u"TRUE")),
            text(u"1|"));
  EXPECT_EQ(body2s(text(u"<i>1</i>"), text(u"<i>"), text(u"</i>"), text(u"|"), text(u"0")),
            text(u"<i>1</i>|"));
  const Variant page = text(u"<i>1</i>");
  EXPECT_EQ(failure(page, Variant::null(), text(u"</i>"), text(u"|"), Variant()),
            err::kInvalidUseOfNull);
  EXPECT_EQ(failure(page, text(u"<i>"), Variant::null(), text(u"|"), Variant()),
            err::kInvalidUseOfNull);
  EXPECT_EQ(failure(Variant::null(), text(u"<i>"), text(u"</i>"), text(u"|"), Variant()),
            err::kInvalidUseOfNull);
  EXPECT_EQ(failure(page, text(u"<i>"), text(u"</i>"), text(u"|"), text(u"maybe")),
            err::kTypeMismatch);
  EXPECT_EQ(failure(text(u"none"), text(u"<i>"), text(u"</i>"), text(u"|"), text(u"maybe")),
            err::kTypeMismatch)
      << "the truth value is read also when nothing matched";
}

TEST_F(BlockExtract, EngineErrorsFailTheCall) {
  EXPECT_EQ(failure(text(u"a"), text(u"*a"), text(u"b"), text(u"|"), Variant()), err::kRegexSyntax);
  EXPECT_EQ(failure(text(u"a"), text(u"+"), text(u""), text(u"|"), Variant()), err::kRegexSyntax);
  // A quantifier right after the shortest run is refused, as the pattern is written.
  EXPECT_EQ(failure(text(u"a"), text(u"a"), text(u"*b"), text(u"|"), Variant()), err::kRegexSyntax);
  EXPECT_EQ(failure(text(u"a"), text(u"a"), text(u"{2}b"), text(u"|"), Variant()),
            err::kRegexSyntax);
  EXPECT_EQ(body2s(u"a{2,b a{b", u"a", u"{2,b"), text(u"a{2,b###"));
  // A marker that backtracks without end stops at the engine's limits.
  const std::u16string run(40, u'a');
  EXPECT_EQ(
      failure(text(run + u"x"), text(u"a*a*a*a*a*a*a*a*a*a*c"), text(u"x"), text(u"|"), Variant()),
      err::kOutOfStack);
}

// Random pages and markers over a small alphabet: letters in both cases, marker characters,
// a line feed and code units whose case only Unicode knows.
class BlockPaths : public ::testing::Test {
 protected:
  std::u16string random_text(std::u16string_view alphabet, std::size_t max_length) {
    std::uniform_int_distribution<std::size_t> length(0, max_length);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::u16string s(length(rng), u' ');
    for (char16_t& c : s) c = alphabet[pick(rng)];
    return s;
  }
  static std::string describe(std::u16string_view page, std::u16string_view start,
                              std::u16string_view over) {
    return "page \"" + to_utf8(page) + "\" start \"" + to_utf8(start) + "\" over \"" +
           to_utf8(over) + "\"";
  }

  std::mt19937 rng{20240611};
  host::Platform& platform = *host::default_platform();
};

TEST_F(BlockPaths, LiteralSearchAgreesWithTheEngine) {
  constexpr std::u16string_view kPage = u"aAbB<</>\\()?$[]-\n\u00E9\u00C9\u0101\u0100\u212Ak";
  constexpr std::u16string_view kMarker = u"aAbB</>\\(?$[\u00E9\u00C9\u0100k";
  // Most markers are cut from the page with their ASCII letters' case flipped at
  // random, so that many cases hold whole blocks.
  auto marker = [&](const std::u16string& page, std::size_t max_length) {
    if (page.empty() || rng() % 4 == 0) return random_text(kMarker, max_length);
    std::size_t at = rng() % page.size();
    std::u16string cut = page.substr(at, rng() % (max_length + 1));
    for (char16_t& c : cut) {
      if (rng() % 2 == 0 && c < 0x80 && std::isalpha(c)) c ^= 0x20;
    }
    return cut;
  };
  int with_blocks = 0;
  for (int i = 0; i < 8000; ++i) {
    const std::u16string page = random_text(kPage, 24);
    const std::u16string start = marker(page, 3);
    std::u16string over = marker(page, 2);
    if (over.find(u'$') != std::u16string::npos) over.clear();  // "$" anchors in the end marker
    ASSERT_TRUE(extract::markers_are_literal(start, over));
    const auto literal = extract::literal_blocks(page, start, over);
    ASSERT_EQ(literal, extract::engine_blocks(platform, page, start, over))
        << describe(page, start, over);
    if (!start.empty() && !over.empty() && !literal.empty()) ++with_blocks;
  }
  EXPECT_GT(with_blocks, 1000) << "too few cases exercise whole blocks";
}

TEST_F(BlockPaths, FastRunAgreesWithTheWrittenPattern) {
  // Markers with pattern syntax go to the engine with the run written as "(?s:.*?)"; it must
  // find what the written "(\n|.)*?" finds, and refuse what it refuses.
  constexpr std::u16string_view kPage = u"aAb.*\n{}2,|^$";
  constexpr std::u16string_view kMarker = u"aAb.*+{}2,|^$(";
  auto outcome = [](const std::function<std::vector<extract::Block>()>& run) {
    try {
      std::vector<std::size_t> flat;
      for (const auto& b : run()) {
        flat.push_back(b.offset);
        flat.push_back(b.length);
      }
      return flat;
    } catch (const AutomationError& e) {
      return std::vector<std::size_t>{static_cast<std::size_t>(-1),
                                      static_cast<std::size_t>(e.number())};
    }
  };
  for (int i = 0; i < 3000; ++i) {
    const std::u16string page = random_text(kPage, 12);
    const std::u16string start = random_text(kMarker, 3);
    const std::u16string over = random_text(kMarker, 3);
    auto written = outcome([&] {
      auto re = host::make_pcre2_regexp();
      re->SetIgnoreCase(true);
      re->SetGlobal(true);
      re->SetPattern(extract::escape_start_marker(start) + u"(\\n|.)*?" +
                     extract::escape_over_marker(over));
      std::vector<extract::Block> blocks;
      for (const auto& m : re->Execute(page)) blocks.push_back({m.index, m.value.size()});
      return blocks;
    });
    auto fast = outcome([&] { return extract::engine_blocks(platform, page, start, over); });
    ASSERT_EQ(written, fast) << describe(page, start, over);
  }
}

TEST_F(BlockPaths, EscapeSets) {
  EXPECT_EQ(extract::escape_start_marker(u"\\()?$[]x.*"), u"\\\\\\(\\)\\?\\$\\[\\]x.*");
  EXPECT_EQ(extract::escape_over_marker(u"\\()?$[]"), u"\\\\\\(\\)\\?$\\[\\]");
  EXPECT_TRUE(extract::markers_are_literal(u"a$b", u"</a>"));
  EXPECT_FALSE(extract::markers_are_literal(u"a", u"b$"));
  for (char16_t c : std::u16string_view(u".^*+{}|")) {
    EXPECT_FALSE(extract::markers_are_literal(std::u16string(1, c), u"x"));
    EXPECT_FALSE(extract::markers_are_literal(u"x", std::u16string(1, c)));
  }
}

TEST(BlockExtractLarge, TenMegabytePagesStayLinear) {
  auto obj = create_object("pelmo.zaverer");
  const std::u16string filler(96, u'x');
  std::u16string starts_only;
  std::u16string blocks;
  for (int i = 0; i < 100'000; ++i) {
    starts_only += u"<li>" + filler;
    blocks += u"<li>" + filler.substr(0, 91) + u"</li>";
  }
  Variant out;
  Variant page = Variant::string(starts_only), start = text(u"<LI>"), over = text(u"</li>"),
          sep = text(u"#"), tag = Variant::boolean(true);
  obj->D1616_body2s(page, start, over, sep, tag, out);
  EXPECT_EQ(out, text(u""));

  page = Variant::string(blocks);
  start = text(u"<li>");
  obj->D1616_body2s(page, start, over, sep, tag, out);
  ASSERT_TRUE(out.is_string());
  EXPECT_EQ(out.as_string().size(), 100'000u * 92u);
  EXPECT_EQ(out.as_string().substr(0, 93), filler.substr(0, 91) + u"#x");
}

}  // namespace
}  // namespace pelmo
