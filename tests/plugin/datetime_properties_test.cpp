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

// The message set of sets/parse/dates.json with these fields in its properties.
DescriptorPtr dateTimeDescriptor(const std::string& properties) {
  const std::string fields = properties.empty() ? "" : ", " + properties;
  return compileDescriptor(dataText("sets/parse/dates.json", {{"@PROPERTIES@", fields}}));
}

std::string documentOf(const std::string& text) { return "<msg><d>" + text + "</d></msg>"; }

// tests/data/datetime-properties.txt: the message set's properties, a text,
// the value read and the text written back.
class DateTimeProperty : public ::testing::TestWithParam<DataCase> {};

TEST_P(DateTimeProperty, ReadsAndWritesAsTheMessageSetSays) {
  const DataCase& c = GetParam();
  const DescriptorPtr descriptor = dateTimeDescriptor(c["properties"]);
  parsetest::ParseRun run(descriptor.get());
  if (!c.fields.count("read")) {
    EXPECT_EQ(run.failure(documentOf(c["text"])).getMessageNumber(), ZelMessages::CP_XML_DATA_READ_CONVERSION_ERROR);
    return;
  }
  const std::vector<std::string>& events = run.parse(documentOf(c["text"]));
  const std::string data = "data(DateTime:" + c["read"] + ", -, -1, -1)";
  EXPECT_NE(std::find(events.begin(), events.end(), data), events.end()) << ::testing::PrintToString(events);

  MessageTree tree;
  writetest::parseIntoTree(documentOf(c["text"]), descriptor.get(), tree);
  const std::string& written = c[c.fields.count("written") ? "written" : "text"];
  EXPECT_EQ(writetest::WriteRun(descriptor.get()).text(tree), documentOf(written));
}

INSTANTIATE_TEST_SUITE_P(Properties, DateTimeProperty, ::testing::ValuesIn(dataCases("datetime-properties.txt")),
                         [](const auto& info) { return info.param.label; });

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
