#include "messagesetjson.h"

#include "zelexception.h"
#include "host/test_support.h"
#include "testdata.h"

#include <gtest/gtest.h>

#include <string>

using namespace msgset;

namespace {

struct MalformedCase {
  const char* label;
  const char* source;
  const char* place;  // the JSON path (or line and column) insert
  const char* what;   // a fragment of the description insert
};

class MalformedSource : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedSource, NamesFilePlaceAndFault) {
  const MalformedCase& c = GetParam();
  const ZelFatalException e = raisedBy<ZelFatalException>([&] { parseMessageSetJson(c.source, "src.json"); });
  EXPECT_EQ(e.getMessageNumber(), ZelMessages::CP_DICTIONARY_SOURCE_ERROR);
  ASSERT_EQ(e.getInserts().size(), 3u) << e.what();
  EXPECT_EQ(e.insertText(0), "src.json");
  EXPECT_EQ(e.insertText(1), c.place);
  EXPECT_NE(e.insertText(2).find(c.what), std::string::npos) << e.insertText(2);
}

// A type with two members, the second of which a case may spoil.
#define TWO_MEMBERS(second) \
  R"({"name":"S","types":[{"name":"T","members":[{"name":"a","type":"string"},)" second R"(]}]})"

const MalformedCase kMalformed[] = {
    {"SyntaxError", "{\"name\": \"S\",\n  \"types\": [}", "line 2, column 13", "syntax error"},
    {"NotAnObject", "[1]", "", "expected an object"},
    {"MissingName", R"({"types":[]})", "name", "needs a name"},
    {"UnknownTopLevelField", R"({"name":"S","elemnts":[]})", "elemnts", "unknown field 'elemnts'"},
    {"WrongValueType", R"({"name":3})", "name", "expected a string, found an integer"},
    {"BoolAsString", R"({"name":"S","properties":{"suppressDoctype":"yes"}})", "properties.suppressDoctype",
     "expected true or false"},
    {"BadNullEncoding", R"({"name":"S","properties":{"nullNumEncoding":"nil"}})", "properties.nullNumEncoding",
     "bad value 'nil'"},
    {"MemberFieldTypo", TWO_MEMBERS(R"({"name":"b","type":"string","rendr":"attribute"})"),
     "types[0].members[1].rendr", "unknown field"},
    {"BadRender", TWO_MEMBERS(R"({"name":"b","type":"string","render":"atribute"})"),
     "types[0].members[1].render", "bad value 'atribute' (expected one of: undefined, element, attribute"},
    {"UnknownMemberType", TWO_MEMBERS(R"({"name":"b","type":"Strng"})"), "types[0].members[1].type",
     "unknown type 'Strng'"},
    {"UnknownElementRef", TWO_MEMBERS(R"({"element":"nowhere"})"), "types[0].members[1].element",
     "unknown element 'nowhere'"},
    {"TwoMemberForms", TWO_MEMBERS(R"({"element":"x","name":"b"})"), "types[0].members[1]", "only one of"},
    {"FormlessMember", TWO_MEMBERS(R"({"render":"attribute"})"), "types[0].members[1]",
     "needs element, name, group or type"},
    {"TypeFieldOnElementRef", R"({"name":"S","elements":[{"name":"e"}],"types":[{"name":"T","members":[
        {"element":"e","type":"string"}]}]})", "types[0].members[0].type", "unknown field"},
    {"BadMaxOccurs", TWO_MEMBERS(R"({"name":"b","type":"string","maxOccurs":"many"})"),
     "types[0].members[1].maxOccurs", "unbounded"},
    {"MaxBelowMin", TWO_MEMBERS(R"({"name":"b","type":"string","minOccurs":3,"maxOccurs":2})"),
     "types[0].members[1].maxOccurs", "at least minOccurs"},
    {"DuplicateType", R"({"name":"S","types":[{"name":"T"},{"name":"T"}]})", "types[1].name",
     "duplicate type name 'T'"},
    {"DuplicateElement", R"({"name":"S","elements":[{"name":"e"},{"name":"e"}]})", "elements[1].name",
     "duplicate element name 'e'"},
    {"DuplicatePrefix", R"({"name":"S","namespaces":[{"uri":"urn:a","prefix":"p"},{"uri":"urn:b","prefix":"p"}]})",
     "namespaces[1].prefix", "duplicate prefix 'p'"},
    {"UnknownNamespace", R"({"name":"S","elements":[{"name":"e","namespace":"urn:x"}]})", "elements[0].namespace",
     "unknown namespace 'urn:x'"},
    {"UnknownPrefixInReference", R"({"name":"S","elements":[{"name":"e","type":"q:T"}]})", "elements[0].type",
     "unknown namespace prefix 'q'"},
    {"AmbiguousType", R"({"name":"S","namespaces":[{"uri":"urn:a","prefix":"a"},{"uri":"urn:b","prefix":"b"}],
        "types":[{"name":"T","namespace":"a"},{"name":"T","namespace":"b"}],
        "elements":[{"name":"e","type":"T"}]})", "elements[0].type", "ambiguous type name 'T'"},
    {"NamespaceWhileDisabled", R"({"name":"S","namespacesEnabled":false,"namespaces":[{"uri":"urn:a","prefix":"a"}],
        "elements":[{"name":"e","namespace":"a"}]})", "elements[0].namespace", "namespaces are disabled"},
    {"ProcessContentsOfClosedContent",
     R"({"name":"S","types":[{"name":"T","processContents":"lax","members":[{"name":"a","type":"string"}]}]})",
     "types[0].processContents", "only open content"},
    {"BadProcessContents", R"({"name":"S","types":[{"name":"T","composition":"open","processContents":"loose"}]})",
     "types[0].processContents", "bad value 'loose'"},
    {"ListWithoutItemType", R"({"name":"S","types":[{"name":"L","kind":"list"}]})", "types[0]", "needs an itemType"},
    {"ItemTypeOnUnion", R"({"name":"S","types":[{"name":"U","kind":"union","memberTypes":["int"],"itemType":"int"}]})",
     "types[0].itemType", "only a list type"},
    {"MembersOnSimpleType", R"({"name":"S","types":[{"name":"T","kind":"simple","members":[{"type":"string"}]}]})",
     "types[0].members", "only a complex type"},
    {"DerivationWithoutBase", R"({"name":"S","types":[{"name":"T","derivation":"extension"}]})",
     "types[0].derivation", "needs a base type"},
    {"GroupOfSimpleType", TWO_MEMBERS(R"({"group":"string"})"), "types[0].members[1].group", "complex type"},
    {"InlineTypeNamed", R"({"name":"S","elements":[{"name":"e","type":{"name":"X"}}]})", "elements[0].type.name",
     "unknown field"},
    {"BaseTypeCycle", R"({"name":"S","types":[{"name":"A","base":"B"},{"name":"B","base":"A"}]})", "types[0]",
     "cycle through base, item, member or group types: A -> B -> A"},
    {"GroupCycle", R"({"name":"S","types":[{"name":"A","members":[{"group":"A"}]}]})", "types[0]", "A -> A"},
    {"DuplicateField", TWO_MEMBERS(R"({"name":"b","render":"element","render":"attribute"})"),
     "types[0].members[1].render", "duplicate field 'render'"},
    {"NamespacesBeforeVersion4", R"({"name":"S","identification":{"formatVersion":3},
        "namespaces":[{"uri":"urn:a"}]})", "identification.formatVersion", "format version of 4"},
    {"BadMode", R"({"name":"S","identification":{"mode":2}})", "identification.mode", "0 or 1"},
};

INSTANTIATE_TEST_SUITE_P(Reader, MalformedSource, ::testing::ValuesIn(kMalformed),
                         [](const ::testing::TestParamInfo<MalformedCase>& info) { return info.param.label; });

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

TEST(MessageSetJson, MissingFileIsAnIoError) {
  const ZelFatalException e = raisedBy<ZelFatalException>([&] { readMessageSetJsonFile("/nonexistent/source.json"); });
  EXPECT_EQ(e.getMessageNumber(), ZelMessages::CP_IO_ERROR);
  EXPECT_EQ(e.insertText(0), "/nonexistent/source.json");
}

}  // namespace
