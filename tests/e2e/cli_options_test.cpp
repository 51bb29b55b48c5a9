// The options every wfhost command spells alike: --encoding and
// --input-encoding, --schema beside --dict, '-' for stdin, --indent, and
// convert's direction from the content.
#include "e2esupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kExamples = WF_EXAMPLES_DIR;
const std::string kPaymentSchema = kExamples + "/payment/payment.xsd";
const std::string kPayment = kExamples + "/payment/payment-1.xml";
const std::string kEbcdicStart = "\x4c\x6f\xa7\x94\x93";  // "<?xml" in code page 500

struct CommandCase {
  const char* label;
  std::vector<std::string> args;
  std::string expectedStart;  // of stdout
};

void PrintTo(const CommandCase& c, std::ostream* out) { *out << c.label; }

class WfhostOptions : public ::testing::TestWithParam<CommandCase> {};

// ... and ends its text with a line break (U+000A, in code page 500 too).
TEST_P(WfhostOptions, EveryCommandTakesTheSharedOptions) {
  const CommandResult result = runWfhost(GetParam().args);
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out.substr(0, GetParam().expectedStart.size()), GetParam().expectedStart) << result.out;
  const char lineBreak = GetParam().expectedStart == kEbcdicStart ? '\x25' : '\n';
  EXPECT_EQ(result.out.back(), lineBreak) << result.out;
}

const std::string kTree = testData("write/order-tree.json");
const std::string kUndeclaredEbcdic = testData("encodings/ebcdic500.xml");  // no encoding in its declaration

INSTANTIATE_TEST_SUITE_P(
    Commands, WfhostOptions,
    ::testing::Values(
        CommandCase{"WriteEncoding", {"write", kTree, "--encoding", "ibm-500"}, kEbcdicStart},
        CommandCase{"WriteEncodingNumber", {"write", kTree, "--encoding", "500"}, kEbcdicStart},
        CommandCase{"RoundtripEncoding", {"roundtrip", "--schema", kPaymentSchema, kPayment, "--encoding", "ibm-500"},
                    kEbcdicStart},
        CommandCase{"RoundtripOldProperty", {"roundtrip", kPayment, "--prop", "ccsid=500"}, kEbcdicStart},
        CommandCase{"RoundtripInputEncoding",
                    {"roundtrip", "--input-encoding", "ibm-500", kUndeclaredEbcdic},
                    "<?xml version=\"1.0\"?>"},
        CommandCase{"ConvertInputEncoding",
                    {"convert", "--input-encoding", "ibm-500", "--schema", kPaymentSchema,
                     testData("convert/payment-500-undeclared.ebcdic")},
                    "{\"Payment\":{\"Id\":\"PAY-2026-0042\""},
        CommandCase{"ParseSchema", {"parse", "--schema", kPaymentSchema, kPayment}, "message start="},
        CommandCase{"DumpSchema", {"dump", "--schema", kPaymentSchema}, "Dictionary: wire format \"XML\""},
        CommandCase{"ParseJsonIndent", {"parse", "--json", "--indent", kPayment}, "{\n  \""},
        CommandCase{"ConvertIndent", {"convert", "--schema", kPaymentSchema, "--indent", kPayment},
                    "{\n  \"Payment\": {\n    \"Id\": \"PAY-2026-0042\",\n"},
        CommandCase{"ConvertIndentXml",
                    {"convert", "--schema", kPaymentSchema, "--indent", testData("convert/payment-json.txt")},
                    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<pay:Payment xmlns:pay=\"urn:example:payment\" "
                    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n  <pay:Id>"},
        CommandCase{"ConvertJsonInAnyFile",
                    {"convert", "--schema", kPaymentSchema, testData("convert/payment-json.txt")},
                    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"}),
    [](const auto& info) { return std::string(info.param.label); });

// What a shell pipe feeds: '-' reads stdin.
CommandResult runWfhostOnStdin(const std::string& input, const std::vector<std::string>& args) {
  std::string command = std::string("'") + WF_WFHOST + "'";
  for (const std::string& arg : args) command += " '" + arg + "'";
  return runCommand("sh", {"-c", command + " < '" + input + "'"});
}

TEST(WfhostOptions, ConvertReadsItsOwnEbcdicOutputFromStdin) {
  const ScratchFolder scratch;
  const CommandResult json = runWfhost({"convert", "--schema", kPaymentSchema, kPayment});
  ASSERT_EQ(json.status, 0) << json.err;
  const CommandResult ebcdic = runWfhostOnStdin(scratch.write("payment.json", json.out),
                                                {"convert", "--schema", kPaymentSchema, "--encoding", "ibm-500", "-"});
  ASSERT_EQ(ebcdic.status, 0) << ebcdic.err;
  ASSERT_EQ(ebcdic.out.substr(0, 5), kEbcdicStart);
  const CommandResult back = runWfhostOnStdin(scratch.write("payment.xml", ebcdic.out),
                                              {"convert", "--schema", kPaymentSchema, "-"});
  EXPECT_EQ(back.out, json.out) << back.err;
}

// A dictionary through a pipe has no size to ask for ('Illegal seek' once).
TEST(WfhostOptions, ADictionaryIsReadFromAPipe) {
  const ScratchFolder scratch;
  const std::string dictionary = scratch.file("payment.dict");
  ASSERT_EQ(runWfhost({"compile", kPaymentSchema, "-o", dictionary}).status, 0);
  for (const char* name : {"-", "/dev/stdin"}) {
    const CommandResult result = runCommand(
        "sh", {"-c", "cat '" + dictionary + "' | '" + WF_WFHOST + "' parse --dict " + name + " '" + kPayment + "'"});
    EXPECT_EQ(result.out.rfind("message start=", 0), 0u) << name << ": " << result.err;
  }
}

TEST(WfhostOptions, ConvertToRefusesContentOfTheOtherKind) {
  const CommandResult result = runWfhost({"convert", "--schema", kPaymentSchema, "--to", "xml", kPayment});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("CP_JSON_MISMATCH"), std::string::npos) << result.err;
}

TEST(WfhostOptions, HelpNamesTheSchemaSourcesOfCompile) {
  const CommandResult result = runWfhost({"--help"});
  EXPECT_NE(result.out.find("(.xsd)"), std::string::npos) << result.out;
}

}  // namespace
