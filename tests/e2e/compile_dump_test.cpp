// wfhost compile and wfhost dump on the example message sets and on broken input.
#include "messagesetjson.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

struct RunResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string scratch(const std::string& name) {
  return std::string(WF_BINARY_DIR) + "/e2e-compile-" + std::to_string(::getpid()) + "-" + name;
}

// Runs wfhost with the arguments (no quoting needed: test paths hold no blanks).
RunResult wfhost(const std::string& arguments) {
  const std::string out = scratch("stdout");
  const std::string err = scratch("stderr");
  const std::string command = std::string(WF_WFHOST) + " " + arguments + " >" + out + " 2>" + err;
  const int status = std::system(command.c_str());
  RunResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = slurp(out);
  result.err = slurp(err);
  std::remove(out.c_str());
  std::remove(err.c_str());
  return result;
}

struct Example {
  const char* folder;
  const char* source;
};

class ExampleDictionary : public ::testing::TestWithParam<Example> {
protected:
  std::string sourcePath() const {
    return std::string(WF_EXAMPLES_DIR) + "/" + GetParam().folder + "/" + GetParam().source;
  }
};

// The element-name index as the descriptor must build it: every global
// element by namespace URI and XML name run together, in key order, the
// first element of a key kept.
std::vector<std::pair<long, std::string>> expectedIndex(const msgset::MessageSet& set) {
  std::map<std::u16string, std::pair<long, std::string>> keys;
  for (std::size_t i = 0; i < set.elements.size(); ++i) {
    const msgset::ElementDef& element = set.elements[i];
    const std::string xmlName = element.xml.xmlName.value_or(element.name);
    const std::string uri = element.namespaceIndex >= 0 ? set.namespaces[element.namespaceIndex].uri : "";
    const ZelWstring key = ZelWstring::fromUtf8(uri + xmlName);
    keys.emplace(std::u16string(key.view()), std::make_pair(static_cast<long>(i), xmlName));
  }
  std::vector<std::pair<long, std::string>> ordered;
  for (const auto& entry : keys) ordered.push_back(entry.second);
  return ordered;
}

TEST_P(ExampleDictionary, CompilesAndDumpsEveryElementMemberAndTheIndex) {
  const std::string dict = scratch(std::string(GetParam().folder) + ".dict");
  const RunResult compiled = wfhost("compile " + sourcePath() + " -o " + dict);
  ASSERT_EQ(compiled.exitCode, 0) << compiled.err;
  EXPECT_EQ(compiled.out, "");

  const RunResult dump = wfhost("dump " + dict);
  std::remove(dict.c_str());
  ASSERT_EQ(dump.exitCode, 0) << dump.err;

  const msgset::MessageSet set = readMessageSetJsonFile(sourcePath());
  for (const msgset::ElementDef& element : set.elements) {
    EXPECT_NE(dump.out.find("name=\"" + element.name + "\""), std::string::npos) << element.name;
  }
  for (const msgset::TypeDef& type : set.types) {
    for (const msgset::MemberDef& member : type.members) {
      const std::string name = member.form == msgset::MemberDef::Form::ElementRef ? set.elements[member.element].name
                                                                                   : member.name;
      if (name.empty()) continue;
      EXPECT_NE(dump.out.find("name=\"" + name + "\""), std::string::npos) << name;
    }
  }

  const std::size_t index = dump.out.find("\nxmlElementNameToTagIndex\n");
  ASSERT_NE(index, std::string::npos) << dump.out;
  std::vector<std::pair<long, std::string>> listed;
  std::istringstream lines(dump.out.substr(index));
  for (std::string text; std::getline(lines, text);) {
    // "i = <row> , tagIndex = <index>, tagName = <name>"
    long row = 0, tagIndex = 0;
    int nameAt = -1;
    if (std::sscanf(text.c_str(), "i = %ld , tagIndex = %ld, tagName = %n", &row, &tagIndex, &nameAt) != 2 ||
        nameAt < 0)
      continue;
    EXPECT_EQ(row, static_cast<long>(listed.size()));
    listed.emplace_back(tagIndex, text.substr(nameAt));
  }
  EXPECT_EQ(listed, expectedIndex(set));
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleDictionary,
                         ::testing::Values(Example{"purchase-order", "purchase-order.json"},
                                           Example{"inventory", "inventory.json"}),
                         [](const ::testing::TestParamInfo<Example>& info) {
                           std::string name = info.param.folder;
                           name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
                           return name;
                         });

TEST(CompileCommand, MalformedSourceNamesTheFileAndThePlace) {
  const std::string source = scratch("broken.json");
  std::ofstream(source) << R"({"name": "S", "types": [{"name": "T", "members": [{"name": "a", "render": "atribute"}]}]})";
  const std::string dict = scratch("broken.dict");
  const RunResult result = wfhost("compile " + source + " -o " + dict);
  std::remove(source.c_str());
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("CP_DICTIONARY_SOURCE_ERROR"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find(source), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("types[0].members[0].render"), std::string::npos) << result.err;
  EXPECT_FALSE(std::ifstream(dict).good()) << "no dictionary is written for a broken source";
}

TEST(CompileCommand, RefusesAnUnknownSourceFormatAndMissingOutput) {
  EXPECT_EQ(wfhost("compile schema.txt -o x.dict").exitCode, 2);
  EXPECT_EQ(wfhost("compile " + std::string(WF_EXAMPLES_DIR) + "/inventory/inventory.json").exitCode, 2);
  EXPECT_EQ(wfhost("dump").exitCode, 2);
}

TEST(DumpCommand, TruncatedDictionaryIsAFormatError) {
  const std::string dict = scratch("truncated.dict");
  const RunResult compiled =
      wfhost("compile " + std::string(WF_EXAMPLES_DIR) + "/purchase-order/purchase-order.json -o " + dict);
  ASSERT_EQ(compiled.exitCode, 0) << compiled.err;
  const std::string bytes = slurp(dict);
  std::ofstream(dict, std::ios::binary | std::ios::trunc) << bytes.substr(0, bytes.size() / 2);
  const RunResult dump = wfhost("dump " + dict);
  std::remove(dict.c_str());
  EXPECT_EQ(dump.exitCode, 1);
  EXPECT_NE(dump.err.find("CP_DICTIONARY_FORMAT_ERROR"), std::string::npos) << dump.err;
}

}  // namespace
