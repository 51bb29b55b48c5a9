// The standard dictionary: the caches built by postProcessDictionary and
// the lookups, on hand-made tables with the cases a compiler never makes
// (duplicate IDs, a type derived from itself).

#include "stddictionaryinfo.h"
#include "zelexception.h"
#include "host/test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Types: 0 union "u" (ns 0), 1 derived from 0 (anonymous), 2 list "l" (ns 1),
// 3 derived from 2 by an anonymous type, 4 "u" in ns 1, 5 sequence content.
class LookupTest : public ::testing::Test {
protected:
  void SetUp() override {
    dict.getNamespaceDefs().Create(3);
    dict.getNamespaceDefs().SetRowName(0, u"urn:a");
    dict.getNamespaceDefs().SetRowName(1, u"urn:b");
    dict.getNamespaceDefs().SetRowName(2, u"urn:a");

    const StdDictTypeDefs& types = dict.getTypeDefs();
    types.Create(6);
    SMD_TYPE_DEFINITION* t = types.GetBuffer();
    for (int i = 0; i < 6; ++i) t[i].typeId = 200 + i;
    t[0].typeKind = DictCodes::eTypeKindUnion;
    t[0].namespaceIndex = 0;
    t[0].firstMemberIndex = 0;
    types.SetRowName(0, u"u");
    t[1].baseTypeId = 200;
    t[2].listItemTypeIndex = 0;
    t[2].namespaceIndex = 1;
    types.SetRowName(2, u"l");
    t[3].baseTypeId = 202;
    t[3].logicalType = eLogicalDecimal;
    t[4].namespaceIndex = 1;
    types.SetRowName(4, u"u");
    t[5].contentKind = DictCodes::eContentSequence;
    t[5].baseTypeId = 205;  // derived from itself

    dict.getTagDefs().Create(3);
    SMD_TAG_DEFINITION* tags = dict.getTagDefs().GetBuffer();
    tags[0].tagId = 10;
    tags[0].typeId = 203;
    tags[0].nillable = 0;
    tags[0].declaredAsAttribute = 1;
    dict.getTagDefs().SetRowName(0, u"price");
    tags[1].tagId = 10;  // a duplicate ID: the first row wins
    tags[2].tagId = 12;

    dict.getStructDefs().Create(2);
    SMD_STRUCTURE_ELEMENT_DEFINITION* members = dict.getStructDefs().GetBuffer();
    members[0].memberId = 300;
    members[0].containingTypeId = 200;
    members[0].memberTypeId = 202;
    members[1].memberId = 301;
    dict.getStructDefs().SetRowName(1, u"note");
    dict.getMbrIdToStructDefs().Create(1);
    *dict.getMbrIdToStructDefs()[0] = {300, 1};
  }

  StdDictionaryInfo dict{0};
};

TEST_F(LookupTest, CachesCarryTheRecordsAndTheDerivedFlags) {
  dict.postProcessDictionary();
  const prf_SMD_TAG_DEFINITION& tag = dict.getTagCache().get(0);
  EXPECT_EQ(tag.typeIdIndex, 3);
  EXPECT_FALSE(tag.nillable);
  EXPECT_TRUE(tag.declaredAsAttribute);
  EXPECT_TRUE(tag.name.empty());
  EXPECT_EQ(dict.getMemberCache().get(0).containingTypeIndex, 0);
  EXPECT_EQ(dict.getMemberCache().get(0).memberTypeIndex, 2);

  using F = prf_SMD_TYPE_DEFINITION;
  const std::vector<long> expected = {F::eUnion, F::eUnion | F::eNoMembers, F::eList | F::eNoMembers,
                                      F::eList | F::eNoMembers, F::eNoMembers, F::eNoMembers};
  for (long i = 0; i < 6; ++i) EXPECT_EQ(dict.getTypeCache().get(i).flags, expected[i]) << "type " << i;
  EXPECT_EQ(dict.getTypeCache().get(3).baseTypeIndex, 2);
  EXPECT_EQ(dict.getTypeCache().get(5).contentKind, DictCodes::eContentSequence);

  // Equal URIs share one interned string.
  EXPECT_EQ(&dict.getNamespaceCache().get(0).getURI(), &dict.getNamespaceCache().get(2).getURI());
  EXPECT_EQ(dict.getNamespaceCache().get(1).getURI(), ZelWstring(u"urn:b"));
  EXPECT_THROW(dict.getTypeCache().get(6), ZelParserException);
}

TEST_F(LookupTest, ModeOneTurnsSequenceContentIntoMixed) {
  dict.setDictionaryMode(1);
  dict.postProcessDictionary();
  EXPECT_EQ(dict.getTypeCache().get(5).contentKind, DictCodes::eContentMixed);
}

TEST(StdDictionaryInfo, WithoutNamespacesTheCacheHoldsOneEmptyURI) {
  StdDictionaryInfo dict(0);
  dict.postProcessDictionary();
  ASSERT_EQ(dict.getNamespaceCache().size(), 1u);
  EXPECT_TRUE(dict.getNamespaceCache().get(0).getURI().empty());
  EXPECT_EQ(dict.getDictionaryIdentification(), nullptr);
  EXPECT_EQ(dict.getFormatVersion(), DictCodes::eFormatVersionCurrent);
}

TEST_F(LookupTest, LookupsByID) {
  dict.postProcessDictionary();
  EXPECT_EQ(dict.getTagDefIndex(10), 0);
  EXPECT_EQ(dict.getTagDefIndex(12), 2);
  EXPECT_EQ(dict.getTagDefIndex(11), -1);
  EXPECT_EQ(dict.getTypeDefIndex(204), 4);
  EXPECT_EQ(dict.getStructDefIndexFromMbrID(300), 1);  // the member-ID table wins over the records
  EXPECT_EQ(dict.getStructDefIndexFromMbrID(301), 1);
  EXPECT_EQ(dict.getStructDefIndexFromMbrID(999), -1);
  EXPECT_EQ(dict.getTraceTextForID(10), ZelWstring(u"price"));
  EXPECT_EQ(dict.getTraceTextForID(202), ZelWstring(u"l"));
  EXPECT_EQ(dict.getTraceTextForID(301), ZelWstring(u"note"));
  EXPECT_EQ(dict.getTraceTextForID(12), ZelWstring(u"12"));
}

TEST_F(LookupTest, TypesByNameAndNearestNamedAncestor) {
  dict.postProcessDictionary();
  long index = 99;
  EXPECT_EQ(dict.getTypeIndexForTypeText(u"u", ZelWstring(u"urn:b"), index, false), 0);
  EXPECT_EQ(index, 4);
  EXPECT_EQ(dict.getTypeIndexForTypeText(u"u", ZelWstring(), index, false), 0);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(dict.getTypeIndexForTypeText(u"l", ZelWstring(), index, true), 0);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(dict.getTypeIndexForTypeText(u"u", ZelWstring(), index, true), 1);  // two namespaces define it
  EXPECT_EQ(index, -1);
  EXPECT_EQ(dict.getTypeIndexForTypeText(nullptr, ZelWstring(), index, true), 1);

  EXPECT_EQ(std::u16string_view(dict.getEventualParentTypeName(3)), u"l");
  EXPECT_EQ(std::u16string_view(dict.getEventualParentTypeName(0)), u"u");
  EXPECT_EQ(dict.getEventualParentTypeName(5), nullptr);  // a cycle ends without a name
  EXPECT_EQ(dict.getEventualParentTypeName(6), nullptr);
  EXPECT_EQ(dict.getEventualParentTypeName(-1), nullptr);
}

// A derived class that creates a standard table without verifying its size.
class CarelessDictionary : public StdDictionaryInfo {
public:
  CarelessDictionary() : StdDictionaryInfo(0) {}
  std::uint32_t CreateTable(int tableNumber, std::uint32_t entrySize, std::int32_t count) override {
    return DictionaryInfo::CreateTable(tableNumber, entrySize, count);
  }
};

TEST(StdDictionaryInfo, PostProcessRejectsRecordsOfTheWrongSize) {
  CarelessDictionary dict;
  dict.CreateTable(StdDictionaryInfo::eTagTable, 8, 2);
  const ZelFatalException e = raisedBy<ZelFatalException>([&] { dict.postProcessDictionary(); });
  EXPECT_EQ(e.getMessageNumber(), ZelMessages::CP_DICTIONARY_FORMAT_ERROR);
}

}  // namespace
