// Integers, doubles, decimals and hexadecimal binary in both directions (the
// texts each reads and refuses: datacnv_texts_test.cpp).
#include "host/datacnv_test_support.h"
#include "host/test_support.h"
#include "paramname.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

TEST(DataCnvInteger, SignModesTrimAndStrict) {
  const DataCnv cnv = handlerDataCnv();
  auto read = [&](std::u16string_view text, long signMode, long trim, long justification, char16_t pad, bool strict) {
    return cnv.StrToInt64(text.data(), text.size(), signMode, u'-', u'+', trim, justification, pad, strict)
        .getIntegerValue();
  };
  EXPECT_EQ(read(u"12-", DataCnv::SIGN_TRAILING, 0, 1, u'0', true), -12);
  EXPECT_EQ(read(u"-12", DataCnv::SIGN_LEADING_MINUS, 0, 1, u'0', true), -12);
  EXPECT_THROW(read(u"+12", DataCnv::SIGN_LEADING_MINUS, 0, 1, u'0', true), ZelConversionException);
  EXPECT_THROW(read(u"-12", DataCnv::SIGN_NONE, 0, 1, u'0', true), ZelConversionException);
  EXPECT_EQ(read(u"12**", DataCnv::SIGN_LEADING, 1, DataCnv::JUSTIFY_LEFT, u'*', true), 12);
  EXPECT_EQ(read(u"**12", DataCnv::SIGN_LEADING, 1, DataCnv::JUSTIFY_RIGHT, u'*', true), 12);
  EXPECT_EQ(read(u"\n 12\t", DataCnv::SIGN_LEADING, 0, 1, u'0', false), 12);
}

TEST(DataCnvDouble, RandomBitPatternsRoundTrip) {
  const DataCnv cnv = handlerDataCnv();
  std::mt19937_64 random(42);
  ZelBufferedWstring<32> text;
  for (int i = 0; i < 20000; ++i) {
    const std::uint64_t bits = random();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    if (std::isnan(value)) continue;
    cnv.StrFromDbl(value, text);
    const double back = cnv.StrToDbl(text.data(), text.length()).getFloatValue();
    ASSERT_EQ(std::memcmp(&back, &value, sizeof value), 0) << text.toUtf8();
  }
}

// The shortest round-trip text as std::to_chars finds it, in xs:double
// spelling ("1e+07" as "1E7").
std::u16string shortestText(double value) {
  char buffer[32];
  const std::string text(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
  const std::size_t e = text.find('e');
  std::string spelled = text.substr(0, e);
  if (e != std::string::npos) {
    const int exponent = std::stoi(text.substr(e + 1));
    spelled += "E" + std::to_string(exponent);
  }
  return std::u16string(spelled.begin(), spelled.end());
}

// Short decimals (prices, weights, counts) take a quicker way to their text
// than other doubles; at every scale and length both must spell the value
// as its shortest round-trip text, fixed or scientific.
class DoubleShortDecimals : public testing::TestWithParam<int> {};

TEST_P(DoubleShortDecimals, SpellTheShortestText) {
  const DataCnv cnv = handlerDataCnv();
  const int fractionDigits = GetParam();
  std::mt19937_64 random(fractionDigits);
  ZelBufferedWstring<32> text;
  for (int digits = 1; digits <= 17; ++digits) {
    const std::uint64_t limit = static_cast<std::uint64_t>(std::pow(10.0, digits));
    for (int i = 0; i < 300; ++i) {
      // Every third one ends in zeros.
      std::uint64_t mantissa = random() % limit;
      if (i % 3 == 0) mantissa -= mantissa % static_cast<std::uint64_t>(std::pow(10.0, random() % digits + 1));
      const double value = static_cast<double>(mantissa) / std::pow(10.0, fractionDigits) * (i % 2 ? -1 : 1);
      ASSERT_EQ(cnv.StrFromDbl(value, text).view(), shortestText(value)) << mantissa << "e-" << fractionDigits;
    }
  }
  // Neighbours of a short decimal have 16 or 17 digits.
  const double near = 0.1 * std::pow(10.0, -fractionDigits % 6);
  for (const double value : {std::nextafter(near, 0.0), std::nextafter(near, 1.0), 0.1 + 0.2})
    EXPECT_EQ(cnv.StrFromDbl(value, text).view(), shortestText(value));
}

INSTANTIATE_TEST_SUITE_P(DataCnv, DoubleShortDecimals, testing::Range(0, 19), ReadableName());

// Texts of few digits take a shorter way; they must read exactly as the
// general reader (the C library's) reads them, sign of zero included, and
// be known as their value's spelling exactly when StrFromDbl writes them.
TEST(DataCnvDouble, ShortPlainSpellingsReadAsTheGeneralReaderDoes) {
  const DataCnv cnv = handlerDataCnv();
  std::mt19937_64 random(7);
  ZelBufferedWstring<32> written;
  for (int i = 0; i < 20000; ++i) {
    const std::size_t digits = 1 + random() % 17;  // beyond 15 the general reader runs
    std::string text;
    // Every fourth one ends in zeros, every third has no point.
    for (std::size_t d = 0; d < digits; ++d) text += static_cast<char>(i % 4 == 0 && d + 6 > digits ? '0' : '0' + random() % 10);
    if (i % 3 != 0) text.insert(random() % (digits + 1), ".");  // ".5" and "5." included
    static constexpr const char* kSigns[] = {"", "-", "+"};
    text.insert(0, kSigns[random() % 3]);
    const double expected = std::strtod(text.c_str(), nullptr);
    const std::u16string wide(text.begin(), text.end());
    const double read = cnv.StrToDbl(wide.data(), wide.size()).getFloatValue();
    ASSERT_EQ(std::memcmp(&read, &expected, sizeof read), 0) << text;
    ASSERT_EQ(DataCnv::isDoubleWrittenAs(read, wide), cnv.StrFromDbl(read, written).view() == wide) << text;
  }
}

TEST(DataCnvIntoValue, ReplacesAnyKindAndKeepsTheValueOnFailure) {
  const DataCnv cnv = handlerDataCnv();
  auto dateTime = [&](std::u16string_view text) { return cnv.StrToDateTime(text.data(), u"I", -1); };
  auto decimal = [&](std::u16string_view text, PWFData& into) {
    cnv.StrToDec(text.data(), text.size(), false, 0, DataCnv::US_DECIMAL, DataCnv::SIGN_LEADING, DataCnv::US_MINUS,
                 DataCnv::US_PLUS, 0, DataCnv::JUSTIFY_RIGHT, u'0', true, into);
  };
  PWFData value = PWFData::makeString(u"a longer text than any value here", 33);
  decimal(u"+0012.50", value);
  EXPECT_EQ(value, toDecimal(cnv, u"+0012.50"));
  EXPECT_THROW(decimal(u"1e5", value), ZelConversionException);
  EXPECT_EQ(value, toDecimal(cnv, u"+0012.50"));
  cnv.StrToInt64(u"-42", 3, DataCnv::SIGN_LEADING, u'-', u'+', 0, DataCnv::JUSTIFY_RIGHT, u'0', true, value);
  EXPECT_EQ(value, PWFData::makeInteger(-42));
  cnv.StrToDbl(u"2.5", 3, value);
  EXPECT_EQ(value, PWFData::makeFloat(2.5));
  cnv.StrToDateTime(u"2024-03-05T10:00:00.5+01:00", u"I", -1, value);
  EXPECT_EQ(value, dateTime(u"2024-03-05T10:00:00.5+01:00"));
  // A date-time replaces the fraction and zone of the one before.
  cnv.StrToDateTime(u"2024-03-06", u"I", -1, value);
  EXPECT_EQ(value, dateTime(u"2024-03-06"));
  EXPECT_THROW(cnv.StrToDbl(u"x", 1, value), ZelConversionException);
  EXPECT_THROW(cnv.StrToDateTime(u"2024-13-01", u"I", -1, value), ZelConversionException);
  EXPECT_EQ(value, dateTime(u"2024-03-06"));
}

TEST(DataCnvDecimal, ImpliedPointAndOwnCharacters) {
  const DataCnv cnv = handlerDataCnv();
  auto implied = [&](std::u16string_view text, long scale) {
    return cnv.StrToDec(text.data(), text.size(), true, scale, u'.', 3, u'-', u'+', 0, 1, u'0', true).getText();
  };
  EXPECT_EQ(implied(u"12345", 2).view(), u"123.45");
  EXPECT_EQ(implied(u"5", 3).view(), u"0.005");
  EXPECT_EQ(implied(u"-5", 1).view(), u"-0.5");
  EXPECT_THROW(implied(u"1.5", 1), ZelConversionException);
  const std::u16string_view european = u"12,5~";
  const PWFData value = cnv.StrToDec(european.data(), european.size(), false, 0, u',', DataCnv::SIGN_TRAILING, u'~',
                                     u'#', 0, 1, u'0', true);
  EXPECT_EQ(value.getText().view(), u"-12.5");
  ZelWstring out;
  expectConversionError([&] { cnv.StrFromDec(ZelWstring(u"12a"), out); }, "decimal", u"12a");
}

TEST(DataCnvBinary, EveryByteRoundTrips) {
  const DataCnv cnv = handlerDataCnv();
  std::vector<std::uint8_t> bytes(256);
  for (int i = 0; i < 256; ++i) bytes[i] = static_cast<std::uint8_t>(i);
  ZelWstring hex;
  cnv.StrFromBin(bytes.data(), bytes.size(), hex);
  EXPECT_EQ(hex.view().substr(504), u"FCFDFEFF");
  EXPECT_EQ(cnv.StrToBin(hex.data(), hex.length()).getBinaryValue(), bytes);
}

TEST(DataCnvConstruction, RejectsNonUtf16CodePage) {
  const ZelFatalException e =
      raisedBy<ZelFatalException>([&] { DataCnv(1208, 2, 1, 53, nullptr, false, nullptr, 0, true, 12, false, 0, nullptr); });
  EXPECT_STREQ(e.getKey(), "CP_CODEPAGE_ERROR");
  EXPECT_EQ(e.insertText(0), "1208");
  EXPECT_NO_THROW(DataCnv(17584, 1, 1, 53, nullptr, false, nullptr, 0, true, 12, false, 0, nullptr));
}

}  // namespace
