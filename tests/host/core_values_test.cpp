// Typed values, message properties and exceptions of the host core.
#include "messageinfo.h"
#include "pwfdata.h"
#include "zelexception.h"
#include "host/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {
// A value's kind and its null are what every conversion and parse test reads
// back; what they do not pin is how values compare.
TEST(PWFDataTest, NothingIsNotANullOfTypeNone) {
  EXPECT_TRUE(PWFData().isNothing());
  EXPECT_FALSE(PWFData().isNull());
  EXPECT_EQ(PWFData::makeNull(eLogicalNone), PWFData());
}

TEST(PWFDataTest, EqualityNeedsTheSameTypeAndValue) {
  EXPECT_NE(PWFData::makeString(ZelWstring(u"1.50")), PWFData::makeDecimal(ZelWstring(u"1.50")));
  EXPECT_NE(PWFData::makeDecimal(ZelWstring(u"1.5")), PWFData::makeDecimal(ZelWstring(u"1.50")));
  EXPECT_NE(PWFData::makeNull(eLogicalInteger), PWFData::makeNull(eLogicalString));
  EXPECT_EQ(PWFData::makeFloat(std::nan("")), PWFData::makeFloat(std::nan("")));
  EXPECT_NE(PWFData::makeFloat(0.0), PWFData::makeFloat(-0.0));
}

// ---------------------------------------------------------------------------

struct IntegerCase {
  const char* text;
  std::int64_t value;
};

class MessageInfoIntegerTest : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(MessageInfoIntegerTest, ReadsIntegers) {
  MessageInfo info;
  info.setProperty(ZelWstring(u"p"), ZelWstring::fromUtf8(GetParam().text));
  EXPECT_EQ(info.getPropertyAsInteger(ZelWstring(u"p")), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Texts, MessageInfoIntegerTest,
                         ::testing::Values(IntegerCase{"500", 500}, IntegerCase{" -7 ", -7}, IntegerCase{"+12", 12},
                                           IntegerCase{"9223372036854775807", INT64_MAX},
                                           IntegerCase{"-9223372036854775807", INT64_MIN + 1}));

class MessageInfoNotIntegerTest : public ::testing::TestWithParam<const char*> {};

TEST_P(MessageInfoNotIntegerTest, RaisesAConversionErrorNamingTheProperty) {
  MessageInfo info;
  info.setProperty(ZelWstring(u"ccsid"), ZelWstring::fromUtf8(GetParam()));
  const ZelConversionException e =
      raisedBy<ZelConversionException>([&] { info.getPropertyAsInteger(ZelWstring(u"ccsid")); });
  EXPECT_EQ(e.getMessageNumber(), ZelMessages::CP_CONVERSION_ERROR);
  ASSERT_EQ(e.getInserts().size(), 3u);
  EXPECT_EQ(e.insertText(1), "ccsid");
  EXPECT_EQ(e.insertText(2), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Texts, MessageInfoNotIntegerTest,
                         ::testing::Values("", "abc", "12a", "1 2", "-", "9223372036854775808", "0x10"));

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

TEST(ZelExceptionTest, WhatRendersKeyNumberSiteAndEveryInsert) {
  ZelParserException e("xmlhandler.cpp", 42, "XMLHandler::error", "owner", ZelMessages::CP_XML_XERCES_PARSER_EXCEPTION);
  e.addInsert("first").addInsert(180L).addInsert(u"caf\u00e9");
  const std::string text = e.what();
  for (const char* part : {"CP_XML_XERCES_PARSER_EXCEPTION", "0xC00013FD", "XMLHandler::error", "xmlhandler.cpp:42",
                           "first", "180", "caf\xc3\xa9"})
    EXPECT_NE(text.find(part), std::string::npos) << part << " missing in " << text;
  e.addInsert("later");
  EXPECT_NE(std::string(e.what()).find("later"), std::string::npos) << "what() must not keep a stale text";
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
