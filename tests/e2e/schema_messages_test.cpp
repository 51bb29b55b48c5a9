// Messages with the dictionaries of their own XML Schemas, the example and
// real payment messages: each schema compiles, its message parses with every
// element matched and with typed values, and parse, write, parse gives the
// same tree in XML that the schema accepts. The payment corpus lives outside
// the repository; without it those tests skip.
#include "e2esupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path kCorpus = fs::path(WF_CORPORA_DIR) / "iso20022-sepa";

struct SchemaMessage {
  const char* label;
  fs::path schema;
  fs::path message;
  bool inCorpus;
};

void PrintTo(const SchemaMessage& test, std::ostream* out) { *out << test.label; }

// In the corpus each message is named after its schema.
SchemaMessage corpusMessage(const char* name) {
  return {name, kCorpus / "schemas" / (std::string(name) + ".xsd"), kCorpus / "messages" / (std::string(name) + ".xml"),
          true};
}

const SchemaMessage kMessages[] = {
    {"example", fs::path(WF_EXAMPLES_DIR) / "payment" / "payment.xsd",
     fs::path(WF_EXAMPLES_DIR) / "payment" / "payment-1.xml", false},
    corpusMessage("pain.001.001.03"),
    corpusMessage("pain.001.001.03.ch.02"),
    corpusMessage("pain.001.002.03"),
    corpusMessage("pain.001.003.03"),
    corpusMessage("pain.008.002.02"),
    corpusMessage("pain.008.003.02"),
};

// The elements whose values are not codes or texts, by local name, and the
// logical type their schema types map to. The nameless value of an amount
// (simple content beside its currency attribute) is listed as "(anonymous)".
const std::map<std::string, std::string> kTypedElements = {
    {"CtrlSum", "Decimal"},      {"(anonymous)", "Decimal"},  {"CreDtTm", "DateTime"},
    {"ReqdExctnDt", "DateTime"}, {"ReqdColltnDt", "DateTime"}, {"DtOfSgntr", "DateTime"},
    {"BtchBookg", "Boolean"},    {"AmdmntInd", "Boolean"},     {"Date", "DateTime"},
    {"Urgent", "Boolean"}};

// One line of the tree text: "  {12}Name kind=1 ... = Type:value".
struct TreeLine {
  bool defined;  // carries a dictionary id
  std::string name;
  std::string valueType;  // empty without value
};

TreeLine readTreeLine(const std::string& line) {
  TreeLine parsed;
  std::size_t start = line.find_first_not_of(' ');
  parsed.defined = line[start] == '{';
  if (parsed.defined) start = line.find('}', start) + 1;
  const std::size_t nameEnd = line.find(' ', start);
  parsed.name = line.substr(start, nameEnd - start);
  const std::size_t value = line.find(" = ");
  if (value != std::string::npos) parsed.valueType = line.substr(value + 3, line.find(':', value) - value - 3);
  return parsed;
}

std::string scratch(const std::string& name) {
  return std::string(WF_BINARY_DIR) + "/e2e-sepa-" + std::to_string(::getpid()) + "-" + name;
}

class SchemaMessages : public ::testing::TestWithParam<SchemaMessage> {
protected:
  void SetUp() override {
    if (GetParam().inCorpus && !fs::is_directory(kCorpus))
      GTEST_SKIP() << "the payment-message corpus is not at " << kCorpus << "; nothing to test";
  }
  void TearDown() override {
    std::remove(dictionary_.c_str());
    std::remove(written_.c_str());
  }
  std::string schema() const { return GetParam().schema.string(); }
  std::string message() const { return GetParam().message.string(); }

  const std::string dictionary_ = scratch(std::string(GetParam().label) + ".dict");
  const std::string written_ = scratch(std::string(GetParam().label) + ".xml");
};

TEST_P(SchemaMessages, ParsesTypedWithItsSchemaAndRoundTripsToValidXml) {
  const CommandResult compiled = runWfhost({"compile", schema(), "-o", dictionary_});
  ASSERT_EQ(compiled.status, 0) << compiled.err;

  const CommandResult first = runWfhost({"parse", "--dict", dictionary_, message()});
  ASSERT_EQ(first.status, 0) << first.err;
  std::size_t values = 0;
  std::size_t typed = 0;
  for (const std::string& line : linesOf(first.out)) {
    if (line.rfind("message ", 0) == 0) continue;
    const TreeLine element = readTreeLine(line);
    EXPECT_TRUE(element.defined || element.name == "(anonymous)") << "self-defining: " << line;
    if (element.valueType.empty()) continue;
    ++values;
    const auto expected = kTypedElements.find(element.name);
    if (expected != kTypedElements.end()) ++typed;
    EXPECT_EQ(element.valueType, expected == kTypedElements.end() ? "String" : expected->second) << line;
  }
  EXPECT_GE(values, 7u) << first.out;
  EXPECT_GE(typed, 3u) << "too few amounts, dates and indicators:\n" << first.out;

  const CommandResult written = runWfhost({"roundtrip", "--dict", dictionary_, message(), "-o", written_});
  ASSERT_EQ(written.status, 0) << written.err;
  const CommandResult second = runWfhost({"parse", "--dict", dictionary_, written_});
  ASSERT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(second.out, first.out);

  if (!haveProgram("xmllint")) GTEST_SKIP() << "xmllint is not installed; the written XML is not validated";
  const CommandResult valid = runCommand("xmllint", {"--noout", "--schema", schema(), written_});
  EXPECT_EQ(valid.status, 0) << valid.err;
}

INSTANTIATE_TEST_SUITE_P(Messages, SchemaMessages, ::testing::ValuesIn(kMessages),
                         [](const ::testing::TestParamInfo<SchemaMessage>& info) {
                           return testNameOf(info.param.label);
                         });

// Every schema of the corpus compiles, also the one without a sample message.
TEST(PaymentSchemas, EveryOneCompiles) {
  if (!fs::is_directory(kCorpus)) GTEST_SKIP() << "the payment-message corpus is not at " << kCorpus;
  const std::string dictionary = scratch("any.dict");
  std::size_t count = 0;
  for (const auto& entry : fs::directory_iterator(kCorpus / "schemas")) {
    if (entry.path().extension() != ".xsd") continue;
    ++count;
    const CommandResult compiled = runWfhost({"compile", entry.path().string(), "-o", dictionary});
    EXPECT_EQ(compiled.status, 0) << entry.path() << ": " << compiled.err;
  }
  std::remove(dictionary.c_str());
  EXPECT_EQ(count, 7u);
}

}  // namespace

// The README shows what parsing the example message prints; it must stay
// what wfhost prints.
TEST(SchemaExample, ReadmeShowsWhatParsingPrints) {
  const std::string readme = readFileText(std::string(WF_SOURCE_DIR) + "/README.md");
  const std::string command = "wfhost parse --dict payment.dict examples/payment/payment-1.xml\n```\n\n```\n";
  const std::size_t start = readme.find(command);
  ASSERT_NE(start, std::string::npos) << "the README no longer shows the example parse";
  const std::size_t shown = start + command.size();
  const std::string expected = readme.substr(shown, readme.find("```", shown) - shown);

  const std::string dictionary = scratch("readme.dict");
  ASSERT_EQ(runWfhost({"compile", kMessages[0].schema.string(), "-o", dictionary}).status, 0);
  const CommandResult parsed = runWfhost({"parse", "--dict", dictionary, kMessages[0].message.string()});
  std::remove(dictionary.c_str());
  ASSERT_EQ(parsed.status, 0) << parsed.err;
  EXPECT_EQ(parsed.out, expected);
}
