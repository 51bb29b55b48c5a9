// Base64 encoding and decoding of binary values (the texts refused, and
// whitespace inside: datacnv_texts_test.cpp).
#include "base64converter.h"

#include "host/datacnv_test_support.h"
#include "paramname.h"

namespace {

std::vector<std::uint8_t> bytesOf(std::string_view text) { return {text.begin(), text.end()}; }

std::u16string encode(const std::vector<std::uint8_t>& bytes) {
  ZelWstring out;
  return std::u16string(CPBase64Converter::binToBase64(bytes.data(), bytes.size(), out).view());
}

std::vector<std::uint8_t> decode(std::u16string_view text) {
  return CPBase64Converter::binFromBase64(text.data(), text.size()).getBinaryValue();
}

using namespace std::literals;

struct Base64Case {
  std::string_view bytes;
  std::u16string_view text;
};

class Base64Vectors : public testing::TestWithParam<Base64Case> {};

TEST_P(Base64Vectors, EncodeAndDecode) {
  EXPECT_EQ(encode(bytesOf(GetParam().bytes)), GetParam().text);
  EXPECT_EQ(decode(GetParam().text), bytesOf(GetParam().bytes));
}

// All three padding cases: none, one "=" and two.
INSTANTIATE_TEST_SUITE_P(CPBase64Converter, Base64Vectors,
                         testing::Values(Base64Case{"", u""}, Base64Case{"f", u"Zg=="}, Base64Case{"fo", u"Zm8="},
                                         Base64Case{"foo", u"Zm9v"}, Base64Case{"foobar", u"Zm9vYmFy"},
                                         Base64Case{"\x00\x01\xfe\xff"sv, u"AAH+/w=="}), ReadableName());

TEST(CPBase64Converter, LongValuesHaveNoLineBreaksAndRoundTrip) {
  std::vector<std::uint8_t> bytes(1000);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
  const std::u16string text = encode(bytes);
  EXPECT_EQ(text.size(), 1336u);  // four units per three bytes, no line break
  EXPECT_EQ(decode(text), bytes);
}

}  // namespace
