// wfhost compile on XML Schema documents: the dictionary, warnings and errors.
#include "e2esupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string scratch(const std::string& name) {
  return std::string(WF_BINARY_DIR) + "/e2e-xsd-" + std::to_string(::getpid()) + "-" + name;
}

std::string schema(const std::string& name) { return testData("xsd/" + name); }

// The names listed in the dump's message table.
std::vector<std::string> messagesOf(const std::string& dump) {
  std::vector<std::string> names;
  bool inTable = false;
  for (const std::string& line : linesOf(dump)) {
    if (line.rfind("Table ", 0) == 0) inTable = line.find("SMD_MESSAGE_DEFINITION") != std::string::npos;
    const std::size_t name = line.find("name=\"");
    if (!inTable || name == std::string::npos) continue;
    names.push_back(line.substr(name + 6, line.find('"', name + 6) - name - 6));
  }
  return names;
}

class CompileSchema : public ::testing::Test {
protected:
  void TearDown() override { std::remove(dict_.c_str()); }
  CommandResult compile(std::vector<std::string> args) {
    args.insert(args.begin(), "compile");
    args.push_back("-o");
    args.push_back(dict_);
    return runWfhost(args);
  }
  std::string dump() { return runWfhost({"dump", dict_}).out; }

  const std::string dict_ = scratch("t.dict");
};

TEST_F(CompileSchema, WritesADictionaryWhoseMessagesAreTheUnreferencedElements) {
  const CommandResult result = compile({schema("features.xsd")});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(linesOf(result.err).size(), 1u) << result.err;  // the facets of one type
  const std::string text = dump();
  EXPECT_EQ(messagesOf(text), (std::vector<std::string>{"order", "envelope"}));
  EXPECT_NE(text.find("name=\"urn:test:features\""), std::string::npos);
}

TEST_F(CompileSchema, MessagesOptionOverridesTheChoice) {
  const CommandResult result = compile({schema("features.xsd"), "--messages", "party,price"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(messagesOf(dump()), (std::vector<std::string>{"party", "price"}));
}

TEST_F(CompileSchema, PartlyMappedConstructsWarnOnStderrAndStillCompile) {
  const CommandResult result = compile({schema("partial.xsd")});
  ASSERT_EQ(result.status, 0) << result.err;
  const std::vector<std::string> warnings = linesOf(result.err);
  ASSERT_EQ(warnings.size(), 5u) << result.err;
  for (const std::string& warning : warnings) {
    EXPECT_EQ(warning.rfind("warning: ", 0), 0u) << warning;
    EXPECT_NE(warning.find("partial.xsd: line "), std::string::npos) << warning;
  }
}

TEST_F(CompileSchema, RejectedSchemaExitsWithItsFileAndLine) {
  const CommandResult result = compile({schema("undefined-type.xsd")});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("CP_DICTIONARY_SOURCE_ERROR"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("undefined-type.xsd"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("line 4"), std::string::npos) << result.err;
}

TEST_F(CompileSchema, PropsOptionNeedsAValue) {
  EXPECT_EQ(runWfhost({"compile", schema("features.xsd"), "-o", dict_, "--props"}).status, 2);
}

}  // namespace
