// Each value kind as a typed value: its kind, its XML text, its accessor, and
// the error an accessor of another kind raises.
#include "apitestsupport.h"
#include "testdata.h"
#include "paramname.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>
#include <tuple>

namespace {

// tests/data/api/value-kinds.txt: elements of the kinds document, each
// with the kind and the text of its value.
class ValueKinds : public testing::TestWithParam<DataCase> {};

TEST_P(ValueKinds, KindAndTextAreWhatTheWriterWrites) {
  static const char* const kKinds[] = {"None", "String", "Integer", "Decimal", "Double", "Boolean", "DateTime",
                                       "Duration", "Binary"};
  const wfxml::Element element = kindsMessage().root().child(GetParam().label);
  ASSERT_TRUE(element) << GetParam().label;
  ASSERT_TRUE(element.hasValue());
  const wfxml::Value value = element.value();
  EXPECT_EQ(kKinds[static_cast<int>(value.kind())], GetParam()["kind"]);
  EXPECT_FALSE(value.isNull());
  EXPECT_EQ(value.text(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(EveryKind, ValueKinds, testing::ValuesIn(dataCases("api/value-kinds.txt")), ReadableName());

TEST(Value, AccessorsReturnTheTypedValue) {
  const wfxml::Element root = kindsMessage().root();
  EXPECT_EQ(root.child("count").value().asInteger(), -42);
  EXPECT_EQ(root.child("ratio").value().asDouble(), 0.1);
  EXPECT_TRUE(std::isinf(root.child("limit").value().asDouble()));
  EXPECT_TRUE(root.child("flag").value().asBoolean());
  EXPECT_EQ(root.child("blob").value().asBinary(), (std::vector<std::uint8_t>{1, 2, 3, 0xFF}));
  EXPECT_EQ(root.child("huge").value().asDecimal(), "123456789012345678901234567890");
  EXPECT_EQ(root.child("price").value().asDecimal(), "-12.50");
  const wfxml::DateTimeParts stamp = root.child("stamp").value().asDateTime();
  EXPECT_EQ(std::make_tuple(*stamp.year, *stamp.month, *stamp.day, *stamp.hour, *stamp.minute, *stamp.second),
            std::make_tuple(2024, 2, 29, 23, 59, 59));
  EXPECT_EQ(stamp.fraction + stamp.zone, "125+01:00");
  EXPECT_FALSE(root.child("day").value().asDateTime().hour);
  const wfxml::DurationParts span = root.child("span").value().asDuration();
  EXPECT_TRUE(span.negative);
  EXPECT_EQ(std::make_tuple(*span.years, *span.months, *span.days, *span.hours, *span.minutes, *span.seconds),
            std::make_tuple(1, 2, 3, 4, 5, 6));
  EXPECT_EQ(span.fraction, "7");
}

// An accessor of another kind names the kind asked for and the kind there
// is; a null value has no text.
TEST(Value, AnAccessorOfAnotherKindNamesBothKinds) {
  const wfxml::Element root = kindsMessage().root();
  const wfxml::Error e = errorOf([&] { root.child("price").value().asDouble(); });
  EXPECT_EQ(e.key(), "CP_TYPE_MISMATCH");
  EXPECT_EQ(e.number(), 0xC0002008u);
  EXPECT_EQ(e.inserts(), (std::vector<std::string>{"Double", "Decimal"}));
  EXPECT_EQ(std::string(e.what()), "expected Double, found Decimal");
  const wfxml::Value missing = root.child("missing").value();
  EXPECT_TRUE(missing.isNull());
  EXPECT_EQ(missing.text(), "");
  EXPECT_EQ(errorOf([&] { missing.asInteger(); }).inserts(), (std::vector<std::string>{"Integer", "null"}));
  EXPECT_EQ(errorOf([] { wfxml::Value().asBoolean(); }).inserts(), (std::vector<std::string>{"Boolean", "None"}));
}

}  // namespace
