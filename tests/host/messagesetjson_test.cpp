#include "messagesetjson.h"

#include "zelexception.h"
#include "host/test_support.h"
#include "testdata.h"

#include <gtest/gtest.h>

#include <string>

using namespace msgset;

namespace {

// tests/data/sets/reader/malformed.txt: each source with the place of its
// fault (the JSON path, or line and column) and a fragment of the description.
class MalformedSource : public ::testing::TestWithParam<DataCase> {};

TEST_P(MalformedSource, NamesFilePlaceAndFault) {
  const DataCase& c = GetParam();
  const ZelFatalException e = raisedBy<ZelFatalException>([&] { parseMessageSetJson(c.text, "src.json"); });
  EXPECT_EQ(e.getMessageNumber(), ZelMessages::CP_DICTIONARY_SOURCE_ERROR);
  ASSERT_EQ(e.getInserts().size(), 3u) << e.what();
  EXPECT_EQ(e.insertText(0), "src.json");
  EXPECT_EQ(e.insertText(1), c["place"]);
  EXPECT_NE(e.insertText(2).find(c["what"]), std::string::npos) << e.insertText(2);
}

INSTANTIATE_TEST_SUITE_P(Reader, MalformedSource, ::testing::ValuesIn(dataCases("sets/reader/malformed.txt")),
                         [](const ::testing::TestParamInfo<DataCase>& info) { return info.param.label; });

TEST(MessageSetJson, ResolvesForwardQualifiedAndInlineReferences) {
  const MessageSet set = parseMessageSetJson(dataText("sets/reader/references.json"), "s");
  EXPECT_TRUE(namespacesEnabled(set));
  const TypeDef& message = set.types[set.elements[0].type];
  EXPECT_TRUE(message.name.empty());
  EXPECT_EQ(message.variety, TypeVariety::Complex);
  ASSERT_EQ(message.members.size(), 2u);
  EXPECT_EQ(message.members[0].form, MemberDef::Form::ElementRef);
  EXPECT_EQ(message.members[0].element, 2);  // the item in urn:b
  EXPECT_EQ(message.members[0].maxOccurs, kUnbounded);
  EXPECT_EQ(message.members[1].form, MemberDef::Form::Simple);

  const TypeDef& special = set.types[1];
  EXPECT_EQ(special.baseType, 0);
  EXPECT_EQ(special.derivation, Derivation::Extension);
  EXPECT_EQ(special.variety, TypeVariety::Complex);
  EXPECT_EQ(set.types[2].variety, TypeVariety::List);
  EXPECT_EQ(set.types[3].variety, TypeVariety::Union);
  EXPECT_EQ(set.types[3].unionMemberTypes.size(), 2u);

  // Each predefined type appears once however often it is named.
  int integers = 0;
  for (const TypeDef& type : set.types) integers += type.builtin && type.name == "integer";
  EXPECT_EQ(integers, 1);
  EXPECT_EQ(effectiveLogicalType(set, set.types[3].unionMemberTypes[0]), eLogicalDecimal);
}

TEST(MessageSetJson, KindFollowsTheBaseType) {
  const MessageSet set = parseMessageSetJson(dataText("sets/reader/kinds-by-base.json"), "s");
  EXPECT_EQ(set.types[0].variety, TypeVariety::Complex);
  EXPECT_EQ(set.types[0].derivation, Derivation::Restriction);
  EXPECT_EQ(set.types[2].variety, TypeVariety::Complex);
  EXPECT_EQ(effectiveLogicalType(set, 2), eLogicalDecimal);
  EXPECT_EQ(set.types[3].variety, TypeVariety::Simple);
  EXPECT_EQ(effectiveLogicalType(set, 3), eLogicalString);
  EXPECT_EQ(set.types[4].variety, TypeVariety::Complex);
  EXPECT_EQ(effectiveLogicalType(set, 4), eLogicalNone);
  // However deep the complex base: 64 bases up, the kind was taken for simple.
  std::string chain = R"({"name": "Chain", "types": [{"name": "T0", "members": []})";
  for (int i = 1; i <= 100; ++i)
    chain += R"(, {"name": "T)" + std::to_string(i) + R"(", "base": "T)" + std::to_string(i - 1) + R"("})";
  EXPECT_EQ(parseMessageSetJson(chain + "]}", "s").types[100].variety, TypeVariety::Complex);
}

TEST(MessageSetJson, PropertiesAloneApplyOverTheGivenOnes) {
  MessageSetXmlProperties base;
  base.rootTagName = "Batch";
  base.booleanTrueValue = "yes";
  const MessageSetXmlProperties read =
      parseMessageSetPropertiesJson(R"({"booleanTrueValue": "1", "suppressDoctype": false})", "props.json", base);
  EXPECT_EQ(read.rootTagName, "Batch");
  EXPECT_EQ(read.booleanTrueValue, "1");
  EXPECT_FALSE(read.suppressDoctype);

  const ZelFatalException e =
      raisedBy<ZelFatalException>([&] { parseMessageSetPropertiesJson(R"({"rootTag": "x"})", "props.json", base); });
  EXPECT_EQ(e.insertText(0), "props.json");
  EXPECT_EQ(e.insertText(1), "rootTag");
}

}  // namespace
