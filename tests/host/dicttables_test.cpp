// The table machinery: property string tables, their groups, tables and the
// typed table references.

#include "dictionaryinfo.h"
#include "stddictionaryinfo.h"
#include "zelexception.h"
#include "zellog.h"
#include "host/test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::u16string_view text(const char16_t* value) { return value ? std::u16string_view(value) : u"(null)"; }

TEST(StringTable, MissingValuesAndTypeMismatch) {
  StringTable strings;
  strings.Create(u"XML", u"Format", eLogicalString, 2, 0);
  strings.SetValue(0, u"");
  EXPECT_NE(strings.GetValue(0), nullptr);  // empty, not null
  EXPECT_EQ(strings.GetValue(1), nullptr);  // never set
  EXPECT_EQ(strings.GetIntValue(0), 0);     // a String property has no integers
  strings.SetValue(0, static_cast<const char16_t*>(nullptr));
  EXPECT_EQ(strings.GetValue(0), nullptr);

  StringTable numbers;
  numbers.Create(u"XML", u"Render", eLogicalInteger, 2, 0);
  numbers.SetIntValue(1, 5);
  EXPECT_EQ(numbers.GetValue(1), nullptr);
  EXPECT_EQ(numbers.GetIntValue(0), 0);

  StringTable empty;
  empty.Create(u"XML", u"Render", eLogicalInteger, 0, 0);
  EXPECT_EQ(empty.getCapacity(), 0u);
  EXPECT_EQ(empty.getBuffer(), nullptr);
}

TEST(StringTable, ValueTakenFromItsOwnBufferSurvivesGrowth) {
  StringTable table;
  table.Create(u"XML", u"XML Name", eLogicalString, 2, 0);
  table.SetValue(0, u"a fairly long value that forces growth");
  table.SetValue(1, table.GetValue(0));
  EXPECT_EQ(text(table.GetValue(1)), u"a fairly long value that forces growth");
}

// An out-of-range row, read as text or as an integer, is a fatal internal
// error naming the row and the row count.
TEST(StringTable, OutOfRangeRowIsAFatalInternalError) {
  for (const bool integer : {false, true}) {
    StringTable table;
    table.Create(u"XML", u"Render", integer ? eLogicalInteger : eLogicalString, 2, 0);
    for (const long row : {-1L, 2L}) {
      const ZelFatalException e = raisedBy<ZelFatalException>([&] {
        if (integer) table.GetIntValue(row);
        else table.GetValue(row);
      });
      EXPECT_EQ(e.getMessageNumber(), ZelMessages::CP_INTERNAL_ERROR);
      ASSERT_EQ(e.getInserts().size(), 4u);
      EXPECT_EQ(e.getInserts()[2].number, row);
      EXPECT_EQ(e.getInserts()[3].number, 2);
    }
  }
}

StringTable* newTable(const char16_t* tableName, const char16_t* propertyName) {
  auto* table = new StringTable;
  table->Create(tableName, propertyName, eLogicalString, 1, 0);
  return table;
}

TEST(StringTableGroup, KeepsTablesSortedByUnsignedUnitsPrefixFirst) {
  StringTableGroup group;
  for (const char16_t* name : {u"b", u"\xE000", u"ab", u"a", u"B"}) group.AddTable(newTable(u"XML", name));
  std::vector<std::u16string> order;
  for (const StringTable* t : group) order.emplace_back(t->getPropertyName().view());
  EXPECT_EQ(order, (std::vector<std::u16string>{u"B", u"a", u"ab", u"b", u"\xE000"}));

  StringTable* again = group.at(2);
  group.AddTable(again);
  EXPECT_EQ(group.size(), 5u);  // the same table at its own position is not added twice
}

TEST(StringTableGroup, FindTableTellsEqualPropertyNamesApartByTableName) {
  StringTableGroup group;
  StringTable* xml = newTable(u"XML", u"Render");
  StringTable* other = newTable(u"TDS", u"Render");
  group.AddTable(newTable(u"XML", u"Format"));
  group.AddTable(xml);
  group.AddTable(other);  // inserted at the lower bound: ahead of the XML one
  group.AddTable(newTable(u"XML", u"XML Name"));
  EXPECT_EQ(group.FindTable(u"XML", u"Render"), xml);
  EXPECT_EQ(group.FindTable(u"TDS", u"Render"), other);
  EXPECT_EQ(group.FindTable(nullptr, u"Render"), other);
  EXPECT_EQ(group.FindTable(u"ABC", u"Render"), nullptr);
  EXPECT_EQ(group.FindExact(u"TDS", u"XML Name"), nullptr);
  EXPECT_EQ(group.FindExact(u"XML", u"Render"), xml);
}

// Misusing a table is the host's fatal internal error, not a crash; records
// of size zero allocate nothing and make no rows.
TEST(DictTable, MisuseIsAFatalInternalError) {
  DictionaryInfo dict(1);
  DictTable& table = *dict.getTable(0);
  EXPECT_THROW(table.Create(8, -1), ZelFatalException);
  EXPECT_THROW(dict.CreateTable(1, 4, 1), ZelFatalException);
  table.Create(8, 2);
  EXPECT_THROW(table.SetProperty(0, u"XML", u"Unknown", u"x"), ZelFatalException);
  EXPECT_THROW(table.SetIntProperty(0, u"XML", u"Unknown", 1), ZelFatalException);
  table.Create(0, 5);
  EXPECT_EQ(table.getRowCount(), 0);
  EXPECT_EQ(table.getBuffer(), nullptr);
}

TEST(DictTableWVLSRef, RowNamesAreMappedAndRefreshedIntoRecords) {
  StdDictionaryInfo dict(0);
  const StdDictTagDefs& tags = dict.getTagDefs();
  tags.Create(2);
  ASSERT_NE(tags.GetRowNames(), nullptr);
  EXPECT_EQ(tags.GetBuffer()[1].tagId, -99);  // default record
  EXPECT_EQ(tags.GetBuffer()[1].nillable, 1);
  tags.SetRowName(0, u"order");
  tags.GetBuffer()[1].name = u"stale";
  EXPECT_EQ(text(tags[0]->name), u"order");
  EXPECT_EQ(tags[1]->name, nullptr);  // a row without a name clears the field
  EXPECT_EQ(tags.GetRowName(5), nullptr);

  // Only the row-name property of the same table is taken as row names.
  StdDictTagDefs copy(tags.GetTable());
  copy.MapTableProperty(dict.getTypeDefs(), StringTableRef(tags.GetRowNames()));
  copy.MapTableProperty(tags, tags.GetTable()->CreateProperty(u"XML", CPI_StringMember, eLogicalString, 0));
  EXPECT_EQ(copy.GetRowNames(), nullptr);
  copy.MapTableProperty(tags, StringTableRef(tags.GetRowNames()));
  EXPECT_EQ(copy.GetRowNames(), tags.GetRowNames());

  // Tables with row names but no name field.
  dict.getMessageDefs().Create(1);
  dict.getMessageDefs().SetRowName(0, u"PurchaseOrder");
  EXPECT_EQ(text(dict.getMessageDefs().GetRowName(0)), u"PurchaseOrder");
  EXPECT_EQ(dict.getMessageDefs()[0]->tagIndex, -1);
}

TEST(CheckedVector, OutOfRangeIndexIsAParserException) {
  CheckedVector<int> vector;
  vector.push_back(4);
  EXPECT_EQ(vector.get(0), 4);
  for (long index : {1L, -1L}) {
    const ZelParserException e = raisedBy<ZelParserException>([&] { vector.get(index); });
    EXPECT_EQ(e.getMessageNumber(), ZelMessages::CP_INTERNAL_ERROR);
    ASSERT_EQ(e.getInserts().size(), 4u);
    EXPECT_EQ(e.getInserts()[2].number, index);
    EXPECT_EQ(e.getInserts()[3].number, 1);
  }
}

}  // namespace
