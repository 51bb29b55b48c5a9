// Byte-order detection, scanner encoding names and value conversion helpers.
#include "parsetestsupport.h"
#include "xmlworkerutility.h"
#include "paramname.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {
// tests/data/byte-order-marks.txt: first bytes and the mark they make.
class ByteOrderMarkTest : public ::testing::TestWithParam<DataCase> {};

TEST_P(ByteOrderMarkTest, DetectsMarkAndByteOrder) {
  const DataCase& c = GetParam();
  std::vector<std::uint8_t> bytes;
  for (std::size_t at = 0; at + 1 < c["bytes"].size(); at += 2) bytes.push_back(std::stoi(c["bytes"].substr(at, 2), nullptr, 16));
  const BitstreamBuffer buffer(bytes.data(), bytes.size());
  EEndian endian = eEndianBig;
  long markLength = 99;
  XMLUtils::GetEndianFromBuffer(&buffer, endian, markLength);
  const std::map<std::string, EEndian> orders = {{"big", eEndianBig}, {"little", eEndianLittle}, {"none", eEndianNone}};
  EXPECT_EQ(endian, orders.at(c["order"]));
  EXPECT_EQ(markLength, std::stol(c["length"]));
}

INSTANTIATE_TEST_SUITE_P(Marks, ByteOrderMarkTest, ::testing::ValuesIn(dataCases("byte-order-marks.txt")), ReadableName());

// The encoding names built for the scanner must be ones its transcoding
// service accepts: "<a>x</a>" in EBCDIC, forced through the name built for
// each code page. (Unicode names and marks are read by the worker and e2e
// encoding tests.)
class EbcdicCodePageTest : public ::testing::TestWithParam<const char*> {};

TEST_P(EbcdicCodePageTest, ScannerDecodesWithTheBuiltName) {
  parsetest::ParseRun run;
  run.setProperty(MI_CCSID_STR, GetParam());
  const std::vector<std::string>& lines = run.parse("\x4C\x81\x6E\xA7\x4C\x61\x81\x6E");
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[2], R"(startMessageContent("a", "", 5, -, -1))");
  EXPECT_EQ(lines[3], R"(data(String:"x", -, -1, -1))");
}

INSTANTIATE_TEST_SUITE_P(CodePages, EbcdicCodePageTest, ::testing::Values("37", "273", "500", "1047", "1140"), ReadableName());

// Next line (U+0085) and line separator (U+2028) are characters of the text,
// raw or by reference; EBCDIC's NL, which its tables read as U+0085, ends a
// line in an EBCDIC document, forced or declared.
TEST(LineEndTest, NextLineAndLineSeparatorAreTextOutsideEbcdic) {
  parsetest::ParseRun run;
  const std::vector<std::string>& lines = run.parse("<a><b>&#x85; </b><c>\xC2\x85\xE2\x80\xA8 &#x2028;</c></a>");
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(lines[4], "data(String:\"\u0085 \", -, -1, -1)");
  EXPECT_EQ(lines[7], "data(String:\"\u0085\u2028 \u2028\", -, -1, -1)");
  // <?xml version='1.0' encoding='IBM500'?>NL<aNLb='1'>xNLy</a>NL in IBM500
  parsetest::ParseRun declared;
  const std::vector<std::string>& ebcdic = declared.parse(
      "\x4C\x6F\xA7\x94\x93\x40\xA5\x85\x99\xA2\x89\x96\x95\x7E\x7D\xF1\x4B\xF0\x7D\x40\x85\x95\x83\x96\x84"
      "\x89\x95\x87\x7E\x7D\xC9\xC2\xD4\xF5\xF0\xF0\x7D\x6F\x6E\x15\x4C\x81\x15\x82\x7E\x7D\xF1\x7D\x6E\xA7"
      "\x15\xA8\x4C\x61\x81\x6E\x15");
  EXPECT_NE(std::find(ebcdic.begin(), ebcdic.end(), R"(data(String:"x\ny", -, -1, -1))"), ebcdic.end())
      << ::testing::PrintToString(ebcdic);
}

// Every length around the eight-unit blocks, with U+0120 (low byte blank) at each place.
TEST(WhitespaceTest, AllWhitespaceSeesEveryUnit) {
  const std::u16string blanks = u" \t\r\n \t\r\n \t\r\n \t\r\n \t\r\n \t\r\n ";
  for (std::size_t length = 0; length <= blanks.size(); ++length) {
    EXPECT_TRUE(XMLUtils::isAllWhitespace(blanks.data(), length)) << length;
    for (std::size_t i = 0; i < length; ++i)
      EXPECT_FALSE(XMLUtils::isAllWhitespace((blanks.substr(0, i) + u'\u0120' + blanks.substr(i + 1)).data(), length))
          << length << " at " << i;
  }
}

TEST(ConvertStringToDataTest, ConvertsByLogicalType) {
  EXPECT_EQ(XMLUtils::convertStringToData(u"42", eLogicalInteger, nullptr), PWFData::makeInteger(42));
  EXPECT_EQ(XMLUtils::convertStringToData(u"1.50", eLogicalDecimal, nullptr),
            PWFData::makeDecimal(ZelWstring(u"1.50")));
  EXPECT_EQ(XMLUtils::convertStringToData(u"0A1f", eLogicalBinary, nullptr), PWFData::makeBinary({0x0A, 0x1F}));
  EXPECT_EQ(XMLUtils::convertStringToData(u"raw", eLogicalNone, nullptr), PWFData::makeUntyped(u"raw", 3));
  EXPECT_EQ(XMLUtils::convertStringToData(u"abcdef", 3, eLogicalString, nullptr),
            PWFData::makeString(ZelWstring(u"abc")));
  const PWFData date = XMLUtils::convertStringToData(u"2024-02-29", eLogicalDateTime, u"I");
  EXPECT_EQ(date.getDateTimeValue().day, 29);
  // A boolean is true only for "1".
  EXPECT_EQ(XMLUtils::convertStringToData(u"1", eLogicalBoolean, nullptr), PWFData::makeBoolean(true));
  for (const char16_t* text : {u"true", u"0", u"", u"11"})
    EXPECT_EQ(XMLUtils::convertStringToData(text, eLogicalBoolean, nullptr), PWFData::makeBoolean(false));
}

TEST(ConvertStringToDataTest, FailuresKeepTheirKind) {
  EXPECT_THROW(XMLUtils::convertStringToData(u" 42", eLogicalInteger, nullptr), ZelConversionException);
  const ZelParserException e = expectParserException(
      [] { XMLUtils::convertStringToData(u"x", static_cast<ELogicalType>(3), nullptr); },
      ZelMessages::CP_XML_INTERNAL_ERROR);
  EXPECT_EQ(e.insertText(0), "Unknown logical type");
}

}  // namespace
