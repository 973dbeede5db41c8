#include <gtest/gtest.h>

#include "pelmo/error.h"
#include "pelmo/local_page.h"
#include "pelmo/object.h"
#include "pelmo/text.h"

namespace pelmo {
namespace {

bool email_ok(std::u16string_view address) {
  auto obj = create_object("pelmo.zaverer");
  Variant email = text(address), result;
  obj->Emailis(email, result);
  EXPECT_EQ(email, text(address));  // never written back
  return result.as_bool();
}

TEST(Emailis, AcceptsPlainAddresses) {
  for (const char16_t* good : {u"user@host.qq", u"A.B-C_1@mail.host.qqq", u"x@y.qq",
                               u"-user@-host-.qq", u"u123@4host.com"}) {
    EXPECT_TRUE(email_ok(good)) << to_utf8(good);
  }
}

TEST(Emailis, RejectsEachBrokenRule) {
  for (const char16_t* bad :
       {u"", u"user", u"a@b@c.qq", u"@host.qq", u"user@", u"user.@host.qq", u".user@host.qq",
        u"user@host.qq.", u"user@localhost", u"user@host.q", u"user@host.qqqq", u"us..er@host.qq",
        u"user+tag@host.qq", u"user name@host.qq", u"用户@host.qq", u"user@host.\u212Aq"}) {
    EXPECT_FALSE(email_ok(bad)) << to_utf8(bad);
  }
}

TEST(Emailis, NullFailsAndNumbersAreText) {
  auto obj = create_object("pelmo.zaverer");
  Variant null = Variant::null(), number = Variant::integer(5), result;
  EXPECT_THROW(obj->Emailis(null, result), AutomationError);
  obj->Emailis(number, result);
  EXPECT_EQ(result, Variant::boolean(false));
}

TEST(IsPb, TrueOnlyForAnUpperCasePost) {
  for (auto [method, expected] : {std::pair{u"POST", true},
                                  {u"GET", false},
                                  {u"HEAD", false},
                                  {u"post", false},
                                  {u"", false}}) {
    auto obj = create_object("pelmo.zaverer");
    obj->OnStartPage(host::make_local_page(method));
    Variant result;
    obj->isPb(result);
    EXPECT_EQ(result, Variant::boolean(expected)) << to_utf8(method);
  }
}

TEST(IsPb, NeedsThePage) {
  auto obj = create_object("pelmo.zaverer");
  Variant result;
  EXPECT_THROW(obj->isPb(result), AutomationError);
  EXPECT_TRUE(result.is_empty());
}

std::u16string a_dir(Variant dir, Variant path) {
  auto obj = create_object("pelmo.zaverer");
  Variant result;
  obj->aDir(dir, path, result);
  return result.as_string();
}

TEST(ADir, PlacesPathsUnderTheVirtualRoot) {
  EXPECT_EQ(a_dir(text(u"portal"), text(u"js/menu.js")), u"/portal/js/menu.js");
  EXPECT_EQ(a_dir(text(u"portal"), text(u"/js/menu.js")), u"/portal/js/menu.js");
  EXPECT_EQ(a_dir(text(u""), text(u"js/menu.js")), u"/js/menu.js");
  EXPECT_EQ(a_dir(Variant(), text(u"/js/menu.js")), u"/js/menu.js");
  EXPECT_EQ(a_dir(text(u"portal"), text(u"../js/menu.js")), u"../js/menu.js");
  EXPECT_EQ(a_dir(text(u"portal"), text(u"./a.js")), u"/portal/./a.js");
  EXPECT_EQ(a_dir(text(u"portal/"), text(u"a.js")), u"/portal//a.js");
  EXPECT_EQ(a_dir(text(u"/portal"), text(u"a.js")), u"/portal/a.js");
  EXPECT_EQ(a_dir(text(u"/portal"), text(u"/a.js")), u"/portal/a.js");
  EXPECT_EQ(a_dir(text(u"/"), text(u"a.js")), u"/a.js");
  EXPECT_EQ(a_dir(text(u""), text(u"//cdn/a.js")), u"//cdn/a.js");
  EXPECT_EQ(a_dir(text(u" "), text(u"a.js")), u" /a.js");
  EXPECT_EQ(a_dir(text(u"portal"), text(u"")), u"/portal/");
  EXPECT_EQ(a_dir(text(u""), text(u"")), u"/");
  EXPECT_EQ(a_dir(Variant::null(), Variant::null()), u"/");
}

}  // namespace
}  // namespace pelmo
