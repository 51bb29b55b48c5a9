// wfhost parse on the examples: the trees they parse into (compared with
// reviewed copies in tests/data/parse), the three output forms, subtree
// parses and how failures are reported.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <array>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Outcome {
  int status = -1;
  std::string out;  // stdout and stderr together
};

// Runs wfhost with the arguments (test paths hold no blanks) and collects
// what it prints.
Outcome wfhost(const std::string& arguments) {
  const std::string command = std::string(WF_WFHOST) + " " + arguments + " 2>&1";
  Outcome outcome;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return outcome;
  std::array<char, 4096> chunk;
  std::size_t read;
  while ((read = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) outcome.out.append(chunk.data(), read);
  const int status = ::pclose(pipe);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

std::string fileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string example(const std::string& path) { return std::string(WF_EXAMPLES_DIR) + "/" + path; }
std::string data(const std::string& path) { return std::string(WF_TEST_DATA_DIR) + "/parse/" + path; }

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
    const Outcome outcome = wfhost("compile " + example(source) + " -o " + path(name));
    ASSERT_EQ(outcome.status, 0) << outcome.out;
  }
};

const ::testing::Environment* const kDictionaries = ::testing::AddGlobalTestEnvironment(new ExampleDictionaries);

struct ExampleCase {
  const char* dictionary;  // "" parses self-defining
  const char* document;
  const char* options;
  const char* expected;
};

class ExampleParse : public ::testing::TestWithParam<ExampleCase> {};

TEST_P(ExampleParse, PrintsTheReviewedTree) {
  const ExampleCase& c = GetParam();
  std::string arguments = std::string("parse ") + c.options;
  if (*c.dictionary) arguments += " --dict " + ExampleDictionaries::path(c.dictionary);
  const Outcome outcome = wfhost(arguments + " " + example(c.document));
  ASSERT_EQ(outcome.status, 0) << outcome.out;
  EXPECT_EQ(outcome.out, fileText(data(c.expected)));
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
                      ExampleCase{"", "order.xml", "", "order-self-defining.txt"}));

TEST(ParseCommand, JsonOutputIsATreeDocument) {
  const Outcome outcome =
      wfhost("parse --json --dict " + ExampleDictionaries::path("po") + " " + example("purchase-order/order-2.xml"));
  ASSERT_EQ(outcome.status, 0) << outcome.out;
  const nlohmann::json tree = nlohmann::json::parse(outcome.out);
  EXPECT_EQ(tree["format"], "message-tree");
  EXPECT_EQ(tree["root"]["kind"], 6);
  EXPECT_EQ(tree["root"]["tagId"], 1);
}

TEST(ParseCommand, SubtreeParsesOneMemberByNameOrId) {
  for (const char* path : {"PurchaseOrder/items/item", "17/25"}) {
    const Outcome outcome = wfhost("parse --subtree " + std::string(path) + " --dict " +
                                   ExampleDictionaries::path("po") + " " + data("po-item.xml"));
    ASSERT_EQ(outcome.status, 0) << outcome.out;
    EXPECT_EQ(outcome.out, fileText(data("po-item.txt"))) << path;
  }
}

TEST(ParseCommand, FailuresReportKeyAndInsertsWithStatusOne) {
  const Outcome outcome = wfhost("parse --dict " + ExampleDictionaries::path("po") + " " + data("po-bad-quantity.xml"));
  EXPECT_EQ(outcome.status, 1);
  EXPECT_NE(outcome.out.find("CP_XML_DATA_READ_CONVERSION_ERROR (0xC000151C)"), std::string::npos) << outcome.out;
  EXPECT_NE(outcome.out.find("insert 3: quantity"), std::string::npos) << outcome.out;
  EXPECT_NE(outcome.out.find("insert 4: Decimal"), std::string::npos) << outcome.out;
}

TEST(ParseCommand, WrongArgumentsAreUsageErrors) {
  EXPECT_EQ(wfhost("parse --subtree a/b " + example("order.xml")).status, 2);
  EXPECT_EQ(wfhost("parse --subtree Nowhere/x --dict " + ExampleDictionaries::path("po") + " " + example("order.xml"))
                .status,
            2);
}

}  // namespace
