// wfhost validate, and --validate on parse and convert: one line per
// problem, files in the order given on any number of threads, exit 0 / 1 / 2.
#include "e2esupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// An amount without its currency, and Date, Creditor missing.
constexpr char kInvalid[] = "<Payment xmlns=\"urn:example:payment\">\n<Id>P</Id>\n<Amount>1</Amount></Payment>";

TEST(ValidateCli, ProblemsOfManyFilesInTheirOrderFromADictionaryWithoutItsSchema) {
  const ScratchFolder scratch;
  const std::string dictionary = scratch.file("payment.dict");
  ASSERT_EQ(runWfhost({"compile", kPaymentSchema, "-o", dictionary}).status, 0);
  const std::string invalid = scratch.write("invalid.xml", kInvalid);
  const std::string missing = scratch.file("missing.xml");
  const CommandResult result =
      runWfhost({"validate", "--dict", dictionary, "-j", "2", invalid, kPayment, missing, invalid});
  EXPECT_EQ(result.status, 1) << result.err;
  const std::vector<std::string> lines = linesOf(result.out);
  ASSERT_EQ(lines.size(), 5u) << result.out;
  EXPECT_EQ(lines[0], invalid + ":3:9: missing required attribute 'Ccy' in <Amount> at /Payment/Amount");
  EXPECT_EQ(lines[1].rfind(invalid + ":3:29: ", 0), 0u) << lines[1];
  EXPECT_EQ(lines[2], missing + ": No such file or directory (CP_IO_ERROR)");
  EXPECT_EQ(lines[3], lines[0]);
  EXPECT_NE(result.err.find("1 of 4 files valid"), std::string::npos) << result.err;
}

TEST(ValidateCli, ExitStatusesAndTheValidateOptionOfParseAndConvert) {
  const ScratchFolder scratch;
  const std::string invalid = scratch.write("invalid.xml", kInvalid);
  EXPECT_EQ(runWfhost({"validate", "--schema", kPaymentSchema, kPayment}).status, 0);  // 2: wfhost-usage.txt
  for (const char* command : {"parse", "convert"}) {
    const CommandResult refused = runWfhost({command, "--schema", kPaymentSchema, "--validate", invalid});
    EXPECT_EQ(refused.status, 1) << command;
    EXPECT_EQ(linesOf(refused.err).size(), 2u) << command << ": " << refused.err;
    EXPECT_EQ(runWfhost({command, "--schema", kPaymentSchema, "--validate", kPayment}).status, 0) << command;
  }
  // The check reads entities within the parse's limit (it kept 1,000 whatever --prop said).
  std::string references;
  for (int i = 0; i < 1500; ++i) references += "&z;";
  std::string payment = readFileText(kPayment);
  payment.replace(payment.find("Zo"), std::string("Zoë Müller").size(), references);
  const std::string expanding = scratch.write("entities.xml", "<!DOCTYPE Payment [<!ENTITY z 'z'>]>" +
                                                                  payment.substr(payment.find("<Payment")));
  for (const char* command : {"parse", "convert"}) {
    EXPECT_EQ(runWfhost({command, "--schema", kPaymentSchema, "--validate", expanding}).status, 1) << command;
    const CommandResult allowed = runWfhost({command, "--schema", kPaymentSchema, "--validate", "--prop",
                                             "entityExpansionLimit=2000", expanding});
    EXPECT_EQ(allowed.status, 0) << command << ": " << allowed.err;
  }
}

// The dictionary's mapping warnings say what the parse makes of a schema,
// nothing of the validator's verdicts: validate leaves them out.
TEST(ValidateCli, LeavesOutTheWarningsOfTheDictionarysMapping) {
  const ScratchFolder scratch;
  const std::string schema = testData("xsd/partial.xsd");
  const std::string document = scratch.write(
      "catalog.xml", "<catalog xmlns=\"urn:test:partial\"><circle>c</circle><item><a>A</a></item></catalog>");
  const CommandResult validated = runWfhost({"validate", "--schema", schema, document});
  EXPECT_EQ(validated.status, 0) << validated.out << validated.err;
  EXPECT_EQ(validated.err, "");
  EXPECT_EQ(linesOf(runWfhost({"convert", "--schema", schema, document}).err).size(), 2u);
}

}  // namespace
