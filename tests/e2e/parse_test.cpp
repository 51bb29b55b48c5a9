// wfhost parse on the examples: the trees they parse into (compared with
// reviewed copies in tests/data/parse), the three output forms, subtree
// parses, one document in every encoding and byte order, how failures are
// reported (all in tests/data/wfhost-runs.txt); and the usage errors of
// every command.
#include "e2esupport.h"
#include "testdata.h"
#include "paramname.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
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
    compile(example("purchase-order/purchase-order.json"), "po");
    compile(example("inventory/inventory.json"), "inventory");
    compile(testData("typed/given.xsd"), "given");
  }
  void TearDown() override {
    for (const char* name : {"po", "inventory", "given"}) std::remove(path(name).c_str());
  }

private:
  static void compile(const std::string& source, const std::string& name) {
    const CommandResult result = runWfhost({"compile", source, "-o", path(name)});
    ASSERT_EQ(result.status, 0) << result.err;
  }
};

const ::testing::Environment* const kDictionaries = ::testing::AddGlobalTestEnvironment(new ExampleDictionaries);

// The arguments of a command line of a case file, dict:NAME made the path of
// that example dictionary.
std::vector<std::string> argumentsOf(const std::string& line) {
  std::vector<std::string> args = commandWords(line);
  for (std::string& arg : args)
    if (arg.rfind("dict:", 0) == 0) arg = ExampleDictionaries::path(arg.substr(5));
  return args;
}

// tests/data/wfhost-runs.txt: command lines and the reviewed output, or the
// one-line error, they give.
class WfhostRun : public ::testing::TestWithParam<DataCase> {};

TEST_P(WfhostRun, PrintsWhatWasReviewed) {
  const DataCase& c = GetParam();
  const CommandResult result = runWfhost(argumentsOf(c["args"]));
  const auto line = [](const std::string& text) {
    return (text.rfind("data/", 0) == 0 ? testData(text.substr(5)) : text) + "\n";
  };
  if (c.fields.count("output")) {
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, c.fields.count("warning") ? "wfhost: warning: " + line(c["warning"]) : "");
    EXPECT_EQ(result.out, readFileText(testData(c["output"])));
    return;
  }
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "wfhost: " + line(c["error"]));
  // stdout carries the events reported before the error, and nothing else.
  for (const auto& line : linesOf(result.out)) EXPECT_NE(line.find('('), std::string::npos) << line;
  const std::vector<std::string> args = argumentsOf(c["args"]);
  const auto output = std::find(args.begin(), args.end(), "-o");
  EXPECT_TRUE(output == args.end() || !std::filesystem::exists(output[1])) << "an output file is left behind";
}

INSTANTIATE_TEST_SUITE_P(Commands, WfhostRun, ::testing::ValuesIn(dataCases("wfhost-runs.txt")), ReadableName());

// A command a user page shows, as the page writes it, and the output the page
// shows after it: the next code block. payment.dict is the payment schema's
// dictionary, as the pages compile it before.
struct ShownRun {
  const char* name;
  const char* page;
  const char* command;
};

std::string outputShownAfter(const ShownRun& run) {
  const std::string text = readFileText(std::string(WF_SOURCE_DIR) + "/" + run.page);
  const std::size_t start = text.find(std::string(run.command) + "\n```\n\n```");
  if (start == std::string::npos) return std::string(run.page) + " no longer shows: " + run.command;
  const std::size_t shown = text.find('\n', text.find("```", text.find("```", start) + 3)) + 1;
  return text.substr(shown, text.find("```", shown) - shown);
}

class ShownOutput : public ::testing::TestWithParam<ShownRun> {};

TEST_P(ShownOutput, IsWhatTheCommandPrints) {
  const ScratchFolder scratch;
  ASSERT_EQ(runWfhost({"compile", example("payment/payment.xsd"), "-o", scratch.file("payment.dict")}).status, 0);
  std::vector<std::string> args = commandWords(GetParam().command);
  args.erase(args.begin());  // the program: build/bin/wfhost, or wfhost on the PATH
  for (std::string& arg : args)
    if (arg == "payment.dict") arg = scratch.file("payment.dict");
  const CommandResult result = runWfhost(args);
  EXPECT_EQ(result.out, outputShownAfter(GetParam())) << result.err;
}

INSTANTIATE_TEST_SUITE_P(
    Pages, ShownOutput,
    ::testing::Values(
        ShownRun{"ReadmeParse", "README.md", "build/bin/wfhost parse --dict payment.dict examples/payment/payment-1.xml"},
        ShownRun{"ReadmeConvert", "README.md",
                 "build/bin/wfhost convert --schema examples/payment/payment.xsd examples/payment/payment-1.xml"},
        ShownRun{"WfhostParse", "docs/wfhost.md", "wfhost parse --dict payment.dict examples/payment/payment-1.xml"}),
    [](const ::testing::TestParamInfo<ShownRun>& info) { return std::string(info.param.name); });

// tests/data/wfhost-usage.txt: command lines that fail before doing anything.
class WfhostUsage : public ::testing::TestWithParam<DataCase> {};

TEST_P(WfhostUsage, FailsWithAClearMessageAndPrintsNothing) {
  const CommandResult result = runWfhost(argumentsOf(GetParam()["args"]));
  EXPECT_EQ(result.status, std::stoi(GetParam()["status"]));
  EXPECT_NE(result.err.find(GetParam()["message"]), std::string::npos) << result.err;
  EXPECT_EQ(result.out, "");
}

INSTANTIATE_TEST_SUITE_P(Arguments, WfhostUsage, ::testing::ValuesIn(dataCases("wfhost-usage.txt")), ReadableName());

TEST(PluginLibrary, ExportsExactlyTheFourEntryPoints) {
  if (!haveProgram("nm")) GTEST_SKIP() << "nm is not installed";
  const CommandResult result = runCommand("nm", {"-D", "--defined-only", std::string(WF_PLUGIN_DIR) + "/libpwfxml.so"});
  ASSERT_EQ(result.status, 0) << result.err;
  std::set<std::string> names;
  for (const auto& line : linesOf(result.out)) names.insert(line.substr(line.rfind(' ') + 1));
  EXPECT_EQ(names, (std::set<std::string>{"GetFactory", "GetFormat", "GetLevel", "GetNumFormats"}));
}

}  // namespace
