// wfhost roundtrip: parses a document into a message tree and writes the
// tree back as XML, both through the plug-in.
#include "messageinfo.h"
#include "messagesetsupport.h"
#include "toolsupport.h"
#include "wfxml/host.h"
#include "wfxml/wfxml.h"
#include "zellog.h"

#include <iostream>
#include <string>

namespace {
constexpr unsigned kGroups = WriteCommandOptions::kGroups | SharedOption::kInputEncoding;

const std::string kHelp = std::string(
    "usage: wfhost roundtrip [--dict D.dict | --schema S.xsd] [OPTIONS] IN.xml [-o OUT.xml]\n"
    "\n"
    "Parses IN.xml with the XML plug-in into a message tree and writes the tree\n"
    "back as an XML document. Without a dictionary the document is parsed and written\n"
    "self-defining.\n"
    "\n"
    "options:\n"
    "  -o FILE              the output file ('-': stdout, the default)\n"
    "  --in-prop NAME=VALUE a message property for parsing IN.xml (--prop: for writing)\n") +
    sharedOptionsHelp(kGroups);
}  // namespace

int runRoundTripCommand(ArgumentList& args) {
  if (args.wantsHelp()) {
    std::cout << kHelp;
    return kExitOk;
  }
  WriteCommandOptions options;
  options.shared.accepted = kGroups;
  options.output = "-";
  MessageInfo inputProperties;
  readWriteCommandOptions(args, "IN", options, [&inputProperties](const std::string& arg, ArgumentList& rest) {
    if (arg != "--in-prop") return false;
    setPropertyAssignment(arg, rest.takeValue(arg), inputProperties);
    return true;
  });
  iEffectiveLogFilter = options.shared.host.traceLevel;
  prepareOutputFile(options.output, options.shared.filesReadWith({options.input}));
  const std::vector<std::uint8_t> bytes = readFile(options.input);

  const wfxml::MessageSet set = openMessageSet(options.shared);
  wfxml::Session session(set);
  wfxml::Message message = wfxml::host::emptyMessage(set);
  namingInput(options.input, [&] {
    wfxml::host::parse(session, bytes.data(), bytes.size(), inputPropertiesOf(options.shared, inputProperties), message);
  });
  if (const std::optional<UndefinedRoot> root = undefinedRootOf(wfxml::host::tree(message));
      root && wfxml::host::dictionary(set))
    warnOfUndefinedRoot(options.input, set, *root);
  std::vector<std::uint8_t> out;
  const MessageInfo outputProperties = outputPropertiesOf(options.shared, options.output);
  namingInput(options.input, [&] { wfxml::host::write(session, message, outputProperties, out); });
  writeFile(options.output, out);
  return kExitOk;
}
