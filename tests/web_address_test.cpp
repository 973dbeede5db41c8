#include "util/web_address.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "pelmo/text.h"
#include "util/address_guard.h"
#include "util/internal_address.h"

namespace pelmo::util {
namespace {

TEST(WebAddress, HttpAndHttpsInAnyCaseFromTheFirstCharacter) {
  for (const char16_t* yes : {u"http://a", u"https://a/b", u"HTTP://A", u"hTtPs://"}) {
    EXPECT_TRUE(is_web_address(yes)) << to_utf8(yes);
  }
  for (const char16_t* no : {u"", u"http", u"http:/a", u"https:a", u" http://a", u"\thttp://a",
                             u"ftp://a", u"file:///a", u"httpx://a", u"//a", u"ｈttp://a"}) {
    EXPECT_FALSE(is_web_address(no)) << to_utf8(no);
  }
}

TEST(WebAddress, ScriptlessAddresses) {
  // Kept exactly as given: web addresses, relative ones, colons after a path, query or fragment
  // starts, colons after something that is no scheme.
  for (const char16_t* kept :
       {u"http://a/x?javascript:1", u"HTTPS://a", u" \t\x01http://a", u"/path:x",
        u"page.html?q=a:b", u"a/b:c", u"?q=javascript:x", u"#x:y", u"", u"//host/x", u"1ab:x",
        u"a b:c", u"中文:x", u"-x:y", u"images/1.jpg", u"a.html?x=1&y=2", u"#&", u"a\x01b.html",
        u"java\x01script/x:y"}) {
    EXPECT_EQ(scriptless_address(kept), kept) << to_utf8(kept);
  }
  // Replaced by "#": a scheme other than http(s) as a browser reads it, or a character
  // reference before the path that could spell a colon, or a colon there with a control that
  // some readers skip.
  for (const char16_t* replaced :
       {u"javascript:alert(1)", u"JavaScript:x", u" \x01javascript:x", u"java\tscript:x",
        u"java\r\nscript:x", u"\njavascript:x", u"vbscript:x", u"data:text/html;base64,x",
        u"&#106;avascript:x", u"javascript&colon;x", u"mailto:a@b", u"x+y.z-w:1", u"http:x",
        u"https:/a", u"a&b/c", u"javascript://%0aalert(1)", u"java\x1Fscript:x",
        u"\x01java\x02script:x", u"1a:\x01"}) {
    EXPECT_EQ(scriptless_address(replaced), u"#") << to_utf8(replaced);
  }
  EXPECT_EQ(scriptless_address(std::u16string(u"java\0script:alert(1)", 19)), u"#");
}

IpAddress parsed(const std::string& text) {
  IpAddress ip;
  ip.is_v6 = text.find(':') != std::string::npos;
  if (inet_pton(ip.is_v6 ? AF_INET6 : AF_INET, text.c_str(), ip.bytes.data()) != 1) {
    ADD_FAILURE() << "not an address: " << text;
  }
  return ip;
}

// Numbers only: nothing here is connected to.
TEST(InternalAddress, EveryRangeToItsEdges) {
  const struct {
    const char* address;
    const char* range;  // nullptr: outside
  } cases[] = {
      {"0.0.0.0", "this network"},
      {"0.255.255.255", "this network"},
      {"1.0.0.0", nullptr},
      {"9.255.255.255", nullptr},
      {"10.0.0.0", "private"},
      {"10.255.255.255", "private"},
      {"11.0.0.0", nullptr},
      {"100.63.255.255", nullptr},
      {"100.64.0.0", "shared address"},
      {"100.127.255.255", "shared address"},
      {"100.128.0.0", nullptr},
      {"126.255.255.255", nullptr},
      {"127.0.0.0", "loopback"},
      {"127.255.255.255", "loopback"},
      {"128.0.0.0", nullptr},
      {"169.253.255.255", nullptr},
      {"169.254.0.0", "link-local"},
      {"169.254.169.254", "link-local"},
      {"169.254.255.255", "link-local"},
      {"169.255.0.0", nullptr},
      {"172.15.255.255", nullptr},
      {"172.16.0.0", "private"},
      {"172.31.255.255", "private"},
      {"172.32.0.0", nullptr},
      {"192.167.255.255", nullptr},
      {"192.168.0.0", "private"},
      {"192.168.255.255", "private"},
      {"192.169.0.0", nullptr},
      {"198.17.255.255", nullptr},
      {"198.18.0.0", "benchmark"},
      {"198.19.255.255", "benchmark"},
      {"198.20.0.0", nullptr},
      {"223.255.255.255", nullptr},
      {"224.0.0.0", "multicast"},
      {"239.255.255.255", "multicast"},
      {"240.0.0.0", "reserved"},
      {"255.255.255.254", "reserved"},
      {"255.255.255.255", "broadcast"},
      {"::", "unspecified"},
      {"::1", "loopback"},
      {"::2", "this network"},
      {"::ffff:127.0.0.1", "loopback"},
      {"::ffff:169.254.169.254", "link-local"},
      {"::ffff:10.1.2.3", "private"},
      {"::ffff:8.8.8.8", nullptr},
      {"::127.0.0.1", "loopback"},
      {"64:ff9b::a9fe:a9fe", "link-local"},
      {"64:ff9b::808:808", nullptr},
      {"2002:c0a8:101::1", "private"},
      {"2002:808:808::1", nullptr},
      {"fbff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", nullptr},
      {"fc00::", "unique-local"},
      {"fdff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", "unique-local"},
      {"fe7f:ffff:ffff:ffff:ffff:ffff:ffff:ffff", nullptr},
      {"fe80::", "link-local"},
      {"febf:ffff:ffff:ffff:ffff:ffff:ffff:ffff", "link-local"},
      {"fec0::", "site-local"},
      {"feff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", "site-local"},
      {"ff00::", "multicast"},
      {"ff02::1", "multicast"},
      {"2001:db8::1", nullptr},
      {"2606:4700::1111", nullptr},
  };
  for (const auto& c : cases) {
    const char* range = internal_range(parsed(c.address));
    EXPECT_STREQ(range, c.range) << c.address;
  }
  EXPECT_EQ(address_text(parsed("169.254.169.254")), "169.254.169.254");
  EXPECT_EQ(address_text(parsed("fe80::1")), "fe80:0:0:0:0:0:0:1");
}

// A fetch's connections in order, as a client reports them to its guard: the first address (or
// several, for a name with more than one), then the redirects'.
TEST(InternalAddress, AGuardAllowsRedirectsInsideOnlyToAFetchThatBeganInside) {
  const struct {
    std::vector<const char*> first;
    std::vector<const char*> redirects;
    bool deny;
    std::int32_t refused;  // 0: every connection allowed
  } cases[] = {
      {{"93.184.216.34"}, {"169.254.169.254"}, false, kRefusedRedirectCode},
      {{"93.184.216.34"}, {"10.0.0.1"}, false, kRefusedRedirectCode},
      {{"93.184.216.34"}, {"::ffff:192.168.1.1"}, false, kRefusedRedirectCode},
      {{"93.184.216.34"}, {"2606:4700::1111", "fd00::1"}, false, kRefusedRedirectCode},
      {{"93.184.216.34"}, {"2606:4700::1111"}, false, 0},
      // A name answering both inside and outside did not begin inside.
      {{"127.0.0.1", "93.184.216.34"}, {"10.0.0.1"}, false, kRefusedRedirectCode},
      {{"10.0.0.5"}, {"93.184.216.34", "192.168.0.9"}, false, 0},
      {{"10.0.0.5"}, {}, true, kRefusedAddressCode},
      {{"93.184.216.34"}, {"10.0.0.5"}, true, kRefusedRedirectCode},
      {{"93.184.216.34"}, {"8.8.8.8"}, true, 0},
      // The tests' stand-in for an outside site.
      {{"127.0.0.2"}, {"127.0.0.1"}, false, kRefusedRedirectCode},
      {{"127.0.0.2"}, {}, true, 0},
  };
  for (const auto& c : cases) {
    AddressGuard guard(AddressPolicy{c.deny, {ipv4_address(127, 0, 0, 2)}});
    std::int32_t refused = 0;
    for (const char* a : c.first) {
      if (auto r = guard.judge(parsed(a), false); r && refused == 0) refused = r->code;
    }
    for (const char* a : c.redirects) {
      if (auto r = guard.judge(parsed(a), true); r && refused == 0) refused = r->code;
    }
    EXPECT_EQ(refused, c.refused) << c.first.front() << " then " << c.redirects.size()
                                  << " redirect(s), deny " << c.deny;
  }
}

}  // namespace
}  // namespace pelmo::util
