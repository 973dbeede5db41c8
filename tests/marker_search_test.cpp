#include "extract/marker_search.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace pelmo::extract {
namespace {

std::size_t naive_find(std::u16string_view text, std::u16string_view marker, std::size_t from,
                       UnitFold fold) {
  for (std::size_t i = from; i + marker.size() <= text.size(); ++i) {
    bool same = true;
    for (std::size_t k = 0; same && k < marker.size(); ++k) {
      same = fold_unit(text[i + k], fold) == fold_unit(marker[k], fold);
    }
    if (same) return i;
  }
  return MarkerSearch::npos;
}

// Texts long enough for the wide scans and their tails, over an alphabet with letters in both
// cases, units that differ from a letter only in the 0x20 bit ("@", "`"), units with several
// lower-case preimages (k, K and the Kelvin sign) and markup.
void agree_with_the_obvious_search(UnitFold fold, std::size_t max_text, std::size_t max_marker,
                                   int rounds) {
  std::mt19937 rng(7 + static_cast<unsigned>(fold));
  constexpr std::u16string_view kAlphabet = u"aAbB\u00E9@`kK\u212A<\"";
  std::uniform_int_distribution<std::size_t> pick(0, kAlphabet.size() - 1);
  auto random = [&](std::size_t max) {
    std::u16string s(std::uniform_int_distribution<std::size_t>(0, max)(rng), u' ');
    for (char16_t& c : s) c = kAlphabet[pick(rng)];
    return s;
  };
  for (int i = 0; i < rounds; ++i) {
    std::u16string text = random(max_text);
    const std::u16string marker = random(max_marker);
    // Plant the marker now and then, or the longer ones would never occur.
    if (i % 3 == 0 && marker.size() <= text.size()) {
      const std::size_t at =
          std::uniform_int_distribution<std::size_t>(0, text.size() - marker.size())(rng);
      text.replace(at, marker.size(), marker);
    }
    const MarkerSearch search(marker, fold);
    const std::size_t from = std::uniform_int_distribution<std::size_t>(0, text.size())(rng);
    ASSERT_EQ(search.find(text, from), naive_find(text, marker, from, fold)) << "round " << i;
    std::size_t last = MarkerSearch::npos;
    for (std::size_t hit = naive_find(text, marker, 0, fold); hit != MarkerSearch::npos;
         hit = hit < text.size() ? naive_find(text, marker, hit + 1, fold) : MarkerSearch::npos) {
      last = hit;
    }
    ASSERT_EQ(search.find_last(text), last) << "round " << i;
    // Every occurrence after the end of the one before, read from probe windows, as the
    // repeated search finds them.
    if (marker.empty()) continue;
    std::vector<std::size_t> expected, each;
    for (std::size_t hit = naive_find(text, marker, from, fold); hit != MarkerSearch::npos;
         hit = naive_find(text, marker, hit + marker.size(), fold)) {
      expected.push_back(hit);
    }
    search.each(text.data(), text.size(), from, [&](std::size_t at) { each.push_back(at); });
    ASSERT_EQ(each, expected) << "round " << i;
  }
}

TEST(MarkerSearch, AgreesWithTheObviousSearch) {
  for (const UnitFold fold : {UnitFold::Exact, UnitFold::AsciiLetters, UnitFold::Lower}) {
    SCOPED_TRACE(static_cast<int>(fold));
    agree_with_the_obvious_search(fold, 16, 4, 10000);
    agree_with_the_obvious_search(fold, 120, 40, 4000);
  }
  // A marker seldom there: past two windows of 64 positions without a probed one, one scan
  // goes on to the next; an occurrence on either side of a window's edge is still found.
  for (const std::size_t at : {0, 63, 64, 127, 128, 129, 191, 192, 255, 256, 300}) {
    std::u16string text(400, u' ');
    text.replace(at, 3, u"<b>");
    text.replace(350, 3, u"<b>");
    std::vector<std::size_t> each;
    MarkerSearch(u"<b>", UnitFold::Exact).each(text.data(), text.size(), 0, [&](std::size_t hit) {
      each.push_back(hit);
    });
    EXPECT_EQ(each, (std::vector<std::size_t>{at, 350})) << "at " << at;
  }
}

std::u16string removed(std::u16string text, std::u16string_view marker) {
  remove_all(text, marker);
  return text;
}

TEST(MarkerSearch, RemoveAllIsExactAndDoesNotRescan) {
  EXPECT_EQ(removed(u"aXbxAB", u"x"), u"aXbAB");
  EXPECT_EQ(removed(u"aabb", u"ab"), u"ab");
  EXPECT_EQ(removed(u"aaa", u"aa"), u"a");
  EXPECT_EQ(removed(u"abc", u""), u"abc");
  EXPECT_EQ(removed(u"xxabxx", u"xx"), u"ab");
  EXPECT_EQ(removed(u"xx", u"xx"), u"");
}

// Two markers removed one after the other from a text handed over in pieces, as the joined
// blocks are: the same as removing each from the whole.
TEST(MarkerSearch, RemovalInPiecesAgreesWithTheWhole) {
  std::mt19937 rng(11);
  auto random = [&](std::size_t max) {
    std::u16string s(rng() % (max + 1), u'a');
    for (char16_t& c : s) c = u"ab"[rng() % 2];
    return s;
  };
  for (int round = 0; round < 3000; ++round) {
    const std::u16string whole = random(60), first = random(4), second = random(4);
    std::u16string text;
    MarkerRemoval a(first), b(second);
    for (std::size_t at = 0, piece = 0; at < whole.size() || piece == 0; at += piece) {
      piece = 1 + rng() % 9;
      text += whole.substr(at, piece);
      const bool last = at + piece >= whole.size();
      a.advance(text.data(), text.size(), last);
      b.advance(text.data(), a.settled(), last);
    }
    text.resize(b.settled());
    ASSERT_EQ(text, removed(removed(whole, first), second)) << "round " << round;
  }
}

TEST(MarkerSearch, SelfSimilarMarkerOnALongRun) {
  // A marker that almost matches at every position; a naive search compares it in full there.
  const std::u16string run(4'000'000, u'a');
  const std::u16string marker = std::u16string(2000, u'a') + u"b";
  EXPECT_EQ(MarkerSearch(marker, UnitFold::AsciiLetters).find(run), MarkerSearch::npos);
  EXPECT_EQ(MarkerSearch(marker, UnitFold::Exact).find_last(run + u"b"), run.size() - 2000);
  EXPECT_EQ(removed(run, marker).size(), run.size());
}

}  // namespace
}  // namespace pelmo::extract
