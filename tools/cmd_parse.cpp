// wfhost parse: runs a document through a wire-format worker, as a host would.
#include "bitstreambuffer.h"
#include "bitstreamworker.h"
#include "eventtrace.h"
#include "messageinfo.h"
#include "pluginloader.h"
#include "toolsupport.h"
#include "zellog.h"

#include <iostream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {
const char kHelp[] =
    "usage: wfhost parse --events [OPTIONS] FILE\n"
    "\n"
    "Parses FILE with the XML plug-in and prints one line per tree event on stdout.\n"
    "\n"
    "options:\n"
    "  --events            print the tree events (one line each)\n"
    "  --prop NAME=VALUE   set a message property (repeatable), e.g. --prop ccsid=500\n"
    "  --trace N           log level: >0 user trace, >2 entry/exit/trace, >3 debug (stderr)\n"
    "  --plugin NAME|PATH  the wire-format library (default: pwfxml)\n";

enum class OutputKind { None, Events };

struct ParseOptions {
  std::string file;
  HostOptions host;
  OutputKind output = OutputKind::None;
  std::vector<std::pair<std::string, std::string>> properties;
};

ParseOptions readOptions(ArgumentList& args) {
  ParseOptions options;
  while (!args.empty()) {
    const std::string arg = args.take();
    if (readHostOption(arg, args, options.host)) continue;
    if (arg == "--events") {
      options.output = OutputKind::Events;
    } else if (arg == "--prop") {
      const std::string assignment = args.takeValue(arg);
      const auto equals = assignment.find('=');
      if (equals == std::string::npos || equals == 0) throw UsageError("--prop needs NAME=VALUE, not '" + assignment + "'");
      options.properties.emplace_back(assignment.substr(0, equals), assignment.substr(equals + 1));
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw UsageError("unknown option " + arg);
    } else if (options.file.empty()) {
      options.file = arg;
    } else {
      throw UsageError("only one FILE, got '" + options.file + "' and '" + arg + "'");
    }
  }
  if (options.file.empty()) throw UsageError("no FILE given");
  if (options.output == OutputKind::None) throw UsageError("choose an output: --events");
  return options;
}

// The tree callback that produces the chosen output.
std::unique_ptr<FIHandler> makeOutput(const ParseOptions& options) {
  switch (options.output) {
    case OutputKind::Events: return std::make_unique<EventTrace>(std::cout);
    case OutputKind::None: break;
  }
  throw UsageError("choose an output: --events");
}

// Workers end with release(true), as the factory's contract says.
struct WorkerRelease {
  void operator()(BitstreamWorker* worker) const { worker->release(true); }
};
using WorkerPtr = std::unique_ptr<BitstreamWorker, WorkerRelease>;

// Drives the worker the way a host does: set-up, then one step at a time.
void parseInSteps(BitstreamWorker& worker, MessageInfo& properties, const BitstreamBuffer& buffer, FIHandler& output) {
  worker.initializeParse(-1, &properties, 0);
  worker.setFIHandler(&output);
  worker.parseFirst(&buffer, nullptr, false, 0, -1);
  while (worker.hasNext()) worker.parseNext();
}
}  // namespace

int runParseCommand(ArgumentList& args) {
  if (args.wantsHelp()) {
    std::cout << kHelp;
    return kExitOk;
  }
  const ParseOptions options = readOptions(args);
  iEffectiveLogFilter = options.host.traceLevel;

  MessageInfo properties;
  for (const auto& [name, value] : options.properties)
    properties.setProperty(ZelWstring::fromUtf8(name), ZelWstring::fromUtf8(value));
  const std::vector<std::uint8_t> bytes = readFile(options.file);
  const BitstreamBuffer buffer(bytes.data(), bytes.size());

  // The library outlives everything obtained from it.
  const PluginLibrary library(options.host.plugin);
  const ZelNamedLogSource logSource("wfhost");
  const WorkerPtr worker(library.factoryFor(u"XML")->createBitstreamWorker(&logSource));
  const std::unique_ptr<FIHandler> output = makeOutput(options);
  parseInSteps(*worker, properties, buffer, *output);
  return kExitOk;
}
