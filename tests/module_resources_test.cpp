#include <gtest/gtest.h>

#include <array>
#include <cstdlib>

#include "pelmo/convert.h"
#include "pelmo/error.h"
#include "pelmo/object.h"
#include "pelmo/text.h"
#include "support/error_of.h"

namespace pelmo {
namespace {

using testing::error_of;

class ModuleResources : public ::testing::Test {
 protected:
  // Calls D1616_m with v1..v4 and a fifth argument preset to `out`; v6..v10 hold junk.
  Variant call(Variant key, Variant v2, Variant v3 = Variant(), Variant v4 = Variant()) {
    std::array<Variant, 5> ignored = {text(u"x"), Variant::integer(1), Variant::null(), Variant(),
                                      text(u"tuangou")};
    Variant result;
    obj->D1616_m(key, v2, v3, v4, out, ignored[0], ignored[1], ignored[2], ignored[3], ignored[4],
                 result);
    return result;
  }
  std::shared_ptr<_zaverer> obj = create_object("pelmo.zaverer");
  Variant out = text(u"caller's");
};

TEST_F(ModuleResources, HoroscopeScriptNeedsTheSwitch) {
  EXPECT_EQ(call(text(u"xingzuo2"), text(u"1"), text(u"default"), text(u"today")),
            text(u"/template/default/images/xingzuo2/data_bak/today.js"));
  EXPECT_EQ(out, text(u"/template/default/images/xingzuo2/data_bak/today.js"));
  out = text(u"kept");
  EXPECT_TRUE(call(text(u"xingzuo2"), text(u"2"), text(u"d"), text(u"t")).is_empty());
  EXPECT_TRUE(call(text(u"xingzuo2"), Variant(), text(u"d"), text(u"t")).is_empty());
  EXPECT_TRUE(call(text(u"XINGZUO2"), text(u"1"), text(u"d"), text(u"t")).is_empty());
  EXPECT_EQ(out, text(u"kept"));
  EXPECT_EQ(call(text(u"xingzuo2"), Variant::integer(1), Variant(), text(u"t")),
            text(u"/template//images/xingzuo2/data_bak/t.js"));
}

TEST_F(ModuleResources, JoinsFollowThePlusOperator) {
  EXPECT_TRUE(call(text(u"xingzuo2"), text(u"1"), Variant::null(), text(u"t")).is_null());
  EXPECT_TRUE(out.is_null());
  out = text(u"kept");
  EXPECT_THROW(call(text(u"xingzuo2"), text(u"1"), Variant::integer(3), text(u"t")),
               AutomationError);
  EXPECT_THROW(call(text(u"tuangou3"), Variant::integer(3)), AutomationError);
  EXPECT_EQ(out, text(u"kept"));
}

TEST_F(ModuleResources, FixedPicturesAndOutsideAddresses) {
  EXPECT_EQ(call(text(u"tuangou"), Variant::null()), text(u"pelmo_Chajian/Images16/1.gif"));
  EXPECT_EQ(call(text(u"tuangou2"), Variant()), text(u"../../pelmo_Chajian/Images16/2.gif"));
  setenv("PELMO_SHOPNAV_DOMAIN", "localhost:8080", 1);
  setenv("PELMO_LOTTERY_HOST", "", 1);  // empty: the build-time default stays
  EXPECT_EQ(call(text(u"tuangou3"), text(u"bj")), text(u"http://bj.localhost:8080/navigate.html"));
  EXPECT_EQ(call(text(u"caipiao"), Variant::null()),
            text(u"http://lottery.example/caipiao/js/caipiao_data.js"));
  unsetenv("PELMO_SHOPNAV_DOMAIN");
  unsetenv("PELMO_LOTTERY_HOST");
  EXPECT_EQ(call(text(u"tuangou3"), text(u"bj")), text(u"http://bj.shopnav.example/navigate.html"));
  EXPECT_TRUE(call(text(u"Caipiao"), Variant()).is_empty());
  EXPECT_TRUE(call(Variant::null(), Variant()).is_empty());
}

TEST_F(ModuleResources, SubSiteLabelIsOneHostNameLabel) {
  const std::u16string longest(63, u'x');
  for (const std::u16string& label :
       {std::u16string(u"bj"), std::u16string(u"127"), std::u16string(u"-a-B-9-"), longest}) {
    EXPECT_EQ(call(text(u"tuangou3"), text(label)),
              text(u"http://" + label + u".shopnav.example/navigate.html"));
  }
  // Anything that could end the host name, or name another host, port or path, fails before
  // the fifth argument is written; so does a label that is no label at all.
  for (const std::u16string& label :
       {std::u16string(u"127.0.0.1:9/x?"), std::u16string(u"u@host/y#"), std::u16string(u""),
        longest + u"x", std::u16string(u"a.b"), std::u16string(u"a b"), std::u16string(u"a_b"),
        std::u16string(u"bj\n"), std::u16string(u"北京"), std::u16string(u"b%6a"),
        std::u16string(u"\uFF41")}) {
    out = text(u"kept");
    EXPECT_EQ(error_of([&] { call(text(u"tuangou3"), text(label)); }), err::kInvalidCall)
        << to_utf8(label);
    EXPECT_EQ(out, text(u"kept"));
  }
  EXPECT_EQ(error_of([&] { call(text(u"tuangou3"), Variant()); }), err::kInvalidCall);
  EXPECT_TRUE(call(text(u"tuangou3"), Variant::null()).is_null());
}

TEST(CategoryCodes, OnlyTheFiveKnownCodes) {
  auto obj = create_object("pelmo.zaverer");
  for (Variant code :
       {text(u"1"), text(u"2"), text(u"3"), text(u"4"), text(u"6"), Variant::integer(2)}) {
    Variant result;
    obj->D1616_Tuan_ppk_2(code, result);
    EXPECT_EQ(result, Variant::string(to_text(code))) << code;
  }
  for (Variant other : {text(u"5"), text(u"0"), text(u"12"), text(u" 1"), text(u"01"), Variant(),
                        Variant::null()}) {
    Variant result;
    obj->D1616_Tuan_ppk_2(other, result);
    EXPECT_EQ(result, text(u"")) << other;
  }
}

}  // namespace
}  // namespace pelmo
