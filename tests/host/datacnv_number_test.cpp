// Integers, doubles, decimals and hexadecimal binary in both directions.
#include "host/datacnv_test_support.h"
#include "host/test_support.h"
#include "paramname.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace {

PWFData toInt64(const DataCnv& cnv, std::u16string_view text) {
  return cnv.StrToInt64(text.data(), text.size(), DataCnv::SIGN_LEADING, DataCnv::US_MINUS, DataCnv::US_PLUS, 0,
                        DataCnv::JUSTIFY_RIGHT, u'0', true);
}

PWFData toDecimal(const DataCnv& cnv, std::u16string_view text) {
  return cnv.StrToDec(text.data(), text.size(), false, 0, DataCnv::US_DECIMAL, DataCnv::SIGN_LEADING, DataCnv::US_MINUS,
                      DataCnv::US_PLUS, 0, DataCnv::JUSTIFY_RIGHT, u'0', true);
}

struct IntegerCase {
  std::u16string_view text;
  std::int64_t value;
};

class Int64Valid : public testing::TestWithParam<IntegerCase> {};

TEST_P(Int64Valid, ReadsValue) {
  EXPECT_EQ(toInt64(handlerDataCnv(), GetParam().text), PWFData::makeInteger(GetParam().value));
}

INSTANTIATE_TEST_SUITE_P(DataCnv, Int64Valid,
                         testing::Values(IntegerCase{u"0", 0}, IntegerCase{u"-0", 0}, IntegerCase{u"+5", 5},
                                         IntegerCase{u"007", 7}, IntegerCase{u"9223372036854775807", INT64_MAX},
                                         IntegerCase{u"-9223372036854775808", INT64_MIN},
                                         IntegerCase{u"999999999999999999", 999999999999999999},
                                         IntegerCase{u"-1000000000000000000", -1000000000000000000},
                                         IntegerCase{u"000000000000000000000000001", 1}), ReadableName());

class Int64Invalid : public testing::TestWithParam<std::u16string_view> {};

TEST_P(Int64Invalid, ThrowsWithText) {
  const DataCnv cnv = handlerDataCnv();
  expectConversionError([&] { toInt64(cnv, GetParam()); }, "64-bit integer", GetParam());
}

INSTANTIATE_TEST_SUITE_P(DataCnv, Int64Invalid,
                         testing::Values(u"9223372036854775808", u"-9223372036854775809", u"99999999999999999999", u"",
                                         u"-", u"+", u"--1", u" 1", u"1 ", u"1.0", u"0x12", u"1e3", u"12a", u"\uFF11"), ReadableName());

TEST(DataCnvInteger, Int32RangeIsChecked) {
  const DataCnv cnv = handlerDataCnv();
  auto toInt32 = [&](std::u16string_view text) {
    return cnv.StrToInt32(text.data(), text.size(), 3, DataCnv::US_MINUS, DataCnv::US_PLUS, 0, 1, u'0', true);
  };
  EXPECT_EQ(toInt32(u"2147483647").getIntegerValue(), INT32_MAX);
  EXPECT_EQ(toInt32(u"-2147483648").getIntegerValue(), INT32_MIN);
  expectConversionError([&] { toInt32(u"2147483648"); }, "32-bit integer", u"2147483648");
  expectConversionError([&] { toInt32(u"-2147483649"); }, "32-bit integer", u"-2147483649");
}

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

TEST(DataCnvInteger, WritesExtremes) {
  const DataCnv cnv = handlerDataCnv();
  ZelBufferedWstring<32> out;
  EXPECT_EQ(cnv.StrFromInt64(INT64_MIN, out).view(), u"-9223372036854775808");
  EXPECT_EQ(cnv.StrFromInt64(INT64_MAX, out).view(), u"9223372036854775807");
  EXPECT_EQ(cnv.StrFromInt64(0, out).view(), u"0");
}

// Canonical double texts read and write back unchanged.
class DoubleRoundTrip : public testing::TestWithParam<std::u16string_view> {};

TEST_P(DoubleRoundTrip, WritesWhatItRead) {
  const DataCnv cnv = handlerDataCnv();
  ZelWstring out;
  const PWFData value = cnv.StrToDbl(GetParam().data(), GetParam().size());
  EXPECT_EQ(cnv.StrFromDbl(value.getFloatValue(), out).view(), GetParam());
}

INSTANTIATE_TEST_SUITE_P(DataCnv, DoubleRoundTrip,
                         testing::Values(u"0", u"-0", u"0.1", u"-2.25", u"100", u"1E5", u"1E21", u"1E-7",
                                         u"0.30000000000000004", u"1.7976931348623157E308", u"5E-324",
                                         u"2.2250738585072014E-308", u"123456789012345680", u"INF", u"-INF", u"NaN"), ReadableName());

TEST(DataCnvDouble, ReadsOtherSpellingsAndRanges) {
  const DataCnv cnv = handlerDataCnv();
  auto read = [&](std::u16string_view text) { return cnv.StrToDbl(text.data(), text.size()).getFloatValue(); };
  EXPECT_EQ(read(u"1.0e0"), 1.0);
  EXPECT_EQ(read(u".5"), 0.5);
  EXPECT_EQ(read(u"5."), 5.0);
  EXPECT_EQ(read(u"+1E+2"), 100.0);
  EXPECT_EQ(read(u"+INF"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(read(u"1e400"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(read(u"-1e400"), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(read(u"0.00000000001e-400"), 0.0);
  EXPECT_EQ(read(u"0.001e400"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(read(u"1" + std::u16string(400, u'0') + u"e-10"), std::numeric_limits<double>::infinity());
  EXPECT_TRUE(std::signbit(read(u"-1e-400")));
}

class DoubleInvalid : public testing::TestWithParam<std::u16string_view> {};

TEST_P(DoubleInvalid, ThrowsWithText) {
  const DataCnv cnv = handlerDataCnv();
  expectConversionError([&] { cnv.StrToDbl(GetParam().data(), GetParam().size()); }, "double", GetParam());
}

INSTANTIATE_TEST_SUITE_P(DataCnv, DoubleInvalid,
                         testing::Values(u"", u"1e", u"e1", u".", u"-", u"inf", u"Infinity", u"nan", u"-NaN", u"1.5.2",
                                         u" 1", u"1 ", u"0x12", u"1,5", u"++1", u"1e+", u"1e1.5", u"1\u0665"), ReadableName());

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
// general reader (the C library's) reads them, sign of zero included.
TEST(DataCnvDouble, ShortPlainSpellingsReadAsTheGeneralReaderDoes) {
  const DataCnv cnv = handlerDataCnv();
  std::mt19937_64 random(7);
  for (int i = 0; i < 20000; ++i) {
    const std::size_t digits = 1 + random() % 17;  // beyond 15 the general reader runs
    std::string text;
    for (std::size_t d = 0; d < digits; ++d) text += static_cast<char>('0' + random() % 10);
    text.insert(random() % (digits + 1), ".");  // ".5" and "5." included
    static constexpr const char* kSigns[] = {"", "-", "+"};
    text.insert(0, kSigns[random() % 3]);
    const double expected = std::strtod(text.c_str(), nullptr);
    const std::u16string wide(text.begin(), text.end());
    const double read = cnv.StrToDbl(wide.data(), wide.size()).getFloatValue();
    ASSERT_EQ(std::memcmp(&read, &expected, sizeof read), 0) << text;
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

// Decimals keep their text exactly, whatever its length.
class DecimalRoundTrip : public testing::TestWithParam<std::u16string_view> {};

TEST_P(DecimalRoundTrip, KeepsText) {
  const DataCnv cnv = handlerDataCnv();
  const PWFData value = toDecimal(cnv, GetParam());
  ASSERT_EQ(value.getDataLogicalType(), eLogicalDecimal);
  ZelWstring out;
  EXPECT_EQ(cnv.StrFromDec(value.getDecimalValue(), out).view(), GetParam());
}

INSTANTIATE_TEST_SUITE_P(DataCnv, DecimalRoundTrip,
                         testing::Values(u"0", u"-0", u"+1.50", u"000123.4500", u"1.", u".5",
                                         u"1234567890123456789012345678901234567890",
                                         u"-1234567890123456789012345678901234567890.0000000000000000000001"), ReadableName());

TEST(DataCnvDecimal, RejectsNonDecimals) {
  const DataCnv cnv = handlerDataCnv();
  for (std::u16string_view text : {u"", u".", u"-", u"1e5", u"1.2.3", u"+-1", u" 1", u"INF", u"0x1", u"1,5"})
    expectConversionError([&] { toDecimal(cnv, text); }, "decimal", text);
  ZelWstring out;
  expectConversionError([&] { cnv.StrFromDec(ZelWstring(u"12a"), out); }, "decimal", u"12a");
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
}

TEST(DataCnvBinary, EveryByteRoundTripsInEitherCase) {
  const DataCnv cnv = handlerDataCnv();
  std::vector<std::uint8_t> bytes(256);
  for (int i = 0; i < 256; ++i) bytes[i] = static_cast<std::uint8_t>(i);
  ZelWstring hex;
  cnv.StrFromBin(bytes.data(), bytes.size(), hex);
  EXPECT_EQ(hex.view().substr(0, 8), u"00010203");
  EXPECT_EQ(hex.view().substr(504), u"FCFDFEFF");
  EXPECT_EQ(cnv.StrToBin(hex.data(), hex.length()).getBinaryValue(), bytes);
  EXPECT_EQ(cnv.StrToBin(u"abCD", 4).getBinaryValue(), (std::vector<std::uint8_t>{0xAB, 0xCD}));
  EXPECT_TRUE(cnv.StrToBin(u"", 0).getBinaryValue().empty());
  for (std::u16string_view text : {u"ABC", u"GG", u"0x12", u" 12", u"1\u0660"})
    expectConversionError([&] { cnv.StrToBin(text.data(), text.size()); }, "hexadecimal binary", text);
}

TEST(DataCnvConstruction, RejectsNonUtf16CodePage) {
  const ZelFatalException e =
      raisedBy<ZelFatalException>([&] { DataCnv(1208, 2, 1, 53, nullptr, false, nullptr, 0, true, 12, false, 0, nullptr); });
  EXPECT_STREQ(e.getKey(), "CP_CODEPAGE_ERROR");
  EXPECT_EQ(e.insertText(0), "1208");
  EXPECT_NO_THROW(DataCnv(17584, 1, 1, 53, nullptr, false, nullptr, 0, true, 12, false, 0, nullptr));
}

}  // namespace
