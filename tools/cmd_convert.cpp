// wfhost convert: XML to typed JSON and back, one file or a whole batch on
// several threads over one loaded message set.
#include "messagesetsupport.h"
#include "toolsupport.h"

#include "wfxml/wfxml.h"
#include "zelexception.h"
#include "zellog.h"

#include <nlohmann/json.hpp>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr unsigned kSharedGroups = SharedOption::kMessageSet | SharedOption::kEncoding | SharedOption::kInputEncoding |
                                   SharedOption::kIndent | SharedOption::kValidate | SharedOption::kThreads |
                                   SharedOption::kProperties;

const std::string kHelp = std::string(
    "usage: wfhost convert (--dict D.dict | --schema A.xsd ...) [OPTIONS] FILE [-o OUT]\n"
    "       wfhost convert (--dict D.dict | --schema A.xsd ...) --out-dir DIR [OPTIONS] FILE...\n"
    "\n"
    "Converts XML messages to typed JSON (docs/typed-json.md) and typed JSON back\n"
    "to XML: a FILE that holds JSON (an object or array) becomes XML, any other\n"
    "becomes JSON (--to says it outright). One FILE ('-': stdin) is printed on stdout,\n"
    "or written to OUT; with --out-dir each FILE becomes DIR/NAME.json or\n"
    "DIR/NAME.xml, converted in parallel. An output file appears under its name\n"
    "only complete and on the disk. A FILE that fails leaves OUT as it was; in a\n"
    "batch it is reported with its place, its old output is removed, and the\n"
    "others are still converted; the exit status is then 1.\n"
    "\n"
    "options:\n"
    "  -o OUT               the output file of one FILE ('-': stdout, the default);\n"
    "                       not the FILE itself\n"
    "  --to json|xml        the output format, whatever the input holds\n"
    "  --no-check           write JSON as XML without refusing what the schema\n"
    "                       forbids (docs/validation.md), for speed\n"
    "  --records NAME       XML to JSON Lines: one typed JSON line per NAME element\n"
    "                       (a name, PARENT/NAME, or /MESSAGE/.../NAME), each with\n"
    "                       its ancestors and their attributes; memory holds one\n"
    "                       record, not the file (one FILE or -); --validate\n"
    "                       checks the file as it is read: a problem stops the\n"
    "                       records before the one it lies in\n"
    "  --out-dir DIR        write one file per input into DIR (created if needed)\n"
    "  --resume             with --out-dir: skip the inputs whose output is newer\n"
    "  --no-sync            with --out-dir: name each output without waiting for\n"
    "                       the disk to hold it (faster on many small files;\n"
    "                       after a power cut an output may be empty)\n"
    "  --report FILE        with --out-dir: one JSON line per input, with its\n"
    "                       file, output, status (converted, skipped, failed)\n"
    "                       and error ('-': stdout)\n"
    "  --quiet              no progress, only failures and the summary\n"
    "  --prop entityExpansionLimit=N  entity references expanded at most in an XML\n"
    "                       input, its check included (default 1000); the only\n"
    "                       message property convert takes\n") +
    sharedOptionsHelp(kSharedGroups & ~SharedOption::kProperties);

enum class Target { FromContent, Json, Xml };

struct ConvertOptions {
  SharedOptions shared{kSharedGroups};
  Target target = Target::FromContent;
  bool check = true;
  std::optional<std::string> output;  // -o
  std::string outDir;
  std::string records;
  bool resume = false;
  bool sync = true;
  std::string report;
  bool quiet = false;
  std::vector<std::string> inputs;
};

ConvertOptions readOptions(ArgumentList& args) {
  ConvertOptions options;
  readInputCommandOptions(args, "convert", options.shared, options.inputs, [&](const std::string& arg, ArgumentList& args) {
    if (arg == "--to") {
      const std::string target = args.takeValue(arg);
      if (target != "json" && target != "xml") throw UsageError("--to needs json or xml, not '" + target + "'");
      options.target = target == "json" ? Target::Json : Target::Xml;
    } else if (arg == "--no-check") {
      options.check = false;
    } else if (arg == "--records") {
      options.records = args.takeValue(arg);
      if (options.records.empty()) throw UsageError("--records needs an element name or path");
      if (args.empty() && options.inputs.empty())
        throw UsageError("--records needs an element NAME, then FILE: '" + options.records +
                         "' was taken for the NAME, and no FILE is left");
    } else if (arg == "-o") {
      options.output = args.takeValue(arg);
    } else if (arg == "--out-dir") {
      options.outDir = args.takeValue(arg);
    } else if (arg == "--resume") {
      options.resume = true;
    } else if (arg == "--no-sync") {
      options.sync = false;
    } else if (arg == "--report") {
      options.report = args.takeValue(arg);
    } else if (arg == "--quiet") {
      options.quiet = true;
    } else {
      return false;
    }
    return true;
  });
  // The documents are read with ParseOptions and written with WriteOptions, which carry of the
  // message properties the entity expansion limit alone: the code pages have options of their
  // own, and the rest (a subtree, a DOCTYPE, a memory pool) are parse's and write's.
  for (const auto& [name, value] : options.shared.properties.properties())
    if (name != ZelWstring(MI_ENTITYEXPANSIONLIMIT_STR))
      throw UsageError("--prop " + name.toUtf8() + ": convert takes entityExpansionLimit alone (the code pages "
                       "are --input-encoding and --encoding)");
  // --records first: the checks below would ask it for --out-dir.
  if (!options.records.empty() &&
      (options.inputs.size() > 1 || !options.outDir.empty() || options.resume || !options.report.empty() ||
       !options.sync || options.target == Target::Xml || options.shared.indent))
    throw UsageError(
        "--records takes one FILE (or - for stdin) to JSON, without --out-dir (or its --resume, --report, "
        "--no-sync), --to xml or --indent");
  if (options.output) {
    if (!options.outDir.empty()) throw UsageError("-o names the output of one FILE: give either -o or --out-dir");
    if (options.inputs.size() > 1) throw UsageError("-o takes one FILE; several FILEs need --out-dir");
  }
  if (options.outDir.empty() && options.inputs.size() > 1) throw UsageError("several FILEs need --out-dir");
  if (options.outDir.empty() && (options.resume || !options.report.empty() || !options.sync))
    throw UsageError("--resume, --report and --no-sync need --out-dir");
  // A batch names each output by its input's content before converting it.
  if (!options.outDir.empty() && options.target == Target::FromContent)
    for (const std::string& input : options.inputs)
      if (isDeviceOrPipe(input))
        throw UsageError(input + " is read as it comes (a pipe), so its content cannot be looked at first: give "
                                 "--to json or --to xml");
  return options;
}

// The first character of the bytes that is not a blank, after a byte-order
// mark; UTF-16 and UTF-32 put zero bytes beside each ASCII character. 0 for
// none.
char firstCharacterOf(const std::vector<std::uint8_t>& content) {
  using namespace std::string_view_literals;
  const std::string_view bytes(reinterpret_cast<const char*>(content.data()), content.size());
  std::size_t start = 0;
  for (const std::string_view mark : {"\xEF\xBB\xBF"sv, "\xFE\xFF"sv, "\xFF\xFE"sv, "\0\0\xFE\xFF"sv})
    if (bytes.substr(0, mark.size()) == mark) start = mark.size();
  const std::size_t first = bytes.find_first_not_of(" \t\r\n\0"sv, start);
  return first == std::string_view::npos ? '\0' : bytes[first];
}

// True when the bytes hold JSON: their first character opens an object or
// array (an XML document starts with '<', in any code page; JSON in UTF-16
// or UTF-32 is refused as such).
bool holdsJson(const std::vector<std::uint8_t>& content) {
  const char first = firstCharacterOf(content);
  return first == '{' || first == '[';
}

// --to that reads the content as the other format: more likely a mistaken
// option than a malformed input, and said so rather than refused as
// malformed (with the key the reader's refusal has).
void refuseContentOfOtherFormat(Target target, const std::vector<std::uint8_t>& content) {
  const char first = firstCharacterOf(content);
  const bool xml = first == '<';
  if (target == Target::FromContent || (target == Target::Xml ? !xml : !holdsJson(content))) return;
  ZelException e(__FILE__, __LINE__, "convert", nullptr,
                 xml ? ZelMessages::CP_JSON_MISMATCH : ZelMessages::CP_XML_XERCES_PARSER_EXCEPTION);
  e.setSummary(std::string("the input looks like ") + (xml ? "XML" : "JSON") + " (it starts with '" + first +
               "'), but --to " + (xml ? "xml reads typed JSON" : "json reads XML") +
               ": without --to, convert turns " + (xml ? "XML into JSON" : "JSON into XML"));
  throw e;
}

// The first bytes of a file, enough to tell JSON from XML; empty when it
// cannot be read (the conversion reports that).
std::vector<std::uint8_t> headOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::uint8_t> head(256);
  in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
  return head;
}

bool toXml(Target target, const std::vector<std::uint8_t>& content) {
  return target == Target::FromContent ? holdsJson(content) : target == Target::Xml;
}

// One input's conversion with a session of the thread that runs it.
class Converter {
public:
  Converter(const wfxml::MessageSet& set, const ConvertOptions& options) : session_(set), options_(options) {}

  // The converted bytes of a file's content.
  std::vector<std::uint8_t> convert(const std::vector<std::uint8_t>& content) {
    const SharedOptions& shared = options_.shared;
    refuseContentOfOtherFormat(options_.target, content);
    if (toXml(options_.target, content)) {
      const std::string_view json(reinterpret_cast<const char*>(content.data()), content.size());
      wfxml::WriteOptions write;
      if (!shared.encoding.empty()) write.encoding = shared.encoding;
      write.check = options_.check;
      write.indent = shared.indent;
      write.finalNewline = true;  // a text file's last line ends
      return session_.write(session_.fromJson(json, {options_.check}), write);
    }
    const std::string json = session_.toJson(content.data(), content.size(), parseOptionsOf(shared));
    const std::string text = (shared.indent ? indentJson(json) : json) + "\n";
    return {text.begin(), text.end()};
  }

private:
  wfxml::Session session_;
  const ConvertOptions& options_;
};

// Output names: the input's name with .json or .xml, "-2", "-3" ... added
// when inputs from several folders share a name. Fixed before the threads
// start, so any -j gives the same files.
std::vector<std::string> outputNames(const std::vector<std::string>& inputs, const ConvertOptions& options) {
  std::vector<std::string> names;
  std::set<std::string> taken;
  for (const std::string& input : inputs) {
    const std::string stem = fs::path(input).stem().string();
    // A look at a pipe's first bytes would take them from its conversion (readOptions asks for --to).
    const std::vector<std::uint8_t> head = isDeviceOrPipe(input) ? std::vector<std::uint8_t>() : headOf(input);
    const std::string extension = toXml(options.target, head) ? ".xml" : ".json";
    std::string name = stem + extension;
    for (int n = 2; !taken.insert(name).second; ++n) name = stem + "-" + std::to_string(n) + extension;
    names.push_back((fs::path(options.outDir) / name).string());
  }
  return names;
}

std::string formatDuration(double seconds) {
  const long total = static_cast<long>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
  return text;
}

// Progress of a batch: a bar redrawn in place on a terminal, a plain line
// every few seconds otherwise.
class Progress {
public:
  Progress(std::size_t files, bool terminal, bool quiet)
      : files_(files), terminal_(terminal), quiet_(quiet), start_(Clock::now()) {}

  void done(std::size_t bytes) {
    done_.fetch_add(1);
    bytes_.fetch_add(bytes);
  }
  // Prints a failure without tearing the bar.
  void fail(const std::string& line) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (terminal_ && drawn_) std::cerr << "\r\033[K";
    std::cerr << line << '\n';
    failed_.fetch_add(1);
    drawn_ = false;
  }
  void show(bool last) {
    if (quiet_) return;
    const std::lock_guard<std::mutex> lock(mutex_);
    const std::size_t done = done_.load();
    const double seconds = elapsed();
    const double megabytes = static_cast<double>(bytes_.load()) / 1e6;
    const double rate = seconds > 0 ? megabytes / seconds : 0;
    const double left = done > 0 ? seconds * static_cast<double>(files_ - done) / static_cast<double>(done) : 0;
    char numbers[128];
    std::snprintf(numbers, sizeof numbers, "%zu/%zu files  %.1f MB/s  %s left", done, files_, rate,
                  formatDuration(left).c_str());
    if (terminal_) {
      constexpr int kWidth = 30;
      const int filled = files_ ? static_cast<int>(kWidth * done / files_) : kWidth;
      std::cerr << "\r\033[K[" << std::string(filled, '=') << std::string(kWidth - filled, ' ') << "] " << numbers
                << (last ? "\n" : "") << std::flush;
      drawn_ = !last;
    } else if (last || seconds - lastLine_ >= 2.0) {
      std::cerr << numbers << '\n';
      lastLine_ = seconds;
    }
  }
  double elapsed() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }
  std::size_t failed() const { return failed_.load(); }
  std::size_t bytes() const { return bytes_.load(); }

private:
  using Clock = std::chrono::steady_clock;
  const std::size_t files_;
  const bool terminal_;
  const bool quiet_;
  const Clock::time_point start_;
  std::atomic<std::size_t> done_{0};
  std::atomic<std::size_t> failed_{0};
  std::atomic<std::size_t> bytes_{0};
  std::mutex mutex_;
  bool drawn_ = false;
  double lastLine_ = 0;
};

// Why no output can be written into folder (created when missing), or "".
std::string unusableFolder(const std::string& folder) {
  std::error_code error;
  fs::create_directories(folder, error);
  if (!fs::is_directory(folder)) return error ? error.message() : "not a folder";
  return ::access(folder.c_str(), W_OK | X_OK) == 0 ? "" : std::strerror(errno);
}

// The attribute that names the input an output was made of, where the file system keeps one:
// a run over other inputs may give an output's name to another input ("NAME-2" ...).
constexpr char kInputAttribute[] = "user.wfhost.input";

// True when output exists, was made of input (as far as the file system tells) and input has
// not changed since: an output takes the time its input had when it was read (an earlier
// wfhost's, the time it was written).
bool upToDate(const std::string& input, const std::string& output) {
  std::string source(4096, '\0');
  const ssize_t length = ::getxattr(output.c_str(), kInputAttribute, source.data(), source.size());
  if (length >= 0 && source.substr(0, static_cast<std::size_t>(length)) != resolvedPath(input)) return false;
  std::error_code error;
  const fs::file_time_type written = fs::last_write_time(output, error);
  if (error) return false;
  const fs::file_time_type changed = fs::last_write_time(input, error);
  return !error && written >= changed;
}

// What became of one input of a batch.
struct Outcome {
  enum class Status { Converted, Skipped, Failed } status = Status::Failed;
  std::string error;
};

// One JSON line per input, in input order, into report, or to stdout without one (--report -).
void writeReport(std::optional<AtomicOutputFile>& report, const ConvertOptions& options,
                 const std::vector<std::string>& outputs, const std::vector<Outcome>& outcomes) {
  static const char* const kStatus[] = {"converted", "skipped", "failed"};
  std::string lines;
  for (std::size_t i = 0; i < outcomes.size(); ++i) {
    nlohmann::ordered_json line = {{"file", options.inputs[i]},
                           {"output", outputs[i]},
                           {"status", kStatus[static_cast<int>(outcomes[i].status)]}};
    if (outcomes[i].status == Outcome::Status::Failed) line["error"] = outcomes[i].error;
    lines += line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + '\n';
  }
  if (!report) return writeFile("-", std::vector<std::uint8_t>(lines.begin(), lines.end()));
  report->write(lines.data(), lines.size());
  report->commit();
}

// UsageError when --report names a file that the run reads or writes, which the report would replace.
void refuseReportOverRunFiles(const ConvertOptions& options, const std::vector<std::string>& outputs) {
  std::vector<std::string> files = options.shared.filesReadWith(options.inputs);
  files.insert(files.end(), outputs.begin(), outputs.end());
  for (const std::string& file : files)
    if (sameFile(options.report, file))
      throw UsageError("--report " + options.report + " is an input or output of the run" +
                       (file == options.report ? "" : " (" + file + ")") + ": the report would replace it");
}

int convertBatch(const wfxml::MessageSet& set, const ConvertOptions& options) {
  const std::vector<std::string> outputs = outputNames(options.inputs, options);
  if (!options.report.empty()) refuseReportOverRunFiles(options, outputs);
  if (const std::string problem = unusableFolder(options.outDir); !problem.empty()) {
    std::cerr << "wfhost convert: --out-dir " << options.outDir << ": " << problem << '\n';
    return kExitHostError;
  }
  std::optional<AtomicOutputFile> report;
  if (!options.report.empty() && options.report != "-") report.emplace(options.report);  // an unusable path fails before any work
  AtomicOutputFile::removeAbandoned(options.outDir);
  std::vector<Outcome> outcomes(options.inputs.size());
  // An output that is an input of the run (a.xml and a.json converted into
  // their own folder, or XML in a file named .json) would be written over it,
  // or removed as an old output when its input fails: such an input fails
  // at once, and every input stays as it was.
  std::vector<bool> replacesInput(options.inputs.size());
  {
    std::set<std::string> inputs;
    for (const std::string& input : options.inputs)
      if (input != "-") inputs.insert(resolvedPath(input));
    for (std::size_t i = 0; i < outputs.size(); ++i) replacesInput[i] = inputs.count(resolvedPath(outputs[i])) != 0;
  }
  Progress progress(options.inputs.size(), isatty(STDERR_FILENO) != 0, options.quiet);
  InputQueue queue(options.inputs.size());
  const auto work = [&] {
    Converter converter(set, options);
    for (std::size_t i; queue.take(i);) {
      const std::string& input = options.inputs[i];
      if (replacesInput[i]) {
        outcomes[i].error = input + ": its output " + outputs[i] +
                            " would replace an input of this run: convert into another --out-dir";
        progress.fail(outcomes[i].error);
        progress.done(0);
        continue;
      }
      try {
        if (options.resume && upToDate(input, outputs[i])) {
          outcomes[i].status = Outcome::Status::Skipped;
          progress.done(0);
          continue;
        }
        // Taken before the read: an input that changes while it is converted is newer than its output.
        const std::optional<struct timespec> changed =
            input == "-" ? std::nullopt : std::optional<struct timespec>(modificationTimeOf(input));
        const std::vector<std::uint8_t> content = readFile(input);
        const std::vector<std::uint8_t> converted = namingInput(input, [&] { return converter.convert(content); });
        AtomicOutputFile output(outputs[i], options.sync);
        output.write(converted.data(), converted.size());
        if (changed) output.setModificationTime(*changed);
        output.setAttributeWherePossible(kInputAttribute, resolvedPath(input));
        output.commit();
        outcomes[i].status = Outcome::Status::Converted;
        progress.done(content.size());
      } catch (const std::exception& e) {
        outcomes[i].error = errorLine(e);
        // An output of an earlier run would pass for this input's.
        std::error_code error;
        if (fs::remove(outputs[i], error)) outcomes[i].error += " (its old output " + outputs[i] + " removed)";
        progress.fail(outcomes[i].error);
        progress.done(0);
      }
    }
  };
  const unsigned threads = options.shared.threadsFor(options.inputs.size());
  std::atomic<bool> finished{false};
  std::thread reporter([&] {
    while (!finished.load()) {
      progress.show(false);
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
  });
  runOnThreads(threads, work);
  finished = true;
  reporter.join();
  progress.show(true);
  const std::size_t failed = progress.failed();
  const auto skipped = static_cast<std::size_t>(std::count_if(
      outcomes.begin(), outcomes.end(), [](const Outcome& o) { return o.status == Outcome::Status::Skipped; }));
  const double seconds = progress.elapsed();
  std::fprintf(stderr, "converted %zu of %zu files (%.1f MB in %.2f s, %.1f MB/s, %u threads)%s%s\n",
               options.inputs.size() - failed - skipped, options.inputs.size(),
               static_cast<double>(progress.bytes()) / 1e6, seconds,
               seconds > 0 ? static_cast<double>(progress.bytes()) / 1e6 / seconds : 0.0, threads,
               skipped ? (", " + std::to_string(skipped) + " skipped as up to date").c_str() : "",
               failed ? (", " + std::to_string(failed) + " failed").c_str() : "");
  if (!options.report.empty()) writeReport(report, options, outputs, outcomes);
  return failed ? kExitHostError : kExitOk;
}

// JSON Lines to stdout ("-") or into a file that appears only complete,
// once commit() is called (an AtomicOutputFile). A record that the output
// does not take ends the conversion: a file of some GB is not read on for
// nothing.
class JsonLinesOutput {
public:
  explicit JsonLinesOutput(const std::string& path) {
    if (path != "-") file_.emplace(path);
  }

  void write(std::string_view json) {
    if (!file_) {
      std::cout.write(json.data(), static_cast<std::streamsize>(json.size()));
      std::cout.put('\n');
      if (std::cout.fail()) flushStdout();
      return;
    }
    pending_.append(json).push_back('\n');
    if (pending_.size() >= kWriteSize) writePending();
  }
  void commit() {
    if (!file_) return;
    writePending();
    file_->commit();
  }

private:
  static constexpr std::size_t kWriteSize = 64 * 1024;  // records gathered into fewer writes
  void writePending() {
    file_->write(pending_.data(), pending_.size());
    pending_.clear();
  }

  std::optional<AtomicOutputFile> file_;
  std::string pending_;
};

// Standard input, read in chunks and converted piece by piece as a file
// is (Session::toJsonRecordsFromFile), so that memory holds one piece and
// its records however long the stream.
void writeRecordsOf(std::istream& in, wfxml::Session& session, const ConvertOptions& options,
                    const std::function<void(std::string_view)>& onRecord) {
  std::vector<char> chunk(wfxml::RecordReader::kPieceSize);
  wfxml::RecordReader reader(options.records, [&] {
    in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    return std::string_view(chunk.data(), static_cast<std::size_t>(in.gcount()));
  }, parseOptionsOf(options.shared));
  while (reader.nextJson(session, onRecord)) {
  }
}

void writeRecords(const std::string& input, const std::string& output, const wfxml::MessageSet& set,
                  const ConvertOptions& options) {
  wfxml::Session session(set);
  JsonLinesOutput out(output);
  std::size_t records = 0;
  const std::function<void(std::string_view)> onRecord = [&](std::string_view json) {
    out.write(json);
    ++records;
  };
  namingInput(input, [&] {
    if (input == "-") return writeRecordsOf(std::cin, session, options, onRecord);
    session.toJsonRecordsFromFile(input, options.records, onRecord, parseOptionsOf(options.shared));
  });
  out.commit();
  // A name mistyped gives no record: say so, though a file may have none.
  if (records == 0)
    std::cerr << "wfhost: " << (input == "-" ? "<stdin>" : input) << ": no record: no element matches '"
              << options.records << "'\n";
}

// The direction follows the input's content, not the output's name: -o out.json of a JSON input
// gets XML, which the name would hide until the file is opened.
void warnOfOutputNamedForTheOtherFormat(const std::string& output, bool xmlWritten) {
  std::string extension = fs::path(output).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) { return std::tolower(c); });
  if (extension != (xmlWritten ? ".json" : ".xml")) return;
  std::cerr << "wfhost: warning: -o " << output << " gets " << (xmlWritten ? "XML" : "JSON") << ": the input holds "
            << (xmlWritten ? "JSON" : "XML") << ", and convert turns each format into the other\n";
}

}  // namespace

int runConvertCommand(ArgumentList& args) {
  if (args.wantsHelp()) {
    std::cout << kHelp;
    return kExitOk;
  }
  const ConvertOptions options = readOptions(args);
  iEffectiveLogFilter = options.shared.host.traceLevel;
  const std::string output = options.output.value_or("-");
  if (options.outDir.empty()) prepareOutputFile(output, options.shared.filesReadWith(options.inputs));
  const wfxml::MessageSet set = openMessageSet(options.shared);
  if (!options.outDir.empty()) return convertBatch(set, options);
  const std::string& input = options.inputs.front();
  try {
    if (!options.records.empty()) {
      writeRecords(input, output, set, options);
      return kExitOk;
    }
    Converter converter(set, options);
    const std::vector<std::uint8_t> content = readFile(input);
    warnOfOutputNamedForTheOtherFormat(output, toXml(options.target, content));
    // Converted whole before the output is opened: a failure leaves it as it was.
    writeFile(output, namingInput(input, [&] { return converter.convert(content); }));
    return kExitOk;
  } catch (const wfxml::Error& e) {
    if (e.validationErrors().empty()) throw;
    std::cerr << validationReport(input, e.validationErrors());  // every problem, one line each
    return kExitHostError;
  }
}
