#include "host/fast_decode.h"

#include <gtest/gtest.h>
#include <unicode/ucnv.h>

#include <memory>
#include <random>

namespace pelmo::host {
namespace {

struct Closer {
  void operator()(UConverter* c) const { ucnv_close(c); }
};

std::unique_ptr<UConverter, Closer> converter(const char* name) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UConverter, Closer> cnv(ucnv_open(name, &status));
  ucnv_setToUCallBack(cnv.get(), UCNV_TO_U_CALLBACK_SUBSTITUTE, nullptr, nullptr, nullptr, &status);
  EXPECT_TRUE(U_SUCCESS(status));
  return cnv;
}

// Random bodies mixing ASCII runs, valid and invalid multi-byte sequences and stray high bytes,
// cut at every length so lead bytes also land at the very end.
std::vector<std::uint8_t> random_body(std::mt19937& rng, std::size_t size) {
  std::uniform_int_distribution<int> kind(0, 11), byte(0, 255), ascii(0x20, 0x7E), high(0x80, 0xFF);
  std::uniform_int_distribution<char32_t> code_point(0x80, 0x10FFFF);
  std::vector<std::uint8_t> body;
  while (body.size() < size) {
    const int k = kind(rng);
    if (k >= 10) {
      // A whole UTF-8 sequence of any length, surrogates and overlong forms included.
      const char32_t cp = k == 10 ? code_point(rng) : code_point(rng) % 0x10000;
      if (cp < 0x800) {
        body.push_back(static_cast<std::uint8_t>(0xC0 | (cp >> 6)));
      } else if (cp < 0x10000) {
        body.push_back(static_cast<std::uint8_t>(0xE0 | (cp >> 12)));
        body.push_back(static_cast<std::uint8_t>(0x80 | ((cp >> 6) & 0x3F)));
      } else {
        body.push_back(static_cast<std::uint8_t>(0xF0 | (cp >> 18)));
        body.push_back(static_cast<std::uint8_t>(0x80 | ((cp >> 12) & 0x3F)));
        body.push_back(static_cast<std::uint8_t>(0x80 | ((cp >> 6) & 0x3F)));
      }
      body.push_back(static_cast<std::uint8_t>(0x80 | (cp & 0x3F)));
      continue;
    }
    const int run = k < 4 ? 20 : 1;
    for (int r = 0; r < run; ++r) {
      body.push_back(static_cast<std::uint8_t>(k < 4 ? ascii(rng) : k < 8 ? high(rng) : byte(rng)));
    }
  }
  body.resize(size);
  return body;
}

TEST(FastDecode, SameTextAsTheConverterForCodePage936AndUtf8) {
  std::mt19937 rng(936);
  auto fast936 = converter("windows-936-2000"), ref936 = converter("windows-936-2000");
  auto fast8 = converter("UTF-8"), ref8 = converter("UTF-8");
  for (int round = 0; round < 3000; ++round) {
    const auto body = random_body(rng, static_cast<std::size_t>(round % 97 + (round % 7) * 700));
    ASSERT_EQ(decode_cp936(fast936.get(), body.data(), body.size()),
              decode_with_converter(ref936.get(), body.data(), body.size()))
        << "round " << round;
    ASSERT_EQ(decode_utf8(fast8.get(), body.data(), body.size()),
              decode_with_converter(ref8.get(), body.data(), body.size()))
        << "round " << round;
  }
}

// Long runs of multi-byte text with one bad byte planted at each of many positions (so at each
// phase of a sequence and of the wide ASCII steps) must come out as the converter has it.
TEST(FastDecode, LongMultiByteRunsWithABadByteAnywhere) {
  auto fast936 = converter("windows-936-2000"), ref936 = converter("windows-936-2000");
  auto fast8 = converter("UTF-8"), ref8 = converter("UTF-8");
  std::vector<std::uint8_t> gbk, utf8;
  for (int k = 0; k < 3000; ++k) {
    gbk.insert(gbk.end(), {0xD6, 0xD0});          // one character, two bytes
    utf8.insert(utf8.end(), {0xE4, 0xB8, 0xAD});  // the same, three bytes
    if (k % 700 == 699) {
      gbk.push_back('a');
      utf8.push_back('a');
    }
  }
  for (std::size_t at = 2030; at < 2070; ++at) {
    for (auto* body : {&gbk, &utf8}) {
      std::vector<std::uint8_t> bad = *body;
      bad[at] = 0xFF;
      const bool is_gbk = body == &gbk;
      UConverter* fast = is_gbk ? fast936.get() : fast8.get();
      UConverter* ref = is_gbk ? ref936.get() : ref8.get();
      const auto decoded = is_gbk ? decode_cp936(fast, bad.data(), bad.size())
                                  : decode_utf8(fast, bad.data(), bad.size());
      ASSERT_EQ(decoded, decode_with_converter(ref, bad.data(), bad.size()))
          << (is_gbk ? "GBK" : "UTF-8") << " bad byte at " << at;
    }
  }
}

TEST(FastDecode, EveryPairAndEveryLoneLeadOfCodePage936) {
  auto fast = converter("windows-936-2000"), ref = converter("windows-936-2000");
  for (unsigned lead = 0x80; lead <= 0xFF; ++lead) {
    const std::uint8_t lone[1] = {static_cast<std::uint8_t>(lead)};
    ASSERT_EQ(decode_cp936(fast.get(), lone, 1), decode_with_converter(ref.get(), lone, 1));
    for (unsigned trail = 0; trail <= 0xFF; ++trail) {
      const std::uint8_t pair[3] = {static_cast<std::uint8_t>(lead),
                                    static_cast<std::uint8_t>(trail), 0xC4};
      ASSERT_EQ(decode_cp936(fast.get(), pair, 3), decode_with_converter(ref.get(), pair, 3))
          << std::hex << lead << " " << trail;
    }
  }
}

}  // namespace
}  // namespace pelmo::host
