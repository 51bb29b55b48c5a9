// wfhost roundtrip: parses a document into a message tree and writes the
// tree back as XML, both through the plug-in.
#include "bitstreambuffer.h"
#include "messageinfo.h"
#include "messagetree.h"
#include "pluginloader.h"
#include "toolsupport.h"
#include "workersession.h"
#include "zellog.h"

#include <iostream>
#include <string>

namespace {
const char kHelp[] =
    "usage: wfhost roundtrip [--dict D.dict] [OPTIONS] IN.xml [-o OUT.xml]\n"
    "\n"
    "Parses IN.xml with the XML plug-in into a message tree and writes the tree\n"
    "back as an XML document (to stdout without -o). Without --dict the document\n"
    "is parsed and written self-defining.\n"
    "\n"
    "options:\n"
    "  --dict FILE          the dictionary to parse and write with\n"
    "  -o FILE              the output file ('-': stdout, the default)\n"
    "  --prop NAME=VALUE    an output property (repeatable): ccsid=N (code page,\n"
    "                       default 1208 UTF-8), encoding=N (byte order: low four\n"
    "                       bits 2 little-endian), subTreeBitStream=1 (no document\n"
    "                       start or end)\n"
    "  --in-prop NAME=VALUE a property for parsing IN.xml, e.g. --in-prop ccsid=500\n"
    "  --trace N            log level: >0 user trace, >2 entry/exit/trace, >3 debug (stderr)\n"
    "  --plugin NAME|PATH   the wire-format library (default: pwfxml)\n";

struct RoundTripOptions {
  std::string input;
  std::string output = "-";
  std::string dictionary;
  HostOptions host;
  MessageInfo inputProperties;
  MessageInfo outputProperties;
};

RoundTripOptions readOptions(ArgumentList& args) {
  RoundTripOptions options;
  while (!args.empty()) {
    const std::string arg = args.take();
    if (readHostOption(arg, args, options.host)) continue;
    if (arg == "--dict") {
      options.dictionary = args.takeValue(arg);
    } else if (arg == "-o") {
      options.output = args.takeValue(arg);
    } else if (arg == "--prop") {
      setPropertyAssignment(arg, args.takeValue(arg), options.outputProperties);
    } else if (arg == "--in-prop") {
      setPropertyAssignment(arg, args.takeValue(arg), options.inputProperties);
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw UsageError("unknown option " + arg);
    } else if (options.input.empty()) {
      options.input = arg;
    } else {
      throw UsageError("only one IN, got '" + options.input + "' and '" + arg + "'");
    }
  }
  if (options.input.empty()) throw UsageError("no IN given");
  return options;
}
}  // namespace

int runRoundTripCommand(ArgumentList& args) {
  if (args.wantsHelp()) {
    std::cout << kHelp;
    return kExitOk;
  }
  RoundTripOptions options = readOptions(args);
  iEffectiveLogFilter = options.host.traceLevel;
  const std::vector<std::uint8_t> bytes = readFile(options.input);
  const BitstreamBuffer buffer(bytes.data(), bytes.size());

  // The library outlives everything obtained from it; descriptors outlive the worker.
  const PluginLibrary library(options.host.plugin);
  BitstreamWorkerFactory& factory = *library.factoryFor(u"XML");
  const DescriptorPtr descriptor = options.dictionary.empty() ? nullptr : loadDescriptor(factory, options.dictionary);
  const ZelNamedLogSource logSource("wfhost");
  const WorkerPtr worker(factory.createBitstreamWorker(&logSource));
  if (descriptor) worker->setWireFormatDescriptor(descriptor.get());

  MessageTree tree;
  TreeBuilder builder(tree);
  parseInSteps(*worker, options.inputProperties, buffer, builder);
  WritableBitstreamBuffer out;
  writeInSteps(*worker, options.outputProperties, tree, out);
  writeFile(options.output, out.bytes());
  return kExitOk;
}
