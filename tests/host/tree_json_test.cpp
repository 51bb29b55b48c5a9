// The JSON form of a tree: lossless round trips and the errors of bad input.
#include "messagetree.h"
#include "tracetext.h"
#include "host/test_support.h"
#include "testdata.h"
#include "tree_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace treetest;

namespace {

struct ValueCase {
  const char* label;
  PWFData value;
  const char* trace = "";  // as the event trace prints it, where the recorded traces do not pin it
};
void PrintTo(const ValueCase& c, std::ostream* os) { *os << c.label; }

constexpr std::int32_t kUnset = PWFDateTime::kUnset;

PWFInterval negativeSeconds() {
  PWFInterval i;
  i.negative = true; i.days = 3; i.seconds = 0; i.fraction = "5";
  return i;
}

PWFInterval allFields() {
  PWFInterval i;
  i.years = 1; i.months = 14; i.days = 0; i.hours = 25; i.minutes = 61; i.seconds = 2147483647;
  return i;
}

std::vector<ValueCase> valueCases() {
  const char16_t awkward[] = {u'q', u'"', u'\\', u'\n', 0, u'\x1F', 0xD83D, 0xDE00, u'\u00E9'};
  return {
      {"Nothing", PWFData(), "None:nothing"},
      {"Untyped", PWFData::makeUntyped(u"raw <text>", 10)},
      {"String", PWFData::makeString(awkward, sizeof awkward / sizeof awkward[0])},
      {"EmptyString", PWFData::makeString(u"", 0)},
      {"IntegerMin", PWFData::makeInteger(std::numeric_limits<std::int64_t>::min())},
      {"IntegerMax", PWFData::makeInteger(std::numeric_limits<std::int64_t>::max())},
      {"FloatTenth", PWFData::makeFloat(0.1)},
      {"FloatNegativeZero", PWFData::makeFloat(-0.0)},
      {"FloatDenormal", PWFData::makeFloat(5e-324)},
      {"FloatHuge", PWFData::makeFloat(1.7976931348623157e308)},
      {"FloatInf", PWFData::makeFloat(std::numeric_limits<double>::infinity())},
      {"FloatMinusInf", PWFData::makeFloat(-std::numeric_limits<double>::infinity()), "Float:-INF"},
      {"FloatNaN", PWFData::makeFloat(std::numeric_limits<double>::quiet_NaN())},
      {"BooleanTrue", PWFData::makeBoolean(true)},
      {"BooleanFalse", PWFData::makeBoolean(false)},
      {"Binary", PWFData::makeBinary({0x00, 0x0A, 0x1F, 0xFF}), "Binary:000A1FFF"},
      {"EmptyBinary", PWFData::makeBinary({})},
      {"Decimal", PWFData::makeDecimal(ZelWstring(u"-000.00100"))},
      {"IntervalNegative", PWFData::makeInterval(negativeSeconds()), "Interval:-P3DT0.5S"},
      {"IntervalAllFields", PWFData::makeInterval(allFields())},
      {"DateTimeFull", PWFData::makeDateTime(dateTime(2024, 2, 29, 23, 59, 60, "000120", "-05:30")),
       "DateTime:2024-02-29T23:59:60.000120-05:30"},
      {"DateTimeMonthDay", PWFData::makeDateTime(dateTime(kUnset, 12, 31)), "DateTime:--12-31"},
      {"DateTimeAncientYear", PWFData::makeDateTime(dateTime(-44, kUnset, kUnset, kUnset, kUnset, kUnset, "", "Z")),
       "DateTime:-0044Z"},
      {"NullString", PWFData::makeNull(eLogicalString)},
      {"NullDateTime", PWFData::makeNull(eLogicalDateTime)},
  };
}

class TreeJsonValueTest : public ::testing::TestWithParam<ValueCase> {};

// (Strings, integers, nulls and the usual date-times print in the recorded
// event traces.)
TEST_P(TreeJsonValueTest, SurvivesARoundTripAsValueAndAsRecordPropertyAndPrintsAsTheTraceShowsIt) {
  const PWFData& value = GetParam().value;
  if (*GetParam().trace) {
    EXPECT_EQ(TraceText::ofValue(value), GetParam().trace);
  }
  MessageTree tree;
  WorkerInfoPtr record(new DataWorkerInfo<6>());
  record->setProperty(5, value);
  tree.setStartMsgInfo(record);
  tree.createRoot().setValue(value);

  const std::string json = treeToJson(tree);
  MessageTree copy;
  treeFromJson(json, copy);
  ASSERT_TRUE(copy.getRoot());
  EXPECT_EQ(copy.getRoot()->getValue(), value) << json;
  ASSERT_TRUE(copy.getStartMsgInfo());
  ASSERT_EQ(copy.getStartMsgInfo()->getDataPropertyCount(), 6);
  EXPECT_EQ(copy.getStartMsgInfo()->getDataProperty(5), value) << json;
  EXPECT_EQ(treeToJson(copy), json);
}

INSTANTIATE_TEST_SUITE_P(EveryType, TreeJsonValueTest, ::testing::ValuesIn(valueCases()),
                         [](const ::testing::TestParamInfo<ValueCase>& info) { return std::string(info.param.label); });

// tests/data/trees/EveryElementField.json sets every field of elements and
// records: each is read (the tree's text form shows it) and written back.
TEST(TreeJsonTest, EveryElementFieldSurvivesARoundTrip) {
  const std::string json = dataText("trees/EveryElementField.json");
  MessageTree tree;
  treeFromJson(json, tree);
  expectTreeText(tree, "EveryElementField");
  EXPECT_EQ(treeToJson(tree), json);
}

TEST(TreeJsonTest, ReadingReplacesTheTreeAndAFailureLeavesItEmpty) {
  MessageTree tree;
  treeFromJson(R"({"format": "message-tree", "version": 1, "root": {"kind": 5, "name": "a"}})", tree);
  EXPECT_EQ(tree.getRoot()->getName().toUtf8(), "a");
  treeFromJson(R"({"format": "message-tree", "version": 1})", tree);
  EXPECT_TRUE(tree.empty());
  EXPECT_THROW(treeFromJson(R"({"format": "message-tree", "version": 1, "root": {"kind": 1,
      "children": [{"kind": 0}, {"kind": -1}]}})", tree), ZelFatalException);
  EXPECT_TRUE(tree.empty());
  EXPECT_EQ(tree.elementCount(), 0u);
}

// tests/data/tree-json-faults.txt: root elements, each placed in a valid
// document, and whole documents, with the path of their fault.
class TreeJsonErrorTest : public ::testing::TestWithParam<DataCase> {};

TEST_P(TreeJsonErrorTest, NamesThePathOfTheFault) {
  const std::string json = GetParam().fields.count("whole")
                               ? GetParam().text
                               : R"({"format": "message-tree", "version": 1, "root": )" + GetParam().text + "}";
  MessageTree tree;
  expectTreeError([&] { treeFromJson(json, tree); }, GetParam()["path"]);
}

INSTANTIATE_TEST_SUITE_P(Faults, TreeJsonErrorTest, ::testing::ValuesIn(dataCases("tree-json-faults.txt")),
                         [](const ::testing::TestParamInfo<DataCase>& info) { return info.param.label; });

}  // namespace
