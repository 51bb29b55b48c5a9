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
#include <iterator>
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

// The lines that start with one of the prefixes (separated by blanks).
Lines startingWith(const Lines& lines, const std::string& prefixes) {
  std::istringstream in(prefixes);
  const Lines starts{std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
  Lines out;
  for (const std::string& line : lines)
    if (std::any_of(starts.begin(), starts.end(), [&](const std::string& start) { return line.rfind(start, 0) == 0; }))
      out.push_back(line);
  return out;
}

// The message sets (tests/data/sets/parse).
constexpr char kTyped[] = "sets/parse/typed.json";
constexpr char kXsiDeclaration[] = "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"";

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

// tests/data/traces/null-encodings.txt: each null encoding with its value,
// a message's content and its events.
class NullEncodingTest : public ::testing::TestWithParam<DataCase> {};

TEST_P(NullEncodingTest, NillableElementsReadTheirNullValue) {
  const DataCase& c = GetParam();
  const DescriptorPtr descriptor =
      compileDescriptor(dataText("sets/parse/nulls.json", {{"@ENCODING@", c.label}, {"@VALUE@", c["value"]}}));
  ParseRun run(descriptor.get());
  EXPECT_EQ(inner(run.parse(std::string("<m ") + kXsiDeclaration + ">" + c["document"] + "</m>")), c.lines());
}

INSTANTIATE_TEST_SUITE_P(Encodings, NullEncodingTest, ::testing::ValuesIn(dataCases("traces/null-encodings.txt")),
                         [](const ::testing::TestParamInfo<DataCase>& info) { return info.param.label; });

// ---------------------------------------------------------------------------
// xsi:type, lists and unions

TEST(TypedParse, UnboundPrefixInXsiTypeIsTheScannersError) {
  const DescriptorPtr descriptor = compileDescriptorFile(kTyped);
  const ZelException e = ParseRun(descriptor.get())
                             .failure(std::string(R"(<t:m xmlns:t="urn:t" )") + kXsiDeclaration + R"(><free xsi:type="zz:T"/></t:m>)");
  EXPECT_EQ(scannerErrorCode(e), std::to_string(xercesc::XMLErrs::UnknownPrefix));
  EXPECT_EQ(insertsOf(e).back(), "urn:t:m");  // the element is not open yet: the error names its parent
}

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

INSTANTIATE_TEST_SUITE_P(Documents, ParseErrorTest, ::testing::ValuesIn(dataCases("traces/parse-errors.txt")), ReadableName());

// ---------------------------------------------------------------------------
// Member search and xsi:type ignored (tests/data/traces/member-matching.txt),
// boolean spellings (booleans.txt), the types lists and unions choose
// (lists-and-unions.txt), what processContents types (wildcards.txt).

class InnerEventsTest : public ::testing::TestWithParam<DataCase> {};

TEST_P(InnerEventsTest, FollowTheMessageSetAndWhatTheWorkerParsedBefore) {
  const DataCase& c = GetParam();
  const DescriptorPtr descriptor = compileDescriptorFile("sets/parse/" + c["set"] + ".json");
  ParseRun run(descriptor.get());
  if (c.fields.count("before")) run.parse(c["before"]);
  if (c.fields.count("environment")) ::setenv(c["environment"].c_str(), "", 1);
  const Lines lines = run.parse(c["document"]);
  if (c.fields.count("environment")) ::unsetenv(c["environment"].c_str());
  EXPECT_EQ(c.fields.count("only") ? startingWith(lines, c["only"]) : inner(lines), c.lines());
}

INSTANTIATE_TEST_SUITE_P(Documents, InnerEventsTest, ::testing::ValuesIn(dataCases("traces/member-matching.txt")),
                         ReadableName());
INSTANTIATE_TEST_SUITE_P(Booleans, InnerEventsTest, ::testing::ValuesIn(dataCases("traces/booleans.txt")),
                         ReadableName());
INSTANTIATE_TEST_SUITE_P(ListsAndUnions, InnerEventsTest,
                         ::testing::ValuesIn(dataCases("traces/lists-and-unions.txt")), ReadableName());
INSTANTIATE_TEST_SUITE_P(Wildcards, InnerEventsTest, ::testing::ValuesIn(dataCases("traces/wildcards.txt")),
                         ReadableName());
