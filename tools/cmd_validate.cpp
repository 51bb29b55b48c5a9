// wfhost validate: checks documents against their schemas, many files on
// several threads over one grammar.
#include "messagesetsupport.h"
#include "toolsupport.h"

#include "wfxml/wfxml.h"
#include "zelexception.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr unsigned kSharedGroups = SharedOption::kMessageSet | SharedOption::kInputEncoding | SharedOption::kThreads;

const std::string kHelp = std::string(
    "usage: wfhost validate (--schema A.xsd ... | --dict D.dict) [-j N] [--quiet] FILE...\n"
    "\n"
    "Checks each FILE ('-': stdin) against the XML Schema documents with Xerces-C's\n"
    "validator (full schema checking, identity constraints included; nothing is\n"
    "fetched from the network). A dictionary compiled from schemas keeps them, so\n"
    "--dict needs no .xsd files. Prints one line per problem on stdout, the files\n"
    "in the order given:\n"
    "  FILE:LINE:COLUMN: MESSAGE in <ELEMENT> at PATH\n"
    "Exit status 0 when every file is valid, 1 when any is not (or cannot be\n"
    "read), 2 on wrong arguments. With several files a summary goes to stderr.\n"
    "See docs/validation.md.\n"
    "\n"
    "options:\n"
    "  --quiet              no summary\n") +
    sharedOptionsHelp(kSharedGroups);

struct ValidateOptions {
  SharedOptions shared{kSharedGroups};
  bool quiet = false;
  std::vector<std::string> inputs;
};

ValidateOptions readOptions(ArgumentList& args) {
  ValidateOptions options;
  readInputCommandOptions(args, "validate", options.shared, options.inputs, [&](const std::string& arg, ArgumentList&) {
    if (arg != "--quiet") return false;
    options.quiet = true;
    return true;
  });
  return options;
}

// The files' reports, printed in the order of the files as they complete.
class OrderedReports {
public:
  explicit OrderedReports(std::size_t files) : reports_(files) {}

  void put(std::size_t file, std::string report) {
    const std::lock_guard<std::mutex> lock(mutex_);
    reports_[file] = std::move(report);
    for (; next_ < reports_.size() && reports_[next_]; ++next_) {
      std::cout << *reports_[next_];
      reports_[next_]->clear();
    }
    std::cout.flush();
  }

private:
  std::mutex mutex_;
  std::vector<std::optional<std::string>> reports_;
  std::size_t next_ = 0;
};

}  // namespace

int runValidateCommand(ArgumentList& args) {
  if (args.wantsHelp()) {
    std::cout << kHelp;
    return kExitOk;
  }
  const ValidateOptions options = readOptions(args);
  const wfxml::MessageSet set = openMessageSet(options.shared, SchemaWarnings::Drop);
  set.validate("", 0);  // the grammar first: a set that cannot validate fails once, here
  const wfxml::ParseOptions parseOptions = parseOptionsOf(options.shared);

  const auto start = std::chrono::steady_clock::now();
  OrderedReports reports(options.inputs.size());
  InputQueue queue(options.inputs.size());
  std::atomic<std::size_t> invalid{0}, bytes{0};
  const auto work = [&] {
    for (std::size_t i; queue.take(i);) {
      const std::string& input = options.inputs[i];
      std::string report;
      try {
        report = namingInput(input, [&] {
          const std::vector<std::uint8_t> content = readFile(input);
          bytes.fetch_add(content.size());
          return validationReport(input, set.validate(content.data(), content.size(), parseOptions));
        });
      } catch (const std::exception& e) {
        report = errorLine(e) + "\n";
      }
      if (!report.empty()) invalid.fetch_add(1);
      reports.put(i, std::move(report));
    }
  };
  const unsigned threads = options.shared.threadsFor(options.inputs.size());
  runOnThreads(threads, work);

  if (options.inputs.size() > 1 && !options.quiet) {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double megabytes = static_cast<double>(bytes.load()) / 1e6;
    std::fprintf(stderr, "%zu of %zu files valid (%.1f MB in %.2f s, %.1f MB/s, %u threads)\n",
                 options.inputs.size() - invalid.load(), options.inputs.size(), megabytes, seconds,
                 seconds > 0 ? megabytes / seconds : 0.0, threads);
  }
  return invalid.load() ? kExitHostError : kExitOk;
}
