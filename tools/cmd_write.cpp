// wfhost write: writes a message tree (JSON) as XML through the plug-in.
#include "bitstreambuffer.h"
#include "messageinfo.h"
#include "messagetree.h"
#include "pluginloader.h"
#include "toolsupport.h"
#include "workersession.h"
#include "zellog.h"

#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>

namespace {
const char kHelp[] =
    "usage: wfhost write [--dict D.dict] [OPTIONS] TREE.json -o OUT.xml\n"
    "\n"
    "Reads a message tree in the JSON form of 'wfhost parse --json' and writes it\n"
    "as an XML document with the XML plug-in. Without --dict every element is\n"
    "written as the tree names it. An element whose \"dictionary\" names a\n"
    "dictionary file (as given, or relative to TREE.json) is written with that\n"
    "dictionary.\n"
    "\n"
    "options:\n"
    "  --dict FILE         the dictionary to write with (wfhost compile makes one)\n"
    "  -o FILE             the output file ('-': stdout)\n"
    "  --prop NAME=VALUE   an output property (repeatable): ccsid=N (code page,\n"
    "                      default 1208 UTF-8), encoding=N (byte order: low four\n"
    "                      bits 2 little-endian), subTreeBitStream=1 (no document\n"
    "                      start or end)\n"
    "  --trace N           log level: >0 user trace, >2 entry/exit/trace, >3 debug (stderr)\n"
    "  --plugin NAME|PATH  the wire-format library (default: pwfxml)\n";

struct WriteOptions {
  std::string tree;
  std::string output;
  std::string dictionary;
  HostOptions host;
  MessageInfo properties;
};

WriteOptions readOptions(ArgumentList& args) {
  WriteOptions options;
  while (!args.empty()) {
    const std::string arg = args.take();
    if (readHostOption(arg, args, options.host)) continue;
    if (arg == "--dict") {
      options.dictionary = args.takeValue(arg);
    } else if (arg == "-o") {
      options.output = args.takeValue(arg);
    } else if (arg == "--prop") {
      setPropertyAssignment(arg, args.takeValue(arg), options.properties);
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw UsageError("unknown option " + arg);
    } else if (options.tree.empty()) {
      options.tree = arg;
    } else {
      throw UsageError("only one TREE, got '" + options.tree + "' and '" + arg + "'");
    }
  }
  if (options.tree.empty()) throw UsageError("no TREE given");
  if (options.output.empty()) throw UsageError("no output file given (-o FILE)");
  return options;
}
}  // namespace

int runWriteCommand(ArgumentList& args) {
  if (args.wantsHelp()) {
    std::cout << kHelp;
    return kExitOk;
  }
  WriteOptions options = readOptions(args);
  iEffectiveLogFilter = options.host.traceLevel;

  const std::vector<std::uint8_t> json = readFile(options.tree);
  MessageTree tree;
  treeFromJson(std::string_view(reinterpret_cast<const char*>(json.data()), json.size()), tree);

  // The library outlives everything obtained from it; descriptors outlive the worker.
  const PluginLibrary library(options.host.plugin);
  BitstreamWorkerFactory& factory = *library.factoryFor(u"XML");
  const DescriptorPtr descriptor = options.dictionary.empty() ? nullptr : loadDescriptor(factory, options.dictionary);
  const ZelNamedLogSource logSource("wfhost");
  const WorkerPtr worker(factory.createBitstreamWorker(&logSource));
  if (descriptor) worker->setWireFormatDescriptor(descriptor.get());
  DictionaryFiles embedded(factory, *worker, std::filesystem::path(options.tree).parent_path().string());
  tree.setDictionarySwitch(&embedded);

  WritableBitstreamBuffer out;
  writeInSteps(*worker, options.properties, tree, out);
  writeFile(options.output, out.bytes());
  return kExitOk;
}
