#include <gtest/gtest.h>

#include <string>

#include "host/icu_stream.h"
#include "pelmo/error.h"
#include "pelmo/local_page.h"
#include "support/loopback_server.h"

namespace pelmo {
namespace {

using testing::expect_automation_error;

constexpr std::int32_t kNotAllowed = 3219;
constexpr std::int32_t kClosed = 3704;
constexpr std::int32_t kAlreadyOpen = 3705;

// The whole sequence the stream decoder drives.
std::u16string read_as(host::Stream& s, const Bytes& bytes, const std::u16string& charset) {
  s.SetType(host::Stream::kTypeBinary);
  s.SetMode(host::Stream::kModeReadWrite);
  s.Open();
  s.Write(Variant::bytes(bytes));
  s.SetPosition(0);
  s.SetType(host::Stream::kTypeText);
  s.SetCharset(charset);
  std::u16string out = s.ReadText();
  s.Close();
  return out;
}

std::u16string decode(const Bytes& bytes, const std::u16string& charset) {
  return read_as(*host::make_icu_stream(), bytes, charset);
}

// Writes overwrite from the position and extend past the end, the first write included, and
// never reach back into the arrays they were given.
TEST(IcuStream, WritesOverwriteFromThePositionAndExtend) {
  auto s = host::make_icu_stream();
  s->SetType(host::Stream::kTypeBinary);
  s->SetMode(host::Stream::kModeReadWrite);
  s->Open();
  const Variant first = Variant::bytes({'A', 'B', 'C', 'D'});
  s->Write(first);
  s->SetPosition(2);
  s->Write(Variant::bytes({'x', 'y', 'z'}));
  s->SetPosition(1);
  s->Write(Variant::bytes({'-'}));
  EXPECT_EQ(first, Variant::bytes({'A', 'B', 'C', 'D'}));
  EXPECT_EQ(expect_automation_error([&] { s->SetPosition(6); }).number(), err::kStreamArguments);
  s->SetPosition(0);
  s->SetType(host::Stream::kTypeText);
  s->SetCharset(u"utf-8");
  EXPECT_EQ(s->ReadText(), u"A-xyz");
  s->Close();
  // Reopened, the stream starts empty again.
  s->SetType(host::Stream::kTypeBinary);
  s->Open();
  s->Write(Variant::bytes({'q'}));
  s->SetPosition(0);
  s->SetType(host::Stream::kTypeText);
  EXPECT_EQ(s->ReadText(), u"q");
}

TEST(IcuStream, CodePage936UnderItsNamesInAnyCase) {
  // 0x80 is the euro sign in code page 936 but not in strict GB2312.
  const Bytes bytes = {0xC4, 0xE3, 0x41, 0x80};
  for (const std::u16string name :
       {u"GB2312", u"gb2312", u"GBK", u"CP936", u"x-gbk", u"Windows-936", u"GB_2312-80", u"euc-cn",
        u"GB 2312", u"gb_2312", u"GB-K", u"EUC_CN"}) {
    EXPECT_EQ(decode(bytes, name), u"\u4F60A\u20AC") << std::string(name.begin(), name.end());
  }
}

TEST(IcuStream, OtherCharsetsThatIcuKnows) {
  EXPECT_EQ(decode({0xE4, 0xBD, 0xA0}, u"UTF-8"), u"\u4F60");
  EXPECT_EQ(decode({0xE4, 0xBD, 0xA0}, u"utf-8"), u"\u4F60");
  EXPECT_EQ(decode({0xA7, 0x41}, u"Big5"), u"\u4F60");
  EXPECT_EQ(decode({0x82, 0xA0}, u"Shift_JIS"), u"\u3042");
  EXPECT_EQ(decode({0xE9}, u"ISO-8859-1"), u"\u00E9");
  EXPECT_EQ(decode({0x60, 0x4F, 0x41, 0x00}, u"utf-16le"), u"\u4F60A");
  EXPECT_EQ(decode({}, u"UTF-8"), u"");
}

TEST(IcuStream, MalformedBytesBecomeReplacementCharacters) {
  EXPECT_EQ(decode({0x41, 0xFF, 0x42}, u"UTF-8"), u"A\uFFFDB");
  EXPECT_EQ(decode({0x41, 0xE4, 0xBD}, u"UTF-8"), u"A\uFFFD");  // cut off at the end
  EXPECT_EQ(decode({0x41, 0x00, 0x42}, u"UTF-8"), std::u16string(u"A\0B", 3));
}

TEST(IcuStream, UnknownCharsetsFailNamingThem) {
  for (const std::u16string name : {u"x-no-such-charset", u"", u"gb\u00E92312"}) {
    AutomationError e = expect_automation_error([&] { decode({0x41}, name); });
    EXPECT_EQ(e.number(), err::kStreamArguments);
    EXPECT_NE(e.description().find("charset"), std::string::npos) << e.description();
  }
  AutomationError e = expect_automation_error([&] { decode({0x41}, u"x-no-such-charset"); });
  EXPECT_NE(e.description().find("x-no-such-charset"), std::string::npos) << e.description();
}

TEST(IcuStream, BinaryWriteTakesOnlyByteArrays) {
  for (const Variant& v : {text(u"AB"), Variant(), Variant::null(), Variant::long_(7),
                           Variant::array({Variant::long_(65)})}) {
    auto s = host::make_icu_stream();
    s->SetType(host::Stream::kTypeBinary);
    s->SetMode(host::Stream::kModeReadWrite);
    s->Open();
    AutomationError e = expect_automation_error([&] { s->Write(v); });
    EXPECT_EQ(e.number(), err::kStreamArguments);
    EXPECT_NE(e.description().find("byte array"), std::string::npos) << e.description();
  }
}

TEST(IcuStream, CallsOutOfOrderFailClearly) {
  auto s = host::make_icu_stream();
  EXPECT_EQ(expect_automation_error([&] { s->ReadText(); }).number(), kClosed);
  EXPECT_EQ(expect_automation_error([&] { s->Write(Variant::bytes({1})); }).number(), kClosed);
  EXPECT_EQ(expect_automation_error([&] { s->SetPosition(0); }).number(), kClosed);
  EXPECT_EQ(expect_automation_error([&] { s->Close(); }).number(), kClosed);
  EXPECT_EQ(expect_automation_error([&] { s->SetType(3); }).number(), err::kStreamArguments);

  s->SetType(host::Stream::kTypeBinary);
  s->SetMode(host::Stream::kModeReadWrite);
  s->Open();
  EXPECT_EQ(expect_automation_error([&] { s->Open(); }).number(), kAlreadyOpen);
  EXPECT_EQ(expect_automation_error([&] { s->SetMode(3); }).number(), kAlreadyOpen);
  s->Write(Variant::bytes({0x41, 0x42}));
  // Still at the end of what was written: neither type nor charset may change here.
  EXPECT_EQ(expect_automation_error([&] { s->SetType(2); }).number(), kNotAllowed);
  EXPECT_EQ(expect_automation_error([&] { s->SetCharset(u"UTF-8"); }).number(), kNotAllowed);
  EXPECT_EQ(expect_automation_error([&] { s->SetPosition(3); }).number(), err::kStreamArguments);
  s->SetPosition(0);
  EXPECT_EQ(expect_automation_error([&] { s->ReadText(); }).number(), kNotAllowed);  // binary
  s->SetType(host::Stream::kTypeText);
  EXPECT_EQ(expect_automation_error([&] { s->Write(Variant::bytes({1})); }).number(), kNotAllowed);
  s->SetCharset(u"utf-8");
  s->SetPosition(1);
  EXPECT_EQ(s->ReadText(), u"B");  // from the position on
  s->Close();
  EXPECT_EQ(expect_automation_error([&] { s->ReadText(); }).number(), kClosed);
}

TEST(LocalPage, RequestMethodInAnyCaseAndNothingElse) {
  auto page = host::make_local_page(u"POST");
  auto request = page->Request();
  EXPECT_EQ(request->ServerVariables(u"REQUEST_METHOD"), text(u"POST"));
  EXPECT_EQ(request->ServerVariables(u"request_Method"), text(u"POST"));
  EXPECT_TRUE(request->ServerVariables(u"HTTP_HOST").is_empty());
  EXPECT_TRUE(request->ServerVariables(u"REQUEST_METHOD ").is_empty());
  EXPECT_EQ(host::make_local_page(u"")->Request()->ServerVariables(u"REQUEST_METHOD"), text(u""));
  EXPECT_EQ(host::make_local_page()->Request()->ServerVariables(u"REQUEST_METHOD"), text(u"GET"));
  EXPECT_NE(page->Application(), nullptr);
  EXPECT_NE(page->Response(), nullptr);
  EXPECT_NE(page->Session(), nullptr);
}

TEST(LocalPage, ServerCreatesStreamsOnly) {
  auto server = host::make_local_page()->Server();
  auto stream = server->CreateObject(u"ADODB.Stream");
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(read_as(*stream, {0xC4, 0xE3}, u"GB2312"), u"\u4F60");
  EXPECT_NE(server->CreateObject(u"adodb.stream"), server->CreateObject(u"adodb.stream"));
  AutomationError e =
      expect_automation_error([&] { server->CreateObject(u"Scripting.FileSystemObject"); });
  EXPECT_EQ(e.number(), 429);
  EXPECT_NE(e.description().find("Scripting.FileSystemObject"), std::string::npos);
}

}  // namespace
}  // namespace pelmo
