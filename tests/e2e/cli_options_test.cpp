// The options every wfhost command spells alike: --encoding and
// --input-encoding, --schema beside --dict, '-' for stdin (convert_cli_test
// too), --indent, and convert's direction from the content (wfhost-usage.txt
// too).
#include "e2esupport.h"
#include "testdata.h"
#include "paramname.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kExamples = WF_EXAMPLES_DIR;
const std::string kEbcdicStart = "\x4c\x6f\xa7\x94\x93";  // "<?xml" in code page 500

// tests/data/wfhost-options.txt: command lines and the start of their output
// ("output: ebcdic" for kEbcdicStart) ...
class WfhostOptions : public ::testing::TestWithParam<DataCase> {};

// ... which ends with a line break (U+000A, in code page 500 too).
TEST_P(WfhostOptions, EveryCommandTakesTheSharedOptions) {
  const bool ebcdic = GetParam().fields.count("output");
  const std::string& start = ebcdic ? kEbcdicStart : GetParam().text;
  const CommandResult result = runWfhost(commandWords(GetParam()["args"]));
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out.substr(0, start.size()), start) << result.out;
  EXPECT_EQ(result.out.back(), ebcdic ? '\x25' : '\n') << result.out;
}

INSTANTIATE_TEST_SUITE_P(Commands, WfhostOptions, ::testing::ValuesIn(dataCases("wfhost-options.txt")), ReadableName());

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

TEST(WfhostOptions, HelpNamesTheSchemaSourcesOfCompile) {
  const CommandResult result = runWfhost({"--help"});
  EXPECT_NE(result.out.find("(.xsd)"), std::string::npos) << result.out;
}

}  // namespace
