#include <gtest/gtest.h>

#include <string>

#include "pelmo/error.h"
#include "pelmo/local_page.h"
#include "pelmo/object.h"
#include "support/loopback_server.h"

namespace pelmo {
namespace {

using testing::expect_automation_error;

class PairDecode : public ::testing::Test {
 protected:
  Variant decode(Variant& arg) {
    Variant result;
    obj_->Tarvessa_BytesToBstr_new(arg, result);
    return result;
  }
  Variant decode_bytes(const Bytes& bytes) {
    Variant arg = Variant::bytes(bytes);
    return decode(arg);
  }

  std::shared_ptr<_zaverer> obj_ = create_object("pelmo.zaverer");
};

TEST_F(PairDecode, SingleBytesAndEmptyInputs) {
  Variant arg = Variant::bytes({});
  EXPECT_EQ(decode(arg), text(u""));
  EXPECT_EQ(arg, text(u""));  // written back as a byte string
  arg = Variant();
  EXPECT_EQ(decode(arg), text(u""));
  EXPECT_EQ(arg, text(u""));

  arg = Variant::bytes({'H', 'i', '!', 0x00, 0x7F});
  EXPECT_EQ(decode(arg), text(std::u16string(u"Hi!\0\x7F", 5)));
  EXPECT_EQ(arg, Variant::byte_string({'H', 'i', '!', 0x00, 0x7F}));
}

TEST_F(PairDecode, EveryHighByteLeadsAPair) {
  EXPECT_EQ(decode_bytes({0xC4, 0xE3}), text(u"\u4F60"));
  EXPECT_EQ(decode_bytes({0x41, 0xC4, 0xE3, 0x42}), text(u"A\u4F60B"));
  // 0x80 is a single byte in the code page, yet here it takes 0x41 along as one code.
  EXPECT_EQ(decode_bytes({0x80, 0x41}), text(u"\uFFFD"));
  EXPECT_EQ(decode_bytes({0x81, 0x30, 0x31}), text(u"\uFFFD1"));
  EXPECT_EQ(decode_bytes({0xC4, 0x00}), text(u"\uFFFD"));
  EXPECT_EQ(decode_bytes({0x81, 0x40, 0xFE, 0xFE}), text(u"\u4E02\uE4C5"));
}

TEST_F(PairDecode, TextsAndNumbersAreWalkedByteByByte) {
  Variant arg = text(u"AB");
  EXPECT_EQ(decode(arg), text(std::u16string(u"A\0B\0", 4)));
  EXPECT_EQ(arg, text(u"AB"));
  arg = text(u"\u4F60");  // storage 60 4F
  EXPECT_EQ(decode(arg), text(u"`O"));
  arg = Variant::long_(12);
  EXPECT_EQ(decode(arg), text(std::u16string(u"1\0"
                                             u"2\0",
                                             4)));
  EXPECT_EQ(arg, text(u"12"));
}

TEST_F(PairDecode, OddLengthsRoundTripWithTheirLastByte) {
  Variant arg = Variant::bytes({0x41, 0xC4, 0xE3});
  EXPECT_EQ(decode(arg), text(u"A\u4F60"));
  ASSERT_TRUE(arg.is_string());
  EXPECT_EQ(arg.as_string(), u"\uC441");
  EXPECT_EQ(arg.odd_byte(), 0xE3);
  const Variant written = arg;
  EXPECT_EQ(decode(arg), text(u"A\u4F60"));
  EXPECT_EQ(arg, written);
}

TEST_F(PairDecode, LoneLeadByteAtTheEndFailsAfterTheWriteBack) {
  Variant arg = Variant::bytes({0x41, 0x42, 0xC4});
  Variant result = text(u"left over");
  AutomationError e = expect_automation_error([&] { obj_->Tarvessa_BytesToBstr_new(arg, result); });
  EXPECT_EQ(e.number(), err::kInvalidCall);
  EXPECT_TRUE(result.is_empty());
  EXPECT_EQ(arg, Variant::byte_string({0x41, 0x42, 0xC4}));
}

TEST_F(PairDecode, NullAndArraysFailWithoutWriteBack) {
  Variant result;
  Variant null = Variant::null();
  EXPECT_EQ(expect_automation_error([&] { obj_->Tarvessa_BytesToBstr_new(null, result); }).number(),
            err::kInvalidUseOfNull);
  EXPECT_TRUE(null.is_null());
  Variant array = Variant::array({Variant::long_(65)});
  const Variant before = array;
  EXPECT_EQ(
      expect_automation_error([&] { obj_->Tarvessa_BytesToBstr_new(array, result); }).number(),
      err::kTypeMismatch);
  EXPECT_EQ(array, before);
}

// Every two-byte code of the code page, decoded both ways, must agree.
TEST_F(PairDecode, AgreesWithTheStreamOnEveryDoubleByteCode) {
  Bytes body;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      body.push_back(static_cast<std::uint8_t>(lead));
      body.push_back(static_cast<std::uint8_t>(trail));
    }
  }
  obj_->OnStartPage(host::make_local_page());
  Variant arg = Variant::bytes(body);
  Variant cset = text(u"GBK");
  Variant by_stream;
  obj_->Tarvessa_BytesToBstr(arg, cset, by_stream);
  const Variant by_pairs = decode(arg);
  ASSERT_EQ(by_pairs.as_string().size(), body.size() / 2);
  ASSERT_EQ(by_stream.as_string().size(), body.size() / 2);
  for (std::size_t i = 0; i < body.size() / 2; ++i) {
    ASSERT_EQ(by_pairs.as_string()[i], by_stream.as_string()[i])
        << "code " << std::hex << int(body[2 * i]) << int(body[2 * i + 1]);
  }
}

}  // namespace
}  // namespace pelmo
