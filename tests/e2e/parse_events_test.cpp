// wfhost parse --events, run as a separate program on real files.
#include "e2esupport.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {
// tests/data/encodings holds one document in several encodings and byte orders.
const std::vector<std::string> kOrderEvents = {
    "startMessage({4:String:\"1.0\"})",
    "startEmbeddedMessage()",
    "startMessageContent(\"order\", \"\", 5, -, -1)",
    "startElement(\"item\", \"\", 0, -, -1, -1)",
    "data(String:\"Caf\xc3\xa9\", -, -1, -1)",
    "endElement(\"item\", \"\", -)",
    "startElement(\"qty\", \"\", 0, -, -1, -1)",
    "data(String:\"2\", -, -1, -1)",
    "endElement(\"qty\", \"\", -)",
    "endMessageContent(\"order\", \"\", -)",
    "endMessage(-)",
};

struct EncodingCase {
  const char* label;
  const char* file;
  std::vector<std::string> properties;
};

void PrintTo(const EncodingCase& c, std::ostream* out) { *out << c.label; }

class ParseEncodingsTest : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(ParseEncodingsTest, ScansToTheEndWithTheSameEvents) {
  std::vector<std::string> args = {"parse", "--events"};
  for (const auto& property : GetParam().properties) {
    args.push_back("--prop");
    args.push_back(property);
  }
  args.push_back(testData(std::string("encodings/") + GetParam().file));
  const CommandResult result = runWfhost(args);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(linesOf(result.out), kOrderEvents);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ParseEncodingsTest,
    ::testing::Values(EncodingCase{"Utf8", "utf8.xml", {}}, EncodingCase{"Utf8Ccsid", "utf8.xml", {"ccsid=1208"}},
                      EncodingCase{"Utf8Bom", "utf8-bom.xml", {}},
                      EncodingCase{"Utf8BomCcsid", "utf8-bom.xml", {"ccsid=1208"}},
                      EncodingCase{"Utf16LeBom", "utf16le-bom.xml", {}},
                      EncodingCase{"Utf16BeBom", "utf16be-bom.xml", {}},
                      EncodingCase{"Utf16BeBomCcsid", "utf16be-bom.xml", {"ccsid=1200"}},
                      EncodingCase{"Utf16LeNoBom", "utf16le.xml", {"ccsid=1200", "encoding=546"}},
                      EncodingCase{"Utf16BeNoBom", "utf16be.xml", {"ccsid=1200", "encoding=785"}},
                      EncodingCase{"Ebcdic500", "ebcdic500.xml", {"ccsid=500"}},
                      EncodingCase{"Ebcdic500NewLines", "ebcdic500-nl.xml", {"ccsid=500"}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ParseCommandTest, MalformedDocumentFailsWithTheScannerPosition) {
  const CommandResult result = runWfhost({"parse", "--events", testData("malformed.xml")});
  EXPECT_NE(result.status, 0);
  for (const char* part :
       {"CP_XML_XERCES_PARSER_EXCEPTION", "0xC00013FD", "insert 2: 180", "insert 4: 1\n", "insert 5: 9\n"})
    EXPECT_NE(result.err.find(part), std::string::npos) << part << " missing in:\n" << result.err;
  // stdout carries the events reported before the error, and nothing else.
  for (const auto& line : linesOf(result.out)) EXPECT_NE(line.find('('), std::string::npos) << line;
}

TEST(ParseCommandTest, BundledExampleParses) {
  const CommandResult result = runWfhost({"parse", "--events", std::string(WF_EXAMPLES_DIR) + "/order.xml"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find("data(String:\"Zo\xc3\xab M\xc3\xbcller\", -, -1, -1)"), std::string::npos);
}

struct UsageCase {
  const char* label;
  std::vector<std::string> args;
  int status;
  const char* message;
};

void PrintTo(const UsageCase& c, std::ostream* out) { *out << c.label; }

class ParseUsageTest : public ::testing::TestWithParam<UsageCase> {};

TEST_P(ParseUsageTest, FailsWithAClearMessage) {
  const CommandResult result = runWfhost(GetParam().args);
  EXPECT_EQ(result.status, GetParam().status);
  EXPECT_NE(result.err.find(GetParam().message), std::string::npos) << result.err;
  EXPECT_EQ(result.out, "");
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, ParseUsageTest,
    ::testing::Values(UsageCase{"NoFile", {"parse", "--events"}, 2, "no FILE"},
                      UsageCase{"TwoOutputs", {"parse", "--json", "--events", "x.xml"}, 2, "--events"},
                      UsageCase{"UnknownOption", {"parse", "--bogus", "x.xml"}, 2, "--bogus"},
                      UsageCase{"BadProperty", {"parse", "--events", "--prop", "ccsid", "x.xml"}, 2, "NAME=VALUE"},
                      UsageCase{"BadTraceLevel", {"parse", "--events", "--trace", "high", "x.xml"}, 2, "--trace"},
                      UsageCase{"UnknownCommand", {"frobnicate"}, 2, "unknown command"},
                      UsageCase{"MissingFile", {"parse", "--events", "/no/such/file.xml"}, 1, "CP_IO_ERROR"},
                      UsageCase{"MissingPlugin", {"parse", "--events", "--plugin", "nosuchplugin", WF_EXAMPLES_DIR "/order.xml"}, 1, "CP_PLUGIN_LOAD_ERROR"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(PluginLibraryTest, ExportsExactlyTheFourEntryPoints) {
  if (!haveProgram("nm")) GTEST_SKIP() << "nm is not installed";
  const CommandResult result = runCommand("nm", {"-D", "--defined-only", std::string(WF_PLUGIN_DIR) + "/libpwfxml.so"});
  ASSERT_EQ(result.status, 0) << result.err;
  std::set<std::string> names;
  for (const auto& line : linesOf(result.out)) names.insert(line.substr(line.rfind(' ') + 1));
  EXPECT_EQ(names, (std::set<std::string>{"GetFactory", "GetFormat", "GetLevel", "GetNumFormats"}));
}
}  // namespace
