// wfhost convert: one file each way, a batch with bad inputs that still
// converts the rest, and a parallel batch that writes the same files as a
// serial one; outputs that are complete or absent on a full device, after a
// kill, on a failing rerun and for -o FILE.
#include "e2esupport.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {


TEST(ConvertCli, XmlToJsonAndBackInAnotherCodePageThroughStdin) {
  const CommandResult json = runWfhost({"convert", "--schema", kPaymentSchema, kPayment});
  ASSERT_EQ(json.status, 0) << json.err;
  EXPECT_EQ(json.out.substr(0, 43), R"({"Payment":{"Id":"PAY-2026-0042","Date":"20)");
  const ScratchFolder scratch;
  // A dictionary names no folder of the machine it was compiled on, and checks what is written without the schema.
  const std::string dict = (scratch.path() / "payment.dict").string();
  ASSERT_EQ(runWfhost({"compile", kPaymentSchema, "-o", dict}).status, 0);
  std::string folder;
  for (const char c : fs::path(kPaymentSchema).parent_path().string()) folder += {c, '\0'};  // as UTF-16 there
  EXPECT_EQ(readFileText(dict).find(folder), std::string::npos);
  const CommandResult ebcdic =
      runWfhostOnStdin(scratch.write("payment.json", json.out), {"convert", "--dict", dict, "--encoding", "ibm-500", "-"});
  ASSERT_EQ(ebcdic.status, 0) << ebcdic.err;
  EXPECT_EQ(ebcdic.out.substr(0, 2), "\x4c\x6f");  // "<?" in code page 500
  const CommandResult again =
      runWfhostOnStdin(scratch.write("payment-500.xml", ebcdic.out), {"convert", "--schema", kPaymentSchema, "-"});
  EXPECT_EQ(again.out, json.out);
  // The direction follows the content, and an output named for the other format is said to be so.
  const CommandResult named = runWfhost({"convert", "--dict", dict, kPayment, "-o", scratch.file("payment.XML")});
  EXPECT_EQ(named.status, 0);
  EXPECT_EQ(named.err, "wfhost: warning: -o " + scratch.file("payment.XML") +
                           " gets JSON: the input holds XML, and convert turns each format into the other\n");
}

TEST(ConvertCli, ABatchReportsEachBadFileWithItsPlaceAndConvertsTheOthers) {
  const ScratchFolder scratch;
  const std::string good = scratch.write("good.xml", readFileText(kPayment));
  const std::string malformed = scratch.write("malformed.xml", R"(<Payment xmlns="urn:example:payment"><Id>1</Payment>)");
  const std::string misfit = scratch.write("misfit.json", R"({"Payment":{"Id":"P","Fax":"1"}})");
  const std::string incomplete = scratch.write("incomplete.json", R"({"Payment":{"Id":"P","Amount":{"$":1}}})");
  const std::string missing = scratch.file("missing.xml");
  const std::string out = scratch.file("out");
  fs::create_directory(out);
  scratch.write("out/malformed.json", "{}");  // an earlier run's output, which must not stand for this one
  const CommandResult result = runWfhost({"convert", "--schema", kPaymentSchema, "--out-dir", out, "--report", "-",
                                         "-j", "2", malformed, good, misfit, incomplete, missing});
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_EQ(linesOf(result.out).size(), 5u);  // the report, not a file named '-'
  EXPECT_FALSE(fs::exists("-"));
  EXPECT_TRUE(fs::exists(out + "/good.json"));
  EXPECT_FALSE(fs::exists(out + "/malformed.json"));
  EXPECT_FALSE(fs::exists(out + "/misfit.xml"));
  const std::vector<std::string> lines = linesOf(result.err);
  const auto lineOf = [&](const std::string& file) {
    const auto found = std::find_if(lines.begin(), lines.end(),
                                    [&](const std::string& line) { return line.rfind(file + ":", 0) == 0; });
    return found == lines.end() ? std::string() : *found;
  };
  for (const auto& [text, part] : std::vector<std::pair<std::string, std::string>>{
           {lineOf(malformed), "CP_XML_XERCES_PARSER_EXCEPTION"},
           {lineOf(malformed), "(its old output " + out + "/malformed.json removed)"},
           {lineOf(misfit), "$.Payment.Fax"}, {lineOf(incomplete), "required, but missing"},
           {lineOf(missing), "CP_IO_ERROR"}, {result.err, "converted 1 of 5 files"}, {result.err, ", 4 failed"}})
    EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << result.err;
  EXPECT_EQ(runWfhost({"convert", "--schema", kPaymentSchema, "--no-check", incomplete}).status, 0);
}

// a.xml and a.json converted into their own folder would write each over the other (and a failing
// a.xml would remove a.json as its old output); XML in a file named .json would replace itself.
TEST(ConvertCli, AnInputThatAnOutputWouldReplaceFailsAndEveryInputStaysAsItWas) {
  const ScratchFolder scratch;
  const std::string malformed = R"(<Payment xmlns="urn:example:payment"><Id>1</Payment>)";
  const std::string json = R"({"Payment":{"Id":"P"}})";
  const std::string xml = readFileText(kPayment);
  const std::vector<std::string> inputs = {scratch.write("a.xml", malformed), scratch.write("a.json", json),
                                           scratch.write("x.json", xml), scratch.write("c.xml", xml)};
  const CommandResult result =
      runWfhost({"convert", "--schema", kPaymentSchema, "--out-dir", scratch.path().string(), inputs[0], inputs[1],
                 inputs[2], inputs[3]});
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_EQ(readFileText(inputs[0]), malformed);
  EXPECT_EQ(readFileText(inputs[1]), json);
  EXPECT_EQ(readFileText(inputs[2]), xml);
  EXPECT_TRUE(fs::exists(scratch.file("c.json")));
  for (const std::string& input : {inputs[0], inputs[1], inputs[2]})
    EXPECT_NE(result.err.find(input + ": its output "), std::string::npos) << input << "\n" << result.err;
  EXPECT_NE(result.err.find("converted 1 of 4 files"), std::string::npos) << result.err;
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
  // A sanitized wfhost converts some twenty times slower, and the corpus
  // tests already take every document through the sanitized parse: there
  // every 10th document does for comparing one thread with two.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  constexpr std::size_t kEveryNth = 10;
#else
  constexpr std::size_t kEveryNth = 1;
#endif
  std::vector<std::string> inputs;
  const std::vector<std::string> all = filesBelow(corpus / "examples", ".xml");
  for (std::size_t i = 0; i < all.size(); i += kEveryNth) inputs.push_back(all[i]);
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

// The names in folder, dot files (temporaries) included, sorted.
std::vector<std::string> namesIn(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code absent;
  for (const auto& entry : fs::directory_iterator(folder, absent)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Copies of the payment message, p0.xml ..., changed an hour ago (so that
// any output written now is newer).
std::vector<std::string> paymentCopies(const ScratchFolder& scratch, int count) {
  fs::create_directory(scratch.file("in"));
  std::vector<std::string> inputs;
  for (int i = 0; i < count; ++i) {
    inputs.push_back(scratch.file("in/p" + std::to_string(i) + ".xml"));
    fs::copy_file(kPayment, inputs.back());
    fs::last_write_time(inputs.back(), fs::file_time_type::clock::now() - std::chrono::hours(1));
  }
  return inputs;
}

// Every file under its final name in folder holds the complete output.
void expectOnlyCompleteOutputs(const std::string& folder, const std::string& expected) {
  for (const std::string& name : namesIn(folder))
    if (name.front() != '.') {
      EXPECT_EQ(readFileText(folder + "/" + name), expected) << name;
    }
}

std::vector<std::string> batchArgs(const std::string& outDir, const std::vector<std::string>& inputs) {
  std::vector<std::string> args = {"convert", "--schema", kPaymentSchema, "--quiet", "--out-dir", outDir};
  args.insert(args.end(), inputs.begin(), inputs.end());
  return args;
}

TEST(ConvertFaults, WriteErrorsFailTheirFilesAndLeaveNoPartialOutput) {
  const std::string expected = runWfhost({"convert", "--schema", kPaymentSchema, kPayment}).out;
  // To a full device, whole or record by record, a tree printed, a dictionary dumped (through C's stdio)
  // or the usage: the error names stdout.
  for (const char* command : {"convert --schema \"$1\" \"$2\"", "convert --schema \"$1\" --records Payment \"$2\"",
                              "parse \"$2\"", "dump --schema \"$1\"", "--help"}) {
    const CommandResult full = runCommand(
        "sh", {"-c", std::string("exec \"$0\" ") + command + " >/dev/full", WF_WFHOST, kPaymentSchema, kPayment});
    EXPECT_EQ(full.status, 1) << command;
    EXPECT_NE(full.err.find("stdout: No space left on device"), std::string::npos) << command << ": " << full.err;
  }
  // An out-dir that is a file: one error, nothing converted.
  const ScratchFolder scratch;
  const std::string notFolder = scratch.write("file", "");
  const CommandResult file = runWfhost(batchArgs(notFolder, {kPayment, kPayment}));
  EXPECT_EQ(file.status, 1);
  EXPECT_EQ(linesOf(file.err), std::vector<std::string>{"wfhost convert: --out-dir " + notFolder + ": Not a directory"});
  // A report that is a folder: the same.
  std::vector<std::string> reportArgs = batchArgs(scratch.file("out"), {kPayment});
  reportArgs.insert(reportArgs.begin() + 1, {"--report", scratch.path().string()});
  const CommandResult report = runWfhost(reportArgs);
  EXPECT_EQ(report.status, 1);
  EXPECT_EQ(linesOf(report.err),
            std::vector<std::string>{"wfhost: " + scratch.path().string() + ": Is a directory (CP_IO_ERROR)"});
  EXPECT_EQ(namesIn(scratch.file("out")), std::vector<std::string>{});
  // A report that names an output of the run, which it would replace: refused before anything is written.
  reportArgs[2] = scratch.file("out/payment-1.json");
  const CommandResult overOutput = runWfhost(reportArgs);
  EXPECT_EQ(overOutput.status, 2);
  EXPECT_NE(overOutput.err.find("is an input or output of the run"), std::string::npos) << overOutput.err;
  EXPECT_EQ(namesIn(scratch.file("out")), std::vector<std::string>{});
  // A batch that fills a small tmpfs.
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
  const std::string small = scratch.file("small");
  fs::create_directory(small);
  if (runCommand("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", small}).status != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here";
  const CommandResult batch = runWfhost(batchArgs(small, paymentCopies(scratch, 40)));
  const std::size_t outputs = namesIn(small).size();
  expectOnlyCompleteOutputs(small, expected);
  runCommand("umount", {small});
  EXPECT_EQ(batch.status, 1);
  EXPECT_GT(outputs, 0u);
  EXPECT_NE(batch.err.find("converted " + std::to_string(outputs) + " of 40 files"), std::string::npos) << batch.err;
  EXPECT_NE(batch.err.find("No space left on device"), std::string::npos) << batch.err;
}

// "> FILE" empties FILE before the conversion starts; -o FILE is replaced only by a complete output, whole or
// record by record (where the records before the fault would have been written).
TEST(ConvertFaults, AFailingConversionLeavesTheOutputFileAsItWas) {
  const ScratchFolder scratch;
  const std::string xml = readFileText(kPayment);
  const std::string truncated = scratch.write("truncated.xml", xml.substr(0, xml.rfind("</")));
  const std::string output = scratch.file("out.json");
  for (const std::vector<std::string>& records : {std::vector<std::string>{}, {"--records", "Id"}}) {
    scratch.write("out.json", "earlier\n");
    scratch.write(".out.json.2147483646-0.wfhost-tmp", "of a killed run\n");  // removed: no such process
    std::vector<std::string> args = {"convert", "--schema", kPaymentSchema, "-o", output, truncated};
    args.insert(args.end(), records.begin(), records.end());
    const CommandResult failed = runWfhost(args);
    EXPECT_EQ(failed.status, 1) << failed.err;
    EXPECT_EQ(readFileText(output), "earlier\n");
    EXPECT_EQ(namesIn(scratch.path().string()), (std::vector<std::string>{"out.json", "truncated.xml"}));
    args[5] = kPayment;
    ASSERT_EQ(runWfhost(args).status, 0);
    args[4] = "-";
    EXPECT_EQ(readFileText(output), runWfhost(args).out);
  }
}

// Every command's -o removes the temporaries that a killed run left for it, not those of other files.
TEST(ConvertFaults, AnOutputRemovesTheTemporariesAKilledRunLeftForIt) {
  const ScratchFolder scratch;
  const std::string tree = scratch.write("tree.json", runWfhost({"parse", "--json", kPayment}).out);
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"compile", kPaymentSchema}, {"write", tree}, {"roundtrip", kPayment}}) {
    const std::string abandoned = ".out.2147483646-0.wfhost-tmp";  // of no such process
    scratch.write(abandoned, "of a killed run\n");
    scratch.write(".other.2147483646-0.wfhost-tmp", "another file's\n");
    std::vector<std::string> args = command;
    args.insert(args.end(), {"-o", scratch.file("out")});
    ASSERT_EQ(runWfhost(args).status, 0) << command[0];
    EXPECT_EQ(namesIn(scratch.path().string()),
              (std::vector<std::string>{".other.2147483646-0.wfhost-tmp", "out", "tree.json"})) << command[0];
  }
}

// -o through a symbolic link replaces the file the link names, as "> LINK" writes it, and keeps the link
// (relative links too, and one to a file not there yet); a link to a folder fails as the folder does.
TEST(ConvertFaults, AnOutputThroughASymbolicLinkReplacesTheFileItNames) {
  const ScratchFolder scratch;
  fs::create_directory(scratch.file("data"));
  scratch.write("data/out.json", "earlier\n");
  fs::create_symlink("data/out.json", scratch.file("link.json"));
  fs::create_symlink("data/new.json", scratch.file("dangling.json"));
  fs::create_directory_symlink("data", scratch.file("folder"));
  const std::string expected = runWfhost({"convert", "--schema", kPaymentSchema, kPayment}).out;
  fs::permissions(scratch.file("data/out.json"), fs::perms::owner_read | fs::perms::owner_write);
  for (const char* link : {"link.json", "dangling.json"}) {
    ASSERT_EQ(runWfhost({"convert", "--schema", kPaymentSchema, kPayment, "-o", scratch.file(link)}).status, 0);
    EXPECT_TRUE(fs::is_symlink(scratch.file(link))) << link;
    EXPECT_EQ(readFileText(scratch.file(link)), expected) << link;
  }
  // The file replaced keeps its permissions (a private file stays private), as "> LINK" keeps them.
  EXPECT_EQ(fs::status(scratch.file("data/out.json")).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  const CommandResult folder = runWfhost({"convert", "--schema", kPaymentSchema, kPayment, "-o", scratch.file("folder")});
  EXPECT_EQ(folder.status, 1);
  EXPECT_NE(folder.err.find(scratch.file("folder") + ": Is a directory"), std::string::npos) << folder.err;
  EXPECT_TRUE(fs::is_symlink(scratch.file("folder")));
  EXPECT_EQ(namesIn(scratch.file("data")), (std::vector<std::string>{"new.json", "out.json"}));
}

// An input changed after it was read, before its output was written (as a copy into the folder that
// ends while the batch runs), is older than that output's time of writing: --resume converts it again.
// A device or a pipe named by -o is written as it is, as "> FILE" writes it: a file renamed over
// /dev/null would replace the device (as root), one over a FIFO would leave its reader waiting.
TEST(ConvertFaults, AnOutputThatIsADeviceOrAPipeIsWrittenNotReplaced) {
  const std::string expected = runWfhost({"convert", "--schema", kPaymentSchema, kPayment}).out;
  const CommandResult toStdout = runWfhost({"convert", "--schema", kPaymentSchema, kPayment, "-o", "/dev/stdout"});
  EXPECT_EQ(toStdout.status, 0) << toStdout.err;
  EXPECT_EQ(toStdout.out, expected);
  if (geteuid() != 0) GTEST_SKIP() << "making a device node needs root";
  const ScratchFolder scratch;
  const std::string null = scratch.file("null");
  ASSERT_EQ(::mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
  for (const std::vector<std::string>& args : {std::vector<std::string>{"convert", "--schema", kPaymentSchema, kPayment},
                                                 {"compile", kPaymentSchema}}) {
    std::vector<std::string> toNull = args;
    toNull.insert(toNull.end(), {"-o", null});
    const CommandResult result = runWfhost(toNull);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(fs::is_character_file(null)) << args[0];
  }
  EXPECT_EQ(namesIn(scratch.path().string()), std::vector<std::string>{"null"});
}

TEST(ConvertFaults, AnInputChangedWhileItWasConvertedIsConvertedAgainOnResume) {
  const ScratchFolder scratch;
  const std::vector<std::string> inputs = paymentCopies(scratch, 2);
  std::vector<std::string> args = batchArgs(scratch.file("out"), inputs);
  ASSERT_EQ(runWfhost(args).status, 0);
  const std::string changed = readFileText(kPayment).replace(readFileText(kPayment).find("PAY-2026-0042"), 13, "PAY-CHANGED");
  scratch.write("in/p0.xml", changed);
  fs::last_write_time(inputs[0], fs::file_time_type::clock::now() - std::chrono::seconds(1));
  args.insert(args.begin() + 1, {"--resume", "--report", scratch.file("report.jsonl")});
  ASSERT_EQ(runWfhost(args).status, 0);
  const std::vector<std::string> report = linesOf(readFileText(scratch.file("report.jsonl")));
  ASSERT_EQ(report.size(), 2u);
  EXPECT_NE(report[0].find(R"("status":"converted")"), std::string::npos) << report[0];
  EXPECT_NE(report[1].find(R"("status":"skipped")"), std::string::npos) << report[1];
  EXPECT_NE(readFileText(scratch.file("out/p0.json")).find("PAY-CHANGED"), std::string::npos);
}

// A resume over other inputs may give an output's name to another input (b/x.xml's output is x.json
// once a/x.xml is no longer given): that input is converted, not taken as up to date.
TEST(ConvertFaults, AResumeConvertsAnInputWhoseOutputNameAnotherInputsOutputHolds) {
  const ScratchFolder scratch;
  const std::string xml = readFileText(kPayment);
  fs::create_directories(scratch.file("a"));
  fs::create_directories(scratch.file("b"));
  const std::string a = scratch.write("a/x.xml", xml);
  const std::string b = scratch.write("b/x.xml", std::string(xml).replace(xml.find("PAY-2026-0042"), 13, "PAY-OF-B"));
  if (::setxattr(a.c_str(), "user.probe", "1", 1, 0) != 0) GTEST_SKIP() << "the file system keeps no user attributes";
  fs::last_write_time(b, fs::file_time_type::clock::now() - std::chrono::hours(1));
  ASSERT_EQ(runWfhost(batchArgs(scratch.file("out"), {a, b})).status, 0);
  ASSERT_EQ(runWfhost(batchArgs(scratch.file("out"), {"--resume", b})).status, 0);
  EXPECT_NE(readFileText(scratch.file("out/x.json")).find("PAY-OF-B"), std::string::npos);
}

TEST(ConvertFaults, ABatchKilledAtAnyPointResumesToTheEnd) {
  const ScratchFolder scratch;
  const std::string expected = runWfhost({"convert", "--schema", kPaymentSchema, kPayment}).out;
  constexpr int kFiles = 600;
  const std::vector<std::string> inputs = paymentCopies(scratch, kFiles);
  const std::string out = scratch.file("out");
  std::vector<std::string> args = batchArgs(out, inputs);
  // A kill leaves the page cache whole: --no-sync keeps every output complete.
  args.insert(args.begin() + 1, {"--resume", "--no-sync", "-j", "2"});
  for (const std::size_t killAt : {1, kFiles / 3, 2 * kFiles / 3}) {
    const pid_t pid = startCommand(WF_WFHOST, args, "/dev/null", "/dev/null");
    ASSERT_GT(pid, 0);
    while (waitpid(pid, nullptr, WNOHANG) == 0) {
      if (namesIn(out).size() >= killAt) kill(pid, SIGKILL);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    expectOnlyCompleteOutputs(out, expected);
  }
  args.insert(args.begin() + 1, {"--report", scratch.file("report.jsonl")});
  const CommandResult last = runWfhost(args);
  ASSERT_EQ(last.status, 0) << last.err;
  EXPECT_EQ(namesIn(out).size(), static_cast<std::size_t>(kFiles));  // no temporaries left
  expectOnlyCompleteOutputs(out, expected);
  const std::vector<std::string> report = linesOf(readFileText(scratch.file("report.jsonl")));
  ASSERT_EQ(report.size(), static_cast<std::size_t>(kFiles));
  EXPECT_EQ(report.front(), R"({"file":")" + inputs.front() + R"(","output":")" + out + R"(/p0.json","status":"skipped"})");
}

}  // namespace
