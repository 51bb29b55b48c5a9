// Typed values, message properties and exceptions of the host core.
#include "messageinfo.h"
#include "pwfdata.h"
#include "zelexception.h"
#include "host/test_support.h"
#include "paramname.h"
#include "testdata.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {
// A value's kind and its null are what every conversion and parse test reads
// back; what they do not pin is how values compare.
TEST(PWFDataTest, EqualityNeedsTheSameTypeAndValueNothingIsNotANull) {
  EXPECT_TRUE(PWFData().isNothing());
  EXPECT_FALSE(PWFData().isNull());
  EXPECT_EQ(PWFData::makeNull(eLogicalNone), PWFData());
  EXPECT_NE(PWFData::makeString(ZelWstring(u"1.50")), PWFData::makeDecimal(ZelWstring(u"1.50")));
  EXPECT_NE(PWFData::makeDecimal(ZelWstring(u"1.5")), PWFData::makeDecimal(ZelWstring(u"1.50")));
  EXPECT_NE(PWFData::makeNull(eLogicalInteger), PWFData::makeNull(eLogicalString));
  EXPECT_EQ(PWFData::makeFloat(std::nan("")), PWFData::makeFloat(std::nan("")));
  EXPECT_NE(PWFData::makeFloat(0.0), PWFData::makeFloat(-0.0));
}

// ---------------------------------------------------------------------------

// tests/data/property-integers.txt: a property's text read as an integer
// (written as its decimal text), or refused (no "value") with a conversion
// error naming the property and the text.
class MessageInfoIntegerTest : public ::testing::TestWithParam<DataCase> {};

TEST_P(MessageInfoIntegerTest, ReadsIntegersOrRaisesAConversionErrorNamingTheProperty) {
  const DataCase& c = GetParam();
  MessageInfo info;
  info.setProperty(ZelWstring(u"ccsid"), ZelWstring::fromUtf8(c["text"]));
  if (c.fields.count("value")) {
    EXPECT_EQ(std::to_string(info.getPropertyAsInteger(ZelWstring(u"ccsid"))), c["value"]);
  } else {
    const ZelConversionException e =
        raisedBy<ZelConversionException>([&] { info.getPropertyAsInteger(ZelWstring(u"ccsid")); });
    EXPECT_EQ(e.getMessageNumber(), ZelMessages::CP_CONVERSION_ERROR);
    ASSERT_EQ(e.getInserts().size(), 3u);
    EXPECT_EQ(e.insertText(1), "ccsid");
    EXPECT_EQ(e.insertText(2), c["text"]);
  }
}

INSTANTIATE_TEST_SUITE_P(Texts, MessageInfoIntegerTest, ::testing::ValuesIn(dataCases("property-integers.txt")),
                         ReadableName());

TEST(MessageInfoTest, AbsentIntegerReadsAsTheMinimum) {
  MessageInfo info;
  EXPECT_EQ(info.getPropertyAsInteger(ZelWstring(u"ccsid")), INT64_MIN);
  EXPECT_EQ(info.getProperty(ZelWstring(u"ccsid")), nullptr);
  info.setIntegerProperty(ZelWstring(u"ccsid"), 1208);
  EXPECT_EQ(info.getPropertyAsInteger(ZelWstring(u"ccsid")), 1208);
  info.removeProperty(ZelWstring(u"ccsid"));
  EXPECT_EQ(info.getPropertyAsInteger(ZelWstring(u"ccsid")), MessageInfo::kNotSet);
}

// ---------------------------------------------------------------------------

// what() is one line for people: the place that is known, what went wrong,
// never the throw site or the key.
struct OneLineCase {
  const char* label;
  std::uint32_t message;
  std::vector<std::string> inserts;
  ZelLocation location;
  const char* summary;
  const char* expected;
};

void PrintTo(const OneLineCase& c, std::ostream* out) { *out << c.label; }

class ZelExceptionOneLine : public ::testing::TestWithParam<OneLineCase> {};

TEST_P(ZelExceptionOneLine, WhatSaysWhereAndWhatWentWrong) {
  const OneLineCase& c = GetParam();
  ZelParserException e("xmlhandler.cpp", 42, "XMLHandler::error", "owner", c.message);
  for (const std::string& insert : c.inserts) e.addInsert(insert);
  e.setLocation(c.location);
  if (*c.summary) e.setSummary(c.summary);
  EXPECT_EQ(std::string(e.what()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, ZelExceptionOneLine,
    ::testing::Values(
        OneLineCase{"ElementAndLine", ZelMessages::CP_XML_XERCES_PARSER_EXCEPTION, {"a", "b"},
                    {"payment.xml", 43, 7, "/Payment"}, "unexpected end of input",
                    "payment.xml:43:7: unexpected end of input in <Payment>"},
        OneLineCase{"NestedElement", ZelMessages::CP_XML_DATA_READ_CONVERSION_ERROR, {"a"}, {"", 6, 25, "/P/Urgent"},
                    "'maybe' is not a valid Boolean", "6:25: 'maybe' is not a valid Boolean in <Urgent> at /P/Urgent"},
        OneLineCase{"FileOfIoError", ZelMessages::CP_IO_ERROR, {"x.dict", "No such file"}, {}, "",
                    "x.dict: No such file"},
        OneLineCase{"PlaceInSource", ZelMessages::CP_DICTIONARY_SOURCE_ERROR, {"s.json", "types[0]", "bad"}, {}, "",
                    "s.json: bad at types[0]"},
        OneLineCase{"LineInSchema", ZelMessages::CP_DICTIONARY_SOURCE_ERROR,
                    {"s.xsd", "line 4, column 40, in element 'b'", "type ':T' not found"}, {}, "",
                    "s.xsd:4:40: type ':T' not found at element 'b'"},
        OneLineCase{"DeepElementByItsEnds", ZelMessages::CP_XML_INTERNAL_ERROR, {"too deep"},
                    {"", 1, 9, "/P/x/x/x/x/x/x/x/x/x/x/x/x/x"}, "",
                    "1:9: too deep in <x> at /P/x/x/x/.../x/x/x/x (14 levels)"},
        OneLineCase{"JsonPath", ZelMessages::CP_JSON_MISMATCH, {"$.a.b", "not a member"}, {"in.json", 0, 0, ""}, "",
                    "in.json: not a member at $.a.b"},
        OneLineCase{"InsertsJoined", ZelMessages::CP_INTERNAL_ERROR, {"XML Internal Error", "", "cause"}, {}, "",
                    "XML Internal Error: cause"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ZelExceptionTest, ScannerErrorInsertsGiveLineAndColumnAndWhatRendersAfresh) {
  ZelParserException e("xmlhandler.cpp", 42, "XMLHandler::error", "owner", ZelMessages::CP_XML_XERCES_PARSER_EXCEPTION);
  e.addInsert("from the scanner").addInsert(180L).addInsert("").addInsert(3L).addInsert(9L).addInsert(u"caf\u00e9");
  e.addInsert("").addInsert("");
  EXPECT_EQ(std::string(e.what()), "3:9: from the scanner: 180: caf\xc3\xa9");
  e.setFile("f.xml");
  EXPECT_EQ(std::string(e.what()), "f.xml:3:9: from the scanner: 180: caf\xc3\xa9") << "what() must not keep a stale text";
}

TEST(ZelExceptionTest, InsertsKeepTheirKind) {
  ZelFatalException e(__FILE__, __LINE__, "f", nullptr, ZelMessages::CP_INTERNAL_ERROR);
  e.addInsert(static_cast<const char*>(nullptr)).addInsert(-5);
  ASSERT_EQ(e.getInserts().size(), 2u);
  EXPECT_FALSE(e.getInserts()[0].isNumber);
  EXPECT_EQ(e.insertText(0), "");
  EXPECT_TRUE(e.getInserts()[1].isNumber);
  EXPECT_EQ(e.getInserts()[1].number, -5);
  EXPECT_EQ(e.insertText(7), "");
  EXPECT_STREQ(e.getLogSourceName().c_str(), zelDefaultLogSourceName());
}

TEST(ZelExceptionTest, ThrowThisKeepsTheMostDerivedType) {
  ZelConversionException original(__FILE__, __LINE__, "f", nullptr, ZelMessages::CP_CONVERSION_ERROR);
  original.addInsert("why");
  const ZelException& base = original;
  // A copy that lost its type passes the catch of raisedBy and fails the test.
  const ZelConversionException e = raisedBy<ZelConversionException>([&] { base.throwThis(); });
  EXPECT_STREQ(e.className(), "ZelConversionException");
  EXPECT_EQ(e.insertText(0), "why");
}
}  // namespace
