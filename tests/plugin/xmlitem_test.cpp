#include "xmlitem.h"

#include "plugin/xmltestdictionary.h"
#include "zelexception.h"
#include "host/test_support.h"

#include <gtest/gtest.h>

namespace {

class TestItem : public XMLItem {
public:
  TestItem(const XMLDictionaryInfo* dictionary, EWhereDefined whereDefined, long index, long typeIndex)
      : XMLItem(nullptr, dictionary) {
    iWhereDefined = whereDefined;
    iIndex = index;
    iTypeIndex = typeIndex;
  }
  ERender getRender() const override { return erElement; }
};

// Types: 0 decimal, 1 price (derived from decimal, own logical type String),
// 2 blob (Binary). Tags: 0 total (price), 1 note (no type), 2 picture (blob).
// Members: 0 refers to tag 2 with type price, 1 refers to no element.
class XMLItemTypes : public testing::Test {
protected:
  static void SetUpTestSuite() {
    XMLTestDictionary source;
    const long decimal = source.addType(u"decimal", eLogicalDecimal);
    const long price = source.addType(u"price", eLogicalString, decimal);
    const long blob = source.addType(u"blob", eLogicalBinary);
    source.addTag({u"total", 'F', price});
    source.addTag({u"note", 'F'});
    const long picture = source.addTag({u"picture", 'F', blob});
    source.addMember(u"picture", picture, price);
    source.addMember(u"", -1, blob);
    dictionary_ = source.build().release();
  }
  static void TearDownTestSuite() { dictionary_->release(); }

  static XMLDictionaryInfo* dictionary_;
};

XMLDictionaryInfo* XMLItemTypes::dictionary_ = nullptr;

struct ItemCase {
  EWhereDefined whereDefined;
  long index;
  long typeIndex;
  long tagIndex;
  long resolvedTypeIndex;
  ELogicalType logicalType;
  ELogicalType valueLogicalType;
};

class XMLItemQuestions : public XMLItemTypes, public testing::WithParamInterface<ItemCase> {};

TEST_P(XMLItemQuestions, AnswerFromTheDefinitionOrTheExplicitType) {
  const ItemCase& c = GetParam();
  const TestItem item(dictionary_, c.whereDefined, c.index, c.typeIndex);
  EXPECT_EQ(item.getTagIndex(), c.tagIndex);
  EXPECT_EQ(item.getTypeIndex(), c.resolvedTypeIndex);
  EXPECT_EQ(item.getLogicalType(), c.logicalType);
  EXPECT_EQ(item.getValueLogicalType(), c.valueLogicalType);
}

INSTANTIATE_TEST_SUITE_P(
    All, XMLItemQuestions,
    testing::Values(
        // An element whose type derives from a Decimal type reports Decimal.
        ItemCase{eDefinedAsElement, 0, -1, 0, 1, eLogicalString, eLogicalDecimal},
        // An element without a type reports String.
        ItemCase{eDefinedAsElement, 1, -1, 1, -1, eLogicalString, eLogicalString},
        ItemCase{eDefinedAsElement, 2, -1, 2, 2, eLogicalBinary, eLogicalBinary},
        // An explicit type wins over the definition's.
        ItemCase{eDefinedAsElement, 2, 1, 2, 1, eLogicalString, eLogicalDecimal},
        // A member answers with its element and its own type.
        ItemCase{eDefinedAsTypeMember, 0, -1, 2, 1, eLogicalString, eLogicalDecimal},
        ItemCase{eDefinedAsTypeMember, 1, -1, -1, 2, eLogicalBinary, eLogicalBinary},
        ItemCase{eDefinedByType, -1, 1, -1, 1, eLogicalString, eLogicalDecimal},
        // A self-defining element does not look at base types.
        ItemCase{eUndefined, -1, 1, -1, 1, eLogicalString, eLogicalString},
        ItemCase{eUndefined, -1, -1, -1, -1, eLogicalString, eLogicalString}));

TEST_F(XMLItemTypes, AnIndexOutsideTheTablesRaisesTheRangeError) {
  const TestItem item(dictionary_, eDefinedAsTypeMember, 7, -1);
  const ZelException e = raisedBy<ZelException>([&] { item.getTagIndex(); });
  EXPECT_EQ(e.getMessageNumber(), ZelMessages::CP_INTERNAL_ERROR);
}

}  // namespace
