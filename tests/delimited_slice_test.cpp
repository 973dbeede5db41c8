#include <gtest/gtest.h>

#include <string>

#include "pelmo/error.h"
#include "pelmo/object.h"

namespace pelmo {
namespace {

class DelimitedSlice : public ::testing::Test {
 protected:
  Variant get(Variant s, Variant a, Variant b, Variant n) {
    Variant out = text(u"stale");
    obj->D1616_GetContent(s, a, b, n, out);
    return out;
  }
  Variant get(std::u16string_view s, std::u16string_view a, std::u16string_view b, int n) {
    return get(text(s), text(a), text(b), Variant::integer(static_cast<std::int16_t>(n)));
  }

  std::shared_ptr<_zaverer> obj = create_object("pelmo.zaverer");
};

TEST_F(DelimitedSlice, EveryModeOnTwoBoldRuns) {
  const std::u16string_view s = u"<b>x</b><b>y</b>";
  const std::u16string_view want[] = {
      u"x",        u"<b>x</b>", u"x</b><b>y</b>", s,   u"<b>x</b><b>",
      u"<b>x</b>", u"<b>",      u"<b>y</b>",      u"", u"b>y</b>"};
  for (int n = 0; n <= 9; ++n) {
    EXPECT_EQ(get(s, u"<b>", u"</b>", n), text(want[n])) << "mode " << n;
  }
  EXPECT_TRUE(get(s, u"<b>", u"</b>", 10).is_empty());
  EXPECT_TRUE(get(s, u"<b>", u"</b>", -1).is_empty());
}

TEST_F(DelimitedSlice, MarkersMatchInAnyCaseAndThePageKeepsItsLetters) {
  EXPECT_EQ(get(u"<B>X</B>", u"<b>", u"</b>", 0), text(u"X"));
  EXPECT_EQ(get(u"<b>x</b><B>Y</B>", u"<B>", u"</B>", 7), text(u"<B>Y</B>"));
  EXPECT_EQ(get(u"<b>x</b>", u"<B>", u"</B>", 1), text(u"<b>x</b>"));
  // Lower-casing reaches beyond ASCII without changing any position.
  EXPECT_EQ(get(u"\u00C9t\u00C9 [\u0100]", u"\u00E9T\u00E9 [", u"]", 0), text(u"\u0100"));
  EXPECT_EQ(get(u"\u00C9t\u00C9 [\u0100]", u"\u00E9T\u00E9 [", u"]", 2), text(u"\u0100]"));
}

TEST_F(DelimitedSlice, GuardGivesTheEmptyTextInEveryMode) {
  for (int n = 0; n <= 10; ++n) {
    EXPECT_EQ(get(u"<b>x</b>", u"<b>", u"</i>", n), text(u"")) << "mode " << n;
    EXPECT_EQ(get(u"<b>x</b>", u"<i>", u"</b>", n), text(u"")) << "mode " << n;
  }
  EXPECT_EQ(get(u"", u"", u"", 3), text(u""));
  EXPECT_EQ(get(Variant::null(), text(u"a"), text(u"a"), Variant()), text(u""));
  EXPECT_EQ(get(text(u"a"), Variant::null(), text(u"a"), Variant()), text(u""));
  EXPECT_EQ(get(text(u"a"), text(u"a"), Variant::null(), Variant::null()), text(u""));
}

TEST_F(DelimitedSlice, EndMarkerOnlyBeforeTheStart) {
  Variant out = text(u"stale");
  Variant s = text(u"</b>x<b>y"), a = text(u"<b>"), b = text(u"</b>"), n = Variant::integer(0);
  try {
    obj->D1616_GetContent(s, a, b, n, out);
    ADD_FAILURE() << "mode 0 must fail";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), err::kInvalidCall);
  }
  EXPECT_TRUE(out.is_empty());
  // Mode 1 gives the first lb - 1 code units from the start marker on instead.
  EXPECT_EQ(get(u"</b>x<b>y", u"<b>", u"</b>", 1), text(u"<b>"));
  EXPECT_EQ(get(u"</b>x<b>", u"<b>", u"</b>", 1), text(u"<b>"));
  // The start marker ends the page: nothing is left to hold the end marker.
  EXPECT_THROW(get(u"ab", u"b", u"a", 0), AutomationError);
  // Mode 1 searches from the start marker itself, so an end marker inside it counts.
  EXPECT_EQ(get(u"x<b>y", u"<b>", u"b", 1), text(u"<b"));
}

TEST_F(DelimitedSlice, EmptyMarkers) {
  // An empty start marker is found at position 1 and, from the end, at the last code unit.
  EXPECT_EQ(get(u"ab;cd", u"", u";", 0), text(u"ab"));
  EXPECT_EQ(get(u"ab;cd", u"", u";", 2), text(u"ab;cd"));
  EXPECT_EQ(get(u"ab;cd", u"", u";", 8), text(u""));
  EXPECT_EQ(get(u"ab;cd", u"", u";", 7), text(u"d"));
  EXPECT_EQ(get(u"ab;cd", u"", u";", 9), text(u""));
  EXPECT_EQ(get(u"ab;cd", u"", u";", 5), text(u"ab;c"));
  // An empty end marker is found at once after the start marker.
  EXPECT_EQ(get(u"ab;cd", u";", u"", 0), text(u""));
  EXPECT_EQ(get(u"ab;cd", u";", u"", 1), text(u""));
}

TEST_F(DelimitedSlice, ModeSelection) {
  const Variant s = text(u"<b>x</b><b>y</b>"), a = text(u"<b>"), b = text(u"</b>");
  EXPECT_EQ(get(s, a, b, Variant()), text(u"x"));
  EXPECT_TRUE(get(s, a, b, Variant::null()).is_empty());
  EXPECT_EQ(get(s, a, b, text(u"3")), text(u"<b>x</b><b>y</b>"));
  EXPECT_EQ(get(s, a, b, text(u" 8 ")), text(u""));
  EXPECT_TRUE(get(s, a, b, text(u"three")).is_empty());
  EXPECT_EQ(get(s, a, b, Variant::number(6.0)), text(u"<b>"));
  EXPECT_TRUE(get(s, a, b, Variant::number(6.5)).is_empty());
  EXPECT_EQ(get(s, a, b, Variant::long_(9)), text(u"b>y</b>"));
  EXPECT_EQ(get(s, a, b, Variant::boolean(false)), text(u"x"));
  EXPECT_TRUE(get(s, a, b, Variant::boolean(true)).is_empty());
  EXPECT_THROW(get(s, a, b, Variant::bytes({1})), AutomationError);
  // Numbers read as text for the markers.
  EXPECT_EQ(get(Variant::long_(102030), Variant::integer(2), Variant::integer(3), Variant()),
            text(u"0"));
}

TEST(DelimitedSliceLarge, TenMegabytePage) {
  auto obj = create_object("pelmo.zaverer");
  std::u16string page(10'000'000, u'a');
  page += u"<B>tail</B>";
  Variant s = Variant::string(page), a = text(u"<b>"), b = text(u"</b>"), n = Variant(), out;
  obj->D1616_GetContent(s, a, b, n, out);
  EXPECT_EQ(out, text(u"tail"));
  // A start marker that almost occurs everywhere.
  a = Variant::string(std::u16string(1000, u'a') + u"<");
  n = Variant::integer(2);
  obj->D1616_GetContent(s, a, b, n, out);
  EXPECT_EQ(out, text(u"B>tail</B>"));
}

}  // namespace
}  // namespace pelmo
