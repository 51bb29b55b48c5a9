// wfhost parse on the examples: the trees they parse into (compared with
// reviewed copies in tests/data/parse), the three output forms, subtree
// parses, one document in every encoding and byte order, how failures are
// reported; and the usage errors of every command.
#include "e2esupport.h"
#include "testdata.h"
#include "paramname.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

std::string example(const std::string& path) { return std::string(WF_EXAMPLES_DIR) + "/" + path; }

// The dictionaries of the example message sets, compiled once.
class ExampleDictionaries : public ::testing::Environment {
public:
  static std::string path(const std::string& name) {
    return std::string(WF_BINARY_DIR) + "/e2e-parse-" + std::to_string(::getpid()) + "-" + name + ".dict";
  }
  void SetUp() override {
    compile("purchase-order/purchase-order.json", "po");
    compile("inventory/inventory.json", "inventory");
  }
  void TearDown() override {
    std::remove(path("po").c_str());
    std::remove(path("inventory").c_str());
  }

private:
  static void compile(const std::string& source, const std::string& name) {
    const CommandResult result = runWfhost({"compile", example(source), "-o", path(name)});
    ASSERT_EQ(result.status, 0) << result.err;
  }
};

const ::testing::Environment* const kDictionaries = ::testing::AddGlobalTestEnvironment(new ExampleDictionaries);

struct ExampleCase {
  const char* dictionary;  // "" parses self-defining
  const char* document;
  const char* option;      // "" for the tree text
  const char* expected;
};

class ExampleParse : public ::testing::TestWithParam<ExampleCase> {};

TEST_P(ExampleParse, PrintsTheReviewedTree) {
  const ExampleCase& c = GetParam();
  std::vector<std::string> args{"parse"};
  if (*c.option) args.push_back(c.option);
  if (*c.dictionary) args.insert(args.end(), {"--dict", ExampleDictionaries::path(c.dictionary)});
  args.push_back(example(c.document));
  const CommandResult result = runWfhost(args);
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, readFileText(testData(std::string("parse/") + c.expected)));
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ExampleParse,
    ::testing::Values(ExampleCase{"po", "purchase-order/order-1.xml", "", "po-order-1.txt"},
                      ExampleCase{"po", "purchase-order/order-2.xml", "", "po-order-2.txt"},
                      ExampleCase{"po", "purchase-order/cancel-1.xml", "", "po-cancel-1.txt"},
                      ExampleCase{"inventory", "inventory/report-1.xml", "", "inventory-report-1.txt"},
                      ExampleCase{"inventory", "inventory/report-2.xml", "", "inventory-report-2.txt"},
                      ExampleCase{"inventory", "inventory/report-3.xml", "", "inventory-report-3.txt"},
                      ExampleCase{"inventory", "inventory/report-1.xml", "--events", "inventory-report-1.events"},
                      ExampleCase{"po", "purchase-order/cancel-1.xml", "--json", "po-cancel-1.json"},
                      ExampleCase{"", "order.xml", "", "order-self-defining.txt"}), ReadableName());

TEST(ParseCommand, SubtreeParsesOneMemberByNameOrId) {
  for (const char* path : {"PurchaseOrder/items/item", "order/items/item", "17/25"}) {
    const CommandResult result = runWfhost(
        {"parse", "--subtree", path, "--dict", ExampleDictionaries::path("po"), testData("parse/po-item.xml")});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, readFileText(testData("parse/po-item.txt"))) << path;
  }
}

// tests/data/encodings holds one document in several encodings and byte orders,
// and the events all of them give (order.events).

struct EncodingCase {
  const char* label;
  const char* file;
  std::vector<std::string> options;
};

void PrintTo(const EncodingCase& c, std::ostream* out) { *out << c.label; }

class ParseEncodingsTest : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(ParseEncodingsTest, ScansToTheEndWithTheSameEvents) {
  std::vector<std::string> args = {"parse", "--events"};
  args.insert(args.end(), GetParam().options.begin(), GetParam().options.end());
  args.push_back(testData(std::string("encodings/") + GetParam().file));
  const CommandResult result = runWfhost(args);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(linesOf(result.out), linesOf(readFileText(testData("encodings/order.events"))));
}

INSTANTIATE_TEST_SUITE_P(
    Files, ParseEncodingsTest,
    ::testing::Values(EncodingCase{"Utf8", "utf8.xml", {}},
                      EncodingCase{"Utf8Ccsid", "utf8.xml", {"--prop", "ccsid=1208"}},
                      EncodingCase{"Utf8Bom", "utf8-bom.xml", {}},
                      EncodingCase{"Utf16LeBom", "utf16le-bom.xml", {}},
                      EncodingCase{"Utf16BeBom", "utf16be-bom.xml", {}},
                      EncodingCase{"Utf16LeNoBom", "utf16le.xml", {"--prop", "ccsid=1200", "--prop", "encoding=546"}},
                      EncodingCase{"Utf16LeNamed", "utf16le.xml", {"--input-encoding", "utf-16le"}},
                      EncodingCase{"Utf16BeNoBom", "utf16be.xml", {"--input-encoding", "1200"}},
                      EncodingCase{"Ebcdic500", "ebcdic500.xml", {"--input-encoding", "ibm-500"}},
                      EncodingCase{"Ebcdic500NewLines", "ebcdic500-nl.xml", {"--prop", "ccsid=500"}}),
    [](const auto& info) { return std::string(info.param.label); });

// A failure is one line on stderr: the file, line, column and element, what
// went wrong and the message key, never the throw site.
struct FailureCase {
  const char* label;
  std::vector<std::string> args;
  std::string expected;  // stderr after "wfhost: ", without the line feed
};

void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.label; }

class WfhostFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(WfhostFailure, IsOneLineNamingFileAndPlace) {
  const CommandResult result = runWfhost(GetParam().args);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "wfhost: " + GetParam().expected + "\n");
  // stdout carries the events reported before the error, and nothing else.
  for (const auto& line : linesOf(result.out)) EXPECT_NE(line.find('('), std::string::npos) << line;
}

const std::string kMalformed = testData("malformed.xml");
const std::string kBadQuantity = testData("parse/po-bad-quantity.xml");

INSTANTIATE_TEST_SUITE_P(
    Failures, WfhostFailure,
    ::testing::Values(
        FailureCase{"Malformed", {"parse", "--events", kMalformed},
                    kMalformed + ":1:9: expected end of tag 'b' in <b> at /a/b (CP_XML_XERCES_PARSER_EXCEPTION)"},
        FailureCase{"ValueOfAnotherType", {"parse", "--dict", ExampleDictionaries::path("po"), kBadQuantity},
                    kBadQuantity + ":6:31: 'two' is not a valid Decimal in <quantity> at /order/items/item/quantity "
                                   "(CP_XML_DATA_READ_CONVERSION_ERROR)"},
        FailureCase{"NotADictionary", {"dump", kMalformed},
                    kMalformed + ": buffer shorter than the dictionary header: 0 (CP_DICTIONARY_FORMAT_ERROR)"},
        FailureCase{"MissingSchema", {"compile", "/no/such.xsd", "-o", "x.dict"},
                    "/no/such.xsd: cannot be read: No such file or directory (CP_DICTIONARY_SOURCE_ERROR)"}),
    [](const auto& info) { return std::string(info.param.label); });

// The output the README shows after a command: the next code block.
std::string readmeOutputOf(const std::string& command) {
  const std::string readme = readFileText(std::string(WF_SOURCE_DIR) + "/README.md");
  const std::size_t start = readme.find("build/bin/wfhost " + command + "\n```\n\n```");
  if (start == std::string::npos) return "the README no longer shows: " + command;
  const std::size_t shown = readme.find('\n', readme.find("```", readme.find("```", start) + 3)) + 1;
  return readme.substr(shown, readme.find("```", shown) - shown);
}

// The README's first use shows what parsing and converting the example print.
TEST(ParseCommand, ReadmeShowsWhatParsingAndConvertingPrint) {
  const ScratchFolder scratch;
  ASSERT_EQ(runWfhost({"compile", example("payment/payment.xsd"), "-o", scratch.file("payment.dict")}).status, 0);
  const CommandResult parsed =
      runWfhost({"parse", "--dict", scratch.file("payment.dict"), example("payment/payment-1.xml")});
  EXPECT_EQ(parsed.out, readmeOutputOf("parse --dict payment.dict examples/payment/payment-1.xml")) << parsed.err;
  const CommandResult converted =
      runWfhost({"convert", "--schema", example("payment/payment.xsd"), example("payment/payment-1.xml")});
  EXPECT_EQ(converted.out,
            readmeOutputOf("convert --schema examples/payment/payment.xsd examples/payment/payment-1.xml"))
      << converted.err;
}

// The arguments of a command line of tests/data/wfhost-usage.txt, dict:NAME
// made the path of that example dictionary.
std::vector<std::string> argumentsOf(const std::string& line) {
  std::vector<std::string> args = commandWords(line);
  for (std::string& arg : args)
    if (arg.rfind("dict:", 0) == 0) arg = ExampleDictionaries::path(arg.substr(5));
  return args;
}

class WfhostUsage : public ::testing::TestWithParam<DataCase> {};

TEST_P(WfhostUsage, FailsWithAClearMessageAndPrintsNothing) {
  const CommandResult result = runWfhost(argumentsOf(GetParam()["args"]));
  EXPECT_EQ(result.status, std::stoi(GetParam()["status"]));
  EXPECT_NE(result.err.find(GetParam()["message"]), std::string::npos) << result.err;
  EXPECT_EQ(result.out, "");
}

INSTANTIATE_TEST_SUITE_P(Arguments, WfhostUsage, ::testing::ValuesIn(dataCases("wfhost-usage.txt")),
                         [](const auto& info) { return info.param.label; });

TEST(PluginLibrary, ExportsExactlyTheFourEntryPoints) {
  if (!haveProgram("nm")) GTEST_SKIP() << "nm is not installed";
  const CommandResult result = runCommand("nm", {"-D", "--defined-only", std::string(WF_PLUGIN_DIR) + "/libpwfxml.so"});
  ASSERT_EQ(result.status, 0) << result.err;
  std::set<std::string> names;
  for (const auto& line : linesOf(result.out)) names.insert(line.substr(line.rfind(' ') + 1));
  EXPECT_EQ(names, (std::set<std::string>{"GetFactory", "GetFormat", "GetLevel", "GetNumFormats"}));
}

}  // namespace
