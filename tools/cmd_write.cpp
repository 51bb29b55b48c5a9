// wfhost write: writes a message tree (JSON) as XML through the plug-in.
#include "bitstreambuffer.h"
#include "messagetree.h"
#include "toolsupport.h"
#include "workersession.h"

#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>

namespace {
const std::string kHelp = std::string(
    "usage: wfhost write [--dict D.dict] [OPTIONS] TREE.json -o OUT.xml\n"
    "\n"
    "Reads a message tree in the JSON form of 'wfhost parse --json' and writes it\n"
    "as an XML document with the XML plug-in. Without --dict every element is\n"
    "written as the tree names it. An element whose \"dictionary\" names a\n"
    "dictionary file (as given, or relative to TREE.json) is written with that\n"
    "dictionary.\n"
    "\n"
    "options:\n"
    "  -o FILE              the output file ('-': stdout)\n") + kWriteOptionsHelp;
}  // namespace

int runWriteCommand(ArgumentList& args) {
  if (args.wantsHelp()) {
    std::cout << kHelp;
    return kExitOk;
  }
  WriteCommandOptions options;
  readWriteCommandOptions(args, "TREE", options);
  if (options.output.empty()) throw UsageError("no output file given (-o FILE)");
  iEffectiveLogFilter = options.host.traceLevel;

  const std::vector<std::uint8_t> json = readFile(options.input);
  MessageTree tree;
  treeFromJson(std::string_view(reinterpret_cast<const char*>(json.data()), json.size()), tree);

  const WorkerSession session(options.host, options.dictionary);
  DictionaryFiles embedded(session.factory(), session.worker(),
                           std::filesystem::path(options.input).parent_path().string());
  tree.setDictionarySwitch(&embedded);
  WritableBitstreamBuffer out;
  writeInSteps(session.worker(), options.outputProperties, tree, out);
  writeFile(options.output, out.bytes());
  return kExitOk;
}
