// The standard dictionary's type lookups and content modes, on hand-made
// tables with cases a compiler never makes (a type derived from itself, one
// name in two namespaces). The caches and ID lookups of compiled
// dictionaries are what every parse trace of the plug-in tests goes through.

#include "stddictionaryinfo.h"
#include "zelexception.h"
#include "host/test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A derived class's record size that differs from the standard one is
// corrected to it; an unknown table has none.
TEST(StdDictionaryInfo, EntrySizesAreCorrectedToTheStandardOnes) {
  StdDictionaryInfo dict(0);
  for (int index = 0; index < 14; ++index) {
    const std::uint32_t size = StdDictionaryInfo::standardEntrySize(index);
    for (std::uint32_t given : {size + 4, size - 1, size}) EXPECT_EQ(dict.VerifyEntrySize(index, given), size) << index;
  }
  for (int index : {14, -1}) EXPECT_EQ(dict.VerifyEntrySize(index, 8), 0u);
}

// Types: 0 union "u" (ns 0), 1 derived from 0 (anonymous), 2 list "l" (ns 1),
// 3 derived from 2 by an anonymous type, 4 "u" in ns 1, 5 sequence content
// derived from itself.
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
    t[5].baseTypeId = 205;
  }

  StdDictionaryInfo dict{0};
};

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
