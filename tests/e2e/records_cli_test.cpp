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
const char kParty[] = R"(<party><name>Ann</name></party>)";
const char kPartyLine[] = R"({"order":{"@id":"o-1","party":[{"name":"Ann"}]}})";

// The members an order needs after its parties.
const char kOrderRest[] = R"(<key>k</key><codes>1</codes><size>1</size><total>1</total><big>1</big><ratio>1</ratio>)"
                          R"(<limit>1</limit><urgent>true</urgent><when>2026-12-05T10:15:00</when><wait>P1D</wait>)"
                          R"(<blob/><note/><remark/><name>n</name><o:name xmlns:o="urn:test:other">o</o:name></order>)";

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
  // 30,000 parties (0.9 MB) on one line cross several of stdin's pieces; the
  // fault after them has the column that the file's parse names.
  const std::string piped = writeOrder(scratch, "piped.xml", 30000, "<party><name>x</nam>");
  const CommandResult fromFile = runWfhost({"convert", "--schema", kTypedSchema, "--records", "party", piped});
  EXPECT_EQ(linesOf(fromFile.out), std::vector<std::string>(30000, kPartyLine));
  const CommandResult fromStdin = runWfhostOnStdin(piped, {"convert", "--schema", kTypedSchema, "--records", "party", "-"});
  EXPECT_EQ(fromStdin.out, fromFile.out);
  std::string named = linesOf(fromFile.err).back();  // after the schema's warnings
  ASSERT_EQ(named.rfind("wfhost: " + piped + ":1:930056:", 0), 0u) << named;
  EXPECT_EQ(linesOf(fromStdin.err).back(), named.replace(8, piped.size(), "<stdin>"));
  // A pipe named as a file (/dev/stdin, <(zcat statement.xml.gz)) is read as a stream too: mapped, its size
  // of 0 made it an empty document.
  const CommandResult fromPipe = runCommand(
      "sh", {"-c", "cat \"$1\" | exec \"$0\" convert --schema \"$2\" --records party /dev/stdin", WF_WFHOST, piped,
             kTypedSchema});
  EXPECT_EQ(fromPipe.out, fromFile.out);
  EXPECT_EQ(linesOf(fromPipe.err).back().rfind("wfhost: /dev/stdin:1:930056:", 0), 0u) << fromPipe.err;
  // A mistyped name finds nothing, and says so.
  const CommandResult none = runWfhost({"convert", "--schema", kTypedSchema, "--records", "partie", kTypedSchema});
  EXPECT_EQ(none.status, 0);
  EXPECT_EQ(linesOf(none.err).back(), "wfhost: " + std::string(kTypedSchema) + ": no record: no element matches 'partie'");
}

TEST(RecordsCli, PeakSizeDoesNotGrowWithTheRecords) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "a sanitizer's own memory hides the program's peak";
#endif
  const ScratchFolder scratch;
  // 0.2 MB and 2 MB: the whole document's tree would add some 40 MB. Valid,
  // and validated as it is read, or not.
  for (const bool validate : {false, true}) {
    long peaks[2] = {};
    for (const int large : {0, 1}) {
      const std::string path = writeOrder(scratch, "order.xml", large ? 50000 : 5000, kOrderRest);
      peaks[large] = peakResidentKiB({"convert", validate ? "--validate" : "--quiet", "--schema", kTypedSchema,
                                      "--records", "party", path});
      ASSERT_GT(peaks[large], 0) << validate;
    }
    EXPECT_LT(peaks[1] - peaks[0], 4 * 1024) << peaks[0] << " KiB, then " << peaks[1] << " KiB; validated: " << validate;
  }
}

}  // namespace
