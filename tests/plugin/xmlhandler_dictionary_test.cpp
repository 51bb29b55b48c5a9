// Parsing with a dictionary: messages, element matching, attributes, null
// encodings, values, xsi:type, lists, unions, mixed content, subtrees, and
// the errors these raise; and the whole traces of documents parsed without
// one. Ids and indexes follow the compiler's numbering:
// an id is its row number plus 1. Elements matched as type members carry
// the member's id and index in their start events.
#include "parsetestsupport.h"
#include "paramname.h"

#include <xercesc/framework/XMLErrorCodes.hpp>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

using namespace parsetest;
using Lines = std::vector<std::string>;

namespace {
// Lines without the message frame (start and end of message, embedded
// message attempts and the outermost message content).
Lines inner(const Lines& lines) {
  Lines out;
  for (const std::string& line : lines) {
    if (line.rfind("startMessage(", 0) == 0 || line.rfind("endMessage(", 0) == 0 ||
        line.rfind("startEmbeddedMessage", 0) == 0 || line.rfind("startMessageContent(1,", 0) == 0 ||
        line.rfind("endMessageContent(1,", 0) == 0)
      continue;
    out.push_back(line);
  }
  return out;
}

// The lines that start with one of the prefixes.
Lines startingWith(const Lines& lines, std::initializer_list<const char*> prefixes) {
  Lines out;
  for (const std::string& line : lines)
    for (const char* prefix : prefixes)
      if (line.rfind(prefix, 0) == 0) {
        out.push_back(line);
        break;
      }
  return out;
}

// The message sets (tests/data/sets/parse).
constexpr char kAttributes[] = "sets/parse/attributes.json";
constexpr char kTyped[] = "sets/parse/typed.json";
constexpr char kXsi[] = "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"";

// tests/data/traces/NAME.xml parsed against its whole recorded trace,
// NAME.events, with the message set its line "# message set: SET" names
// (sets/parse/SET.json; without one, no dictionary). The other comments say
// what each part shows.
std::vector<std::string> recordedTraces() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dataPath("traces")))
    if (entry.path().extension() == ".events") names.push_back(entry.path().stem().string());
  std::sort(names.begin(), names.end());
  return names;
}

class RecordedTraceTest : public ::testing::TestWithParam<std::string> {};

// The traces pin every argument of the start events, also the tag and
// member rows (tagIndex, memberIndex) that go beyond the ids the host needs:
// the host keeps them in its tree, and the writer reads its definitions from
// those rows without looking the ids up, so a wrong row is written wrongly.
TEST_P(RecordedTraceTest, ParseGivesTheRecordedTrace) {
  std::istringstream in(dataText("traces/" + GetParam() + ".events"));
  DescriptorPtr descriptor;
  Lines trace;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("# message set: ", 0) == 0) descriptor = compileDescriptorFile("sets/parse/" + line.substr(15) + ".json");
    if (!line.empty() && line[0] != '#') trace.push_back(line);
  }
  ParseRun run(descriptor.get());
  EXPECT_EQ(run.parse(dataText("traces/" + GetParam() + ".xml")), trace);
}

INSTANTIATE_TEST_SUITE_P(Documents, RecordedTraceTest, ::testing::ValuesIn(recordedTraces()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });
}  // namespace

// ---------------------------------------------------------------------------
// Values

struct BooleanCase {
  const char* text;
  const char* value;
};

class BooleanParseTest : public ::testing::TestWithParam<BooleanCase> {};

TEST_P(BooleanParseTest, ReadsTheMessageSetsSpellingsThenTheFixedOnesThenNumbers) {
  const DescriptorPtr descriptor = compileDescriptorFile(kAttributes);
  ParseRun run(descriptor.get());
  const Lines lines = inner(run.parse(std::string("<m><flag>") + GetParam().text + "</flag></m>"));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], std::string("data(Boolean:") + GetParam().value + ", -, -1, -1)");
}

INSTANTIATE_TEST_SUITE_P(Spellings, BooleanParseTest,
                         ::testing::Values(BooleanCase{"Y", "true"}, BooleanCase{"N", "false"},
                                           BooleanCase{"TRUE", "true"}, BooleanCase{"True", "true"},
                                           BooleanCase{"1", "true"}, BooleanCase{"FALSE", "false"},
                                           BooleanCase{"0", "false"}, BooleanCase{"2", "true"},
                                           BooleanCase{"-0", "false"}), ReadableName());

// tests/data/traces/null-encodings.txt: each null encoding with its value,
// a message's content and its events.
class NullEncodingTest : public ::testing::TestWithParam<DataCase> {};

TEST_P(NullEncodingTest, NillableElementsReadTheirNullValue) {
  const DataCase& c = GetParam();
  const DescriptorPtr descriptor =
      compileDescriptor(dataText("sets/parse/nulls.json", {{"@ENCODING@", c.label}, {"@VALUE@", c["value"]}}));
  ParseRun run(descriptor.get());
  EXPECT_EQ(inner(run.parse(std::string("<m ") + kXsi + ">" + c["document"] + "</m>")), c.lines());
}

INSTANTIATE_TEST_SUITE_P(Encodings, NullEncodingTest, ::testing::ValuesIn(dataCases("traces/null-encodings.txt")),
                         [](const ::testing::TestParamInfo<DataCase>& info) { return info.param.label; });

// ---------------------------------------------------------------------------
// xsi:type, lists and unions

// Type rows: Code 0 (a long), Codes 1 (a list of Code), CodeOrWord 2,
// CodesOrWord 3, long 4, string 5. Row 0 is a type like any other.
constexpr char kFirstRow[] = "sets/parse/lists-and-unions.json";

// tests/data/traces/lists-and-unions.txt: documents and their data events.
class ListAndUnionValueTest : public ::testing::TestWithParam<DataCase> {};

TEST_P(ListAndUnionValueTest, DataEventsCarryTheChosenTypes) {
  const DescriptorPtr descriptor = compileDescriptorFile(kFirstRow);
  ParseRun run(descriptor.get());
  EXPECT_EQ(startingWith(run.parse(GetParam()["document"]), {"data("}), GetParam().lines());
}

INSTANTIATE_TEST_SUITE_P(Values, ListAndUnionValueTest, ::testing::ValuesIn(dataCases("traces/lists-and-unions.txt")),
                         [](const ::testing::TestParamInfo<DataCase>& info) { return info.param.label; });

TEST(TypedParse, UnboundPrefixInXsiTypeIsTheScannersError) {
  const DescriptorPtr descriptor = compileDescriptorFile(kTyped);
  const ZelException e = ParseRun(descriptor.get())
                             .failure(std::string(R"(<t:m xmlns:t="urn:t" )") + kXsi + R"(><free xsi:type="zz:T"/></t:m>)");
  EXPECT_EQ(scannerErrorCode(e), std::to_string(xercesc::XMLErrs::UnknownPrefix));
  EXPECT_EQ(insertsOf(e).back(), "urn:t:m");  // the element is not open yet: the error names its parent
}

// ---------------------------------------------------------------------------
// Wildcards: each message holds a header and open content of one kind;
// stamp (a dateTime, tag 1) and qty (a long, tag 2) are global elements.
constexpr char kWildcards[] = "sets/parse/wildcards.json";

// tests/data/traces/wildcards.txt: documents and their element starts and
// values.
class WildcardParseTest : public ::testing::TestWithParam<DataCase> {};

TEST_P(WildcardParseTest, ProcessContentsDecidesWhatIsTyped) {
  const DescriptorPtr descriptor = compileDescriptorFile(kWildcards);
  ParseRun run(descriptor.get());
  EXPECT_EQ(startingWith(run.parse(GetParam()["document"]), {"startElement(", "data(", "startMessageContent(\""}),
            GetParam().lines());
}

INSTANTIATE_TEST_SUITE_P(Contents, WildcardParseTest, ::testing::ValuesIn(dataCases("traces/wildcards.txt")),
                         [](const ::testing::TestParamInfo<DataCase>& info) { return info.param.label; });

// ---------------------------------------------------------------------------
// Errors: tests/data/traces/parse-errors.txt, the message key and every insert.

class ParseErrorTest : public ::testing::TestWithParam<DataCase> {};

TEST_P(ParseErrorTest, EndsTheParseWithKeyAndInserts) {
  const DataCase& c = GetParam();
  const DescriptorPtr descriptor = compileDescriptorFile("sets/parse/" + c["set"] + ".json");
  ParseRun run(descriptor.get());
  run.events.acceptMessageContent = !c.fields.count("refuse");
  const ZelException e = run.failure(c["document"]);
  EXPECT_EQ(e.getKey(), c["key"]);
  const std::vector<std::string> inserts = insertsOf(e), expected = c.lines();
  ASSERT_EQ(inserts.size(), expected.size()) << e.what();
  for (std::size_t i = 0; i < inserts.size(); ++i) {
    const std::string& want = expected[i];
    if (want.size() > 3 && want.compare(want.size() - 3, 3, "...") == 0) {
      EXPECT_EQ(inserts[i].rfind(want.substr(0, want.size() - 3), 0), 0u) << inserts[i];
    } else {
      EXPECT_EQ(inserts[i], want);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Documents, ParseErrorTest, ::testing::ValuesIn(dataCases("traces/parse-errors.txt")),
                         [](const ::testing::TestParamInfo<DataCase>& info) { return info.param.label; });

// ---------------------------------------------------------------------------
// Member search, and xsi:type ignored: tests/data/traces/member-matching.txt.

class InnerEventsTest : public ::testing::TestWithParam<DataCase> {};

TEST_P(InnerEventsTest, FollowTheMessageSetAndWhatTheWorkerParsedBefore) {
  const DataCase& c = GetParam();
  const DescriptorPtr descriptor = compileDescriptorFile("sets/parse/" + c["set"] + ".json");
  ParseRun run(descriptor.get());
  if (c.fields.count("before")) run.parse(c["before"]);
  if (c.fields.count("environment")) ::setenv(c["environment"].c_str(), "", 1);
  const Lines lines = inner(run.parse(c["document"]));
  if (c.fields.count("environment")) ::unsetenv(c["environment"].c_str());
  EXPECT_EQ(lines, c.lines());
}

INSTANTIATE_TEST_SUITE_P(Documents, InnerEventsTest, ::testing::ValuesIn(dataCases("traces/member-matching.txt")),
                         [](const ::testing::TestParamInfo<DataCase>& info) { return info.param.label; });
