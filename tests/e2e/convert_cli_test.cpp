// wfhost convert: one file each way, a batch with bad inputs that still
// converts the rest, and a parallel batch that writes the same files as a
// serial one.
#include "e2esupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string kPaymentSchema = std::string(WF_EXAMPLES_DIR) + "/payment/payment.xsd";
const std::string kPayment = std::string(WF_EXAMPLES_DIR) + "/payment/payment-1.xml";

TEST(ConvertCli, XmlToJsonAndBackInAnotherCodePage) {
  const CommandResult json = runWfhost({"convert", "--schema", kPaymentSchema, kPayment});
  ASSERT_EQ(json.status, 0) << json.err;
  EXPECT_EQ(json.out.substr(0, 43), R"({"Payment":{"Id":"PAY-2026-0042","Date":"20)");
  const ScratchFolder scratch;
  const std::string input = scratch.write("payment.json", json.out);
  const CommandResult ebcdic = runWfhost({"convert", "--schema", kPaymentSchema, "--encoding", "ibm-500", input});
  ASSERT_EQ(ebcdic.status, 0) << ebcdic.err;
  EXPECT_EQ(ebcdic.out.substr(0, 2), "\x4c\x6f");  // "<?" in code page 500
  const std::string xml = scratch.write("payment-500.xml", ebcdic.out);
  const CommandResult again = runWfhost({"convert", "--schema", kPaymentSchema, xml});
  EXPECT_EQ(again.out, json.out);
}

TEST(ConvertCli, ABatchReportsEachBadFileWithItsPlaceAndConvertsTheOthers) {
  const ScratchFolder scratch;
  const std::string good = scratch.write("good.xml", readFileText(kPayment));
  const std::string malformed = scratch.write("malformed.xml", R"(<Payment xmlns="urn:example:payment"><Id>1</Payment>)");
  const std::string misfit = scratch.write("misfit.json", R"({"Payment":{"Id":"P","Fax":"1"}})");
  const std::string missing = scratch.file("missing.xml");
  const std::string out = scratch.file("out");
  const CommandResult result =
      runWfhost({"convert", "--schema", kPaymentSchema, "--out-dir", out, "-j", "2", malformed, good, misfit, missing});
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_TRUE(fs::exists(out + "/good.json"));
  EXPECT_FALSE(fs::exists(out + "/malformed.json"));
  EXPECT_FALSE(fs::exists(out + "/misfit.xml"));
  const std::vector<std::string> lines = linesOf(result.err);
  const auto lineOf = [&](const std::string& file) {
    const auto found = std::find_if(lines.begin(), lines.end(),
                                    [&](const std::string& line) { return line.rfind(file + ": ", 0) == 0; });
    return found == lines.end() ? std::string() : *found;
  };
  EXPECT_NE(lineOf(malformed).find("CP_XML_XERCES_PARSER_EXCEPTION"), std::string::npos) << result.err;
  EXPECT_NE(lineOf(misfit).find("$.Payment.Fax"), std::string::npos) << result.err;
  EXPECT_NE(lineOf(missing).find("CP_IO_ERROR"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("converted 1 of 4 files"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("3 failed"), std::string::npos) << result.err;
}

std::vector<std::string> filesBelow(const fs::path& folder, const std::string& extension) {
  std::vector<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.path().extension() == extension) files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

TEST(ConvertCli, TwoThreadsWriteTheSameFilesAsOne) {
  const fs::path corpus = fs::path(WF_CORPORA_DIR) / "fpml-5.11-confirmation";
  if (!fs::exists(corpus / "examples")) GTEST_SKIP() << "corpus not present: " << corpus;
  const ScratchFolder scratch;
  const std::vector<std::string> inputs = filesBelow(corpus / "examples", ".xml");
  std::vector<std::string> args = {"convert", "--dict", scratch.file("fpml.dict"), "--quiet", "--out-dir"};
  const CommandResult compiled =
      runWfhost({"compile", (corpus / "schemas" / "fpml-main-5-11.xsd").string(), "-o", scratch.file("fpml.dict")});
  ASSERT_EQ(compiled.status, 0) << compiled.err;
  for (const char* threads : {"1", "2"}) {
    std::vector<std::string> run = args;
    run.push_back(scratch.file(std::string("j") + threads));
    run.insert(run.end(), {"-j", threads});
    run.insert(run.end(), inputs.begin(), inputs.end());
    const CommandResult result = runWfhost(run);
    ASSERT_EQ(result.status, 0) << result.err;
  }
  const std::vector<std::string> serial = filesBelow(scratch.file("j1"), ".json");
  ASSERT_EQ(serial.size(), inputs.size());
  for (const std::string& file : serial) {
    const std::string twin = scratch.file("j2/" + fs::path(file).filename().string());
    EXPECT_TRUE(readFileText(file) == readFileText(twin)) << file;
  }
}

}  // namespace
