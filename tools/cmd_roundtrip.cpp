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
const std::string kHelp = std::string(
    "usage: wfhost roundtrip [--dict D.dict] [OPTIONS] IN.xml [-o OUT.xml]\n"
    "\n"
    "Parses IN.xml with the XML plug-in into a message tree and writes the tree\n"
    "back as an XML document. Without --dict the document is parsed and written\n"
    "self-defining.\n"
    "\n"
    "options:\n"
    "  -o FILE              the output file ('-': stdout, the default)\n"
    "  --in-prop NAME=VALUE a property for parsing IN.xml, e.g. --in-prop ccsid=500\n") + kWriteOptionsHelp;
}  // namespace

int runRoundTripCommand(ArgumentList& args) {
  if (args.wantsHelp()) {
    std::cout << kHelp;
    return kExitOk;
  }
  WriteCommandOptions options;
  options.output = "-";
  MessageInfo inputProperties;
  readWriteCommandOptions(args, "IN", options, [&inputProperties](const std::string& arg, ArgumentList& rest) {
    if (arg != "--in-prop") return false;
    setPropertyAssignment(arg, rest.takeValue(arg), inputProperties);
    return true;
  });
  iEffectiveLogFilter = options.host.traceLevel;
  const std::vector<std::uint8_t> bytes = readFile(options.input);

  const wfxml::MessageSet set = openMessageSet(options.host, options.dictionary);
  wfxml::Session session(set);
  wfxml::Message message = wfxml::host::emptyMessage(set);
  wfxml::host::parse(session, bytes.data(), bytes.size(), inputProperties, message);
  std::vector<std::uint8_t> out;
  wfxml::host::write(session, message, options.outputProperties, out);
  writeFile(options.output, out);
  return kExitOk;
}
