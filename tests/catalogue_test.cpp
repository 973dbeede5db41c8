#include "pelmo/catalogue.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "cli/method_sections.h"
#include "pelmo/error.h"
#include "pelmo/identity.h"
#include "pelmo/object.h"

namespace pelmo {
namespace {

TEST(Catalogue, ThirtyOneSlotsInOrderWithHooksAtTheEnds) {
  auto entries = catalogue();
  ASSERT_EQ(entries.size(), 31u);
  std::set<std::string> names;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i].slot, static_cast<int>(i + 1));
    names.insert(std::string(entries[i].name));
  }
  EXPECT_EQ(names.size(), 31u);
  EXPECT_TRUE(entries.front().is_page_hook());
  EXPECT_TRUE(entries.back().is_page_hook());
  EXPECT_EQ(entries[20].name, "D1616_m");
  EXPECT_EQ(entries[20].params.size(), 10u);
  EXPECT_EQ(entries[22].params,
            (std::vector<std::string_view>{"wstr", "start", "over", "str", "tag"}));
}

// The build embeds docs/methods.md (the summaries come from it by construction): a section per
// slot, in slot order, each with the slot and signature on the line after its summary.
TEST(Catalogue, TheReferenceHasASectionPerSlotInOrder) {
  const auto entries = catalogue();
  const auto sections = cli::method_sections();
  ASSERT_EQ(sections.size(), entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    std::string signature = std::string(entries[i].summary) + "\n\nSlot " + std::to_string(i + 1) +
                            " · `" + std::string(entries[i].name) + "(";
    for (std::string_view param : entries[i].params) signature += std::string(param) + ", ";
    if (!entries[i].params.empty()) signature.resize(signature.size() - 2);
    EXPECT_NE(sections[i].text.find(signature + ")`"), std::string_view::npos) << signature;
  }
}

TEST(Catalogue, DispatchByNameIgnoresCase) {
  auto obj = create_object("PELMO.Zaverer");
  ASSERT_NE(find_method("str4null"), nullptr);
  Variant arg = text(u" a  b ");
  Variant* args[] = {&arg};
  Variant result;
  invoke_by_name(*obj, "STR4NULL", args, result);
  EXPECT_EQ(result, text(u"a b"));
}

TEST(Catalogue, DispatchRefusesHooksUnknownNamesAndWrongCounts) {
  auto obj = create_object("pelmo.zaverer");
  Variant result;
  EXPECT_THROW(invoke_by_name(*obj, "OnEndPage", {}, result), AutomationError);
  EXPECT_THROW(invoke_by_name(*obj, "NoSuchMethod", {}, result), AutomationError);
  EXPECT_THROW(invoke_by_name(*obj, "Rm", {}, result), AutomationError);
  EXPECT_TRUE(result.is_empty());
}

TEST(Factory, CreatesByProgIdOrClsidOnly) {
  EXPECT_NE(create_object(identity::kClsId), nullptr);
  EXPECT_NE(create_object("pelmo.zaverer"), nullptr);
  EXPECT_THROW(create_object("pelmo.other"), AutomationError);
}

}  // namespace
}  // namespace pelmo
