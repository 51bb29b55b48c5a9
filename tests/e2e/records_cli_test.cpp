// wfhost convert --records: JSON Lines from a generated file, and a peak
// resident size that does not grow with the number of records.
#include "e2esupport.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

const std::string kTypedSchema = testData("typed/typed.xsd");
const char kParty[] = R"(<party id="p1"><name>Ann</name></party>)";
const char kPartyLine[] = R"({"order":{"@id":"o-1","party":[{"@id":"p1","name":"Ann"}]}})";

std::string writeOrder(const ScratchFolder& scratch, const std::string& name, std::size_t parties,
                       const std::string& end = "</order>") {
  const std::string path = (scratch.path() / name).string();
  std::ofstream out(path, std::ios::binary);
  out << R"(<order xmlns="urn:test:typed" id="o-1">)";
  for (std::size_t i = 0; i < parties; ++i) out << kParty;
  out << end;
  return path;
}

// The peak resident size in KiB of wfhost with args, its output and errors dropped.
long peakResidentKiB(const std::vector<std::string>& args) {
  const pid_t pid = startCommand(WF_WFHOST, args, "/dev/null", "/dev/null");
  int status = 0;
  rusage usage{};
  if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return usage.ru_maxrss;
}

TEST(RecordsCli, OneTypedLinePerRecord) {
  const ScratchFolder scratch;
  // 30,000 parties (1.2 MB) on one line cross several of stdin's pieces; the
  // fault after them has the column that the file's parse names.
  const std::string piped = writeOrder(scratch, "piped.xml", 30000, "<party><name>x</nam>");
  const CommandResult fromFile = runWfhost({"convert", "--schema", kTypedSchema, "--records", "party", piped});
  EXPECT_EQ(linesOf(fromFile.out), std::vector<std::string>(30000, kPartyLine));
  const CommandResult fromStdin = runWfhostOnStdin(piped, {"convert", "--schema", kTypedSchema, "--records", "party", "-"});
  EXPECT_EQ(fromStdin.out, fromFile.out);
  std::string named = linesOf(fromFile.err).back();  // after the schema's warnings
  ASSERT_EQ(named.rfind("wfhost: " + piped + ":1:1170056:", 0), 0u) << named;
  EXPECT_EQ(linesOf(fromStdin.err).back(), named.replace(8, piped.size(), "<stdin>"));
}

TEST(RecordsCli, PeakSizeDoesNotGrowWithTheRecords) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "a sanitizer's own memory hides the program's peak";
#endif
  const ScratchFolder scratch;
  // 0.2 MB and 2 MB: the whole document's tree would add some 40 MB.
  const std::string small = writeOrder(scratch, "small.xml", 5000);
  const std::string large = writeOrder(scratch, "large.xml", 50000);
  const long smallPeak = peakResidentKiB({"convert", "--schema", kTypedSchema, "--records", "party", small});
  const long largePeak = peakResidentKiB({"convert", "--schema", kTypedSchema, "--records", "party", large});
  ASSERT_GT(smallPeak, 0);
  ASSERT_GT(largePeak, 0);
  EXPECT_LT(largePeak - smallPeak, 4 * 1024) << smallPeak << " KiB, then " << largePeak << " KiB";
}

}  // namespace
