// The message set's date-time properties, each through a parse and a write of
// an element that has no format of its own: what the text reads as, and what
// the value is written back as.
#include "parsetestsupport.h"
#include "writetestsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

using plugintest::compileDescriptor;
using plugintest::DescriptorPtr;

DescriptorPtr dateTimeDescriptor(const std::string& properties) {
  return compileDescriptor(R"({ "name": "Dates",
    "properties": { "suppressXmlDeclaration": true)" +
                           (properties.empty() ? "" : ", " + properties) + R"( },
    "elements": [ { "name": "msg", "class": "message", "type": { "members": [
      { "name": "d", "type": "dateTime" } ] } } ] })");
}

std::string documentOf(const std::string& text) { return "<msg><d>" + text + "</d></msg>"; }

struct DateTimePropertyCase {
  const char* name;
  const char* properties;  // fields of the message set's properties
  const char* text;        // the element's text
  const char* read;        // the value read; null: the text does not convert
  const char* written;     // the text written back; null: the text read
};

void PrintTo(const DateTimePropertyCase& c, std::ostream* out) { *out << c.name; }

class DateTimeProperty : public ::testing::TestWithParam<DateTimePropertyCase> {};

TEST_P(DateTimeProperty, ReadsAndWritesAsTheMessageSetSays) {
  const DateTimePropertyCase& c = GetParam();
  const DescriptorPtr descriptor = dateTimeDescriptor(c.properties);
  parsetest::ParseRun run(descriptor.get());
  if (!c.read) {
    EXPECT_EQ(run.failure(documentOf(c.text)).getMessageNumber(), ZelMessages::CP_XML_DATA_READ_CONVERSION_ERROR);
    return;
  }
  const std::vector<std::string>& events = run.parse(documentOf(c.text));
  const std::string data = "data(DateTime:" + std::string(c.read) + ", -, -1, -1)";
  EXPECT_NE(std::find(events.begin(), events.end(), data), events.end()) << ::testing::PrintToString(events);

  MessageTree tree;
  writetest::parseIntoTree(documentOf(c.text), descriptor.get(), tree);
  EXPECT_EQ(writetest::WriteRun(descriptor.get()).text(tree), documentOf(c.written ? c.written : c.text));
}

constexpr char kDotted[] = R"("defaultDateTimeFormat": "dd.MM.yyyy")";
constexpr char kWeeks[] = R"("defaultDateTimeFormat": "yyyy-'W'ww")";

INSTANTIATE_TEST_SUITE_P(
    Properties, DateTimeProperty,
    ::testing::Values(
        // Without a default format an element reads the XML Schema forms.
        DateTimePropertyCase{"NoDefaultFormat", "", "01.02.2003", nullptr, nullptr},
        DateTimePropertyCase{"DefaultFormat", kDotted, "01.02.2003", "2003-02-01", nullptr},
        // Two-digit years below the window are 20yy, the others 19yy.
        DateTimePropertyCase{"CenturyWindowBelow", R"("defaultDateTimeFormat": "dd.MM.yy", "centuryWindow": 60)",
                             "01.02.55", "2055-02-01", nullptr},
        DateTimePropertyCase{"CenturyWindowAbove", R"("defaultDateTimeFormat": "dd.MM.yy", "centuryWindow": 10)",
                             "01.02.55", "1955-02-01", nullptr},
        // Week 6 of 2003 starts on Sunday 2 February by default (the week
        // with 1 January is the first).
        DateTimePropertyCase{"WeeksByDefault", kWeeks, "2003-W06", "2003-02-02", nullptr},
        DateTimePropertyCase{"FirstDayOfWeek", R"("defaultDateTimeFormat": "yyyy-'W'ww", "firstDayOfWeek": "Monday")",
                             "2003-W06", "2003-02-03", nullptr},
        // The first week is the first with all seven days in the year.
        DateTimePropertyCase{"FirstWeekOfYear", R"("defaultDateTimeFormat": "yyyy-'W'ww", "firstWeekOfYear": 7)",
                             "2003-W06", "2003-02-09", nullptr},
        DateTimePropertyCase{"LenientByDefault", kDotted, "30.02.2003", "2003-03-02", "02.03.2003"},
        DateTimePropertyCase{"NotLenient", R"("defaultDateTimeFormat": "dd.MM.yyyy", "allowLenientDatetimes": false)",
                             "30.02.2003", nullptr, nullptr},
        // A zero offset reads as "Z" unless its spelling is kept.
        DateTimePropertyCase{"UtcAsZ", "", "2003-02-01T10:00:00+00:00", "2003-02-01T10:00:00Z",
                             "2003-02-01T10:00:00Z"},
        DateTimePropertyCase{"PreserveUtcFormat", R"("preserveUtcFormat": true)", "2003-02-01T10:00:00-00:00",
                             "2003-02-01T10:00:00-00:00", nullptr},
        DateTimePropertyCase{"OtherZonesAsWritten", "", "2003-02-01T10:00:00-05:00", "2003-02-01T10:00:00-05:00",
                             nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

// A value without a zone is written with a zone field in the default time
// zone (legacy names translated).
struct TimeZoneCase {
  const char* zone;
  const char* written;
};

void PrintTo(const TimeZoneCase& c, std::ostream* out) { *out << c.zone; }

class DefaultTimeZone : public ::testing::TestWithParam<TimeZoneCase> {};

TEST_P(DefaultTimeZone, GivesTheZoneOfValuesWithoutOne) {
  const DescriptorPtr descriptor =
      dateTimeDescriptor(std::string(R"("defaultDateTimeFormat": "yyyy-MM-dd'T'HH:mmXXX", "defaultTimeZone": ")") +
                         GetParam().zone + "\"");
  MessageTree tree;
  writetest::TreeMaker make(tree, descriptor.get());
  make.member(make.tag(nullptr, u"msg"), u"d", PWFData::makeDateTime(dateTime(2003, 2, 1, 10, 0, 0)));
  EXPECT_EQ(writetest::WriteRun(descriptor.get()).text(tree), documentOf(GetParam().written));
}

INSTANTIATE_TEST_SUITE_P(Zones, DefaultTimeZone,
                         ::testing::Values(TimeZoneCase{"", "2003-02-01T10:00Z"},
                                           TimeZoneCase{"Europe/Paris", "2003-02-01T10:00+01:00"},
                                           TimeZoneCase{"VOLN/Tehran", "2003-02-01T10:00+03:30"}),
                         [](const auto& info) {
                           std::string name = *info.param.zone ? info.param.zone : "None";
                           std::replace(name.begin(), name.end(), '/', '_');
                           return name;
                         });

}  // namespace
