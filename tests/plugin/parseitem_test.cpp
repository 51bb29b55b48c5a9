#include "parseitem.h"

#include "parsetestsupport.h"
#include "xmlworkerutility.h"
#include "host/test_support.h"
#include "paramname.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace parsetest;

namespace {
// Tag rows: 0 m (message), 1 code, 2 cur, 3 when, 4 list, 5 box; member rows
// in the same order from 0 (code) on; type 0 is m's type, 1 Ints.
constexpr char kItems[] = "sets/parse/items.json";

const ZelNamedLogSource& owner() {
  static const ZelNamedLogSource source("test");
  return source;
}

std::unique_ptr<ParseItem> byRole(const XMLDictionaryInfo* dictionary, std::uint16_t kind, long typeIndex) {
  return std::make_unique<ParseItem>(&owner(), nullptr, dictionary, u"e", ZelWstring(), kind, eItemElement, typeIndex);
}

std::unique_ptr<ParseItem> byMember(const XMLDictionaryInfo* dictionary, long memberIndex,
                                    const char16_t* name = u"e") {
  return std::make_unique<ParseItem>(&owner(), nullptr, dictionary, name, ZelWstring(), eDefinedAsTypeMember,
                                     memberIndex, -1L, eItemFromDefinition);
}
}  // namespace

TEST(ParseItemTest, FormatIsNeverNull) {
  const DescriptorPtr descriptor = compileDescriptorFile(kItems);
  EXPECT_EQ(std::u16string_view(byRole(descriptor.get(), eKindSelfDefiningField, -1)->getFormat()), u"");
  EXPECT_EQ(std::u16string_view(byRole(descriptor.get(), eKindSelfDefiningField, 1)->getFormat()), u"I");
  EXPECT_EQ(std::u16string_view(byMember(descriptor.get(), 2)->getFormat()), u"dd.MM.yyyy");
}

TEST(ParseItemTest, CdataEncodingOfAnAttributeValueReadsAsHexadecimal) {
  const DescriptorPtr descriptor = compileDescriptorFile(kItems);
  EXPECT_EQ(byMember(descriptor.get(), 1)->getDataEncoding(), edeHexadecimal);
  EXPECT_EQ(byRole(descriptor.get(), eKindSelfDefiningField, -1)->getDataEncoding(), -1);
}

TEST(ParseItemTest, DefinitionWithoutDictionaryIsAnInternalError) {
  const ZelParserException e = raisedBy<ZelParserException>([&] { byMember(nullptr, 0); });
  EXPECT_STREQ(e.getKey(), "CP_XML_INTERNAL_ERROR");
  EXPECT_EQ(insertsOf(e), std::vector<std::string>{"Dictionary not defined"});
}

TEST(ParseItemFactoryTest, KeepsAtMostTheLimitAndDestroysTheRest) {
  ParseItemFactory pool;
  std::vector<std::unique_ptr<ParseItem>> items;
  for (std::size_t i = 0; i <= PARSE_ITEM_POOL_LIMIT; ++i)
    items.push_back(pool.obtain(&owner(), nullptr, nullptr, u"x", ZelWstring(), std::uint16_t{eKindNone},
                                eItemElement, -1L));
  WorkerInfoPtr record(new XMLWorkerInfo);
  items.back()->endWorkerInfo() = record;
  for (auto& item : items) pool.recycle(std::move(item));
  EXPECT_EQ(pool.size(), PARSE_ITEM_POOL_LIMIT);
  EXPECT_EQ(record->refCount(), 1);  // the 65th item is gone with its record
}

namespace {
// Leaves a self-defining item with a long name, a namespace, both records,
// data sent and child indexes in the pool; returns its record. Nothing of it
// may show through the item the pool hands out next.
WorkerInfoPtr recycleUsedItem(ParseItemFactory& pool) {
  std::unique_ptr<ParseItem> item =
      pool.obtain(&owner(), nullptr, nullptr, u"a-long-element-name", ZelWstring(u"urn:x"),
                  std::uint16_t{eKindSelfDefiningField}, eItemElement, 4L);
  WorkerInfoPtr record(new XMLWorkerInfo);
  item->startWorkerInfo() = record;
  item->endWorkerInfo() = record;
  item->setDataSent();
  item->setLastChildMemberIndex(3);
  item->setLastSimpleChildMemberIndex(3);
  pool.recycle(std::move(item));
  return record;
}

void expectNothingKept(ParseItem& item, const WorkerInfoPtr& record) {
  EXPECT_EQ(record->refCount(), 1);
  EXPECT_TRUE(item.startWorkerInfo().isNull());
  EXPECT_TRUE(item.getNamespaceURI().empty());
  EXPECT_FALSE(item.isDataSent());
  EXPECT_EQ(item.getLastChildMemberIndex(), -1);
  EXPECT_EQ(item.getLastSimpleChildMemberIndex(), -1);
}
}  // namespace

TEST(ParseItemFactoryTest, ReusedItemIsReinitialisedAsNew) {
  const DescriptorPtr descriptor = compileDescriptorFile(kItems);
  ParseItemFactory pool;
  const WorkerInfoPtr record = recycleUsedItem(pool);
  const std::unique_ptr<ParseItem> reused = pool.obtain(&owner(), nullptr, descriptor.get(), u"n", ZelWstring(),
                                                        eDefinedAsTypeMember, 5L, -1L, eItemFromDefinition);
  EXPECT_EQ(pool.size(), 0u);
  expectNothingKept(*reused, record);
  EXPECT_EQ(reused->getXMLName(), std::u16string_view(u"n"));
  EXPECT_EQ(reused->getWhereDefined(), eDefinedAsTypeMember);
  EXPECT_EQ(reused->getValueLogicalType(), eLogicalInteger);
}

// An item by a known definition refers to the definition's name only when
// it is the element's: a pooled item must never show a name it was not given.
TEST(ParseItemFactoryTest, KnownDefinitionKeepsTheElementsOwnName) {
  const DescriptorPtr descriptor = compileDescriptorFile(kItems);
  ParseItemDefinition definition = byMember(descriptor.get(), 2, u"when")->getDefinition();
  const ZelWstring definitionName(u"when");
  definition.xmlName = &definitionName;
  ParseItemFactory pool;
  for (const char16_t* name : {u"when", u"whenever", u"whe", u"other"}) {
    std::unique_ptr<ParseItem> item = pool.obtain(&owner(), nullptr, descriptor.get(), name, ZelWstring(),
                                                  static_cast<const ParseItemDefinition&>(definition));
    EXPECT_EQ(item->getXMLName(), std::u16string_view(name));
    EXPECT_EQ(item->getTagId(), definition.tagId);
    pool.recycle(std::move(item));
  }
}

// An element matched by its own name takes everything from the definition:
// nothing of what the pooled item held before may show through.
TEST(ParseItemFactoryTest, KnownDefinitionByItsNameReplacesAllTheItemHeld) {
  const DescriptorPtr descriptor = compileDescriptorFile(kItems);
  ParseItemDefinition definition = byMember(descriptor.get(), 2, u"when")->getDefinition();
  const ZelWstring definitionName(u"when");
  definition.xmlName = &definitionName;
  ParseItemFactory pool;
  const WorkerInfoPtr record = recycleUsedItem(pool);
  const std::unique_ptr<ParseItem> reused =
      pool.obtain(&owner(), nullptr, descriptor.get(), ZelWstring(), static_cast<const ParseItemDefinition&>(definition));
  expectNothingKept(*reused, record);
  EXPECT_EQ(&reused->getXMLName(), &definitionName);
  EXPECT_EQ(reused->getTypeIndex(), byMember(descriptor.get(), 2)->getTypeIndex());
  EXPECT_EQ(reused->getTagId(), definition.tagId);
  EXPECT_EQ(reused->getMemberIndex(), 2);
  EXPECT_EQ(reused->getValueLogicalType(), eLogicalDateTime);
  EXPECT_EQ(reused->getFormat(), std::u16string_view(u"dd.MM.yyyy"));
}
