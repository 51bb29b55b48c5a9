// wfhost write: writes a message tree (JSON) as XML through the plug-in.
#include "messagesetsupport.h"
#include "messagetree.h"
#include "toolsupport.h"
#include "wfxml/host.h"
#include "wfxml/wfxml.h"
#include "zellog.h"

#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>

namespace {
const std::string kHelp = std::string(
    "usage: wfhost write [--dict D.dict | --schema S.xsd] [OPTIONS] TREE.json [-o OUT.xml]\n"
    "\n"
    "Reads a message tree in the JSON form of 'wfhost parse --json' and writes it\n"
    "as an XML document with the XML plug-in. Without a dictionary every element is\n"
    "written as the tree names it. An element whose \"dictionary\" names a\n"
    "dictionary file (as given, or relative to TREE.json) is written with that\n"
    "dictionary.\n"
    "\n"
    "options:\n"
    "  -o FILE              the output file ('-': stdout, the default)\n") +
    sharedOptionsHelp(WriteCommandOptions::kGroups);
}  // namespace

int runWriteCommand(ArgumentList& args) {
  if (args.wantsHelp()) {
    std::cout << kHelp;
    return kExitOk;
  }
  WriteCommandOptions options;
  options.output = "-";
  readWriteCommandOptions(args, "TREE", options);
  iEffectiveLogFilter = options.shared.host.traceLevel;
  prepareOutputFile(options.output, options.shared.filesReadWith({options.input}));

  const std::vector<std::uint8_t> json = readFile(options.input);
  const wfxml::MessageSet set = openMessageSet(options.shared);
  wfxml::Message message = wfxml::host::emptyMessage(set);
  MessageTree& tree = wfxml::host::tree(message);
  namingInput(options.input,
              [&] { treeFromJson(std::string_view(reinterpret_cast<const char*>(json.data()), json.size()), tree); });

  wfxml::Session session(set);
  DictionaryFiles embedded(options.shared.host, wfxml::host::worker(session),
                           std::filesystem::path(options.input).parent_path().string());
  tree.setDictionarySwitch(&embedded);
  std::vector<std::uint8_t> out;
  const MessageInfo outputProperties = outputPropertiesOf(options.shared, options.output);
  namingInput(options.input, [&] { wfxml::host::write(session, message, outputProperties, out); });
  writeFile(options.output, out);
  return kExitOk;
}
