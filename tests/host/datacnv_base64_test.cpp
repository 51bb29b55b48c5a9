// Base64 encoding and decoding of binary values.
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
  EXPECT_EQ(text.size(), 1336u);
  EXPECT_EQ(text.find(u'\n'), std::u16string::npos);
  EXPECT_EQ(decode(text), bytes);
}

TEST(CPBase64Converter, IgnoresWhitespaceInside) {
  EXPECT_EQ(decode(u" Zm9v\r\nYmFy\n"), bytesOf("foobar"));
  EXPECT_TRUE(decode(u" \n ").empty());
}

TEST(CPBase64Converter, RejectsInvalidText) {
  // U+0176 would read as 'v' if narrowed by a cast.
  for (std::u16string_view text :
       {u"Zm9"sv, u"Zg"sv, u"Zm9v="sv, u"Z==="sv, u"Zm9v*"sv, u"Zm9\u0176"sv, u"Zm9v\0YmFy"sv})
    expectConversionError([&] { decode(text); }, "base64 binary", text);
}

}  // namespace
