// wfhost dump: loads a dictionary file through the plug-in, as a host does,
// and prints what the descriptor holds.
#include "messagesetsupport.h"
#include "stddictionaryinfo.h"
#include "toolsupport.h"
#include "wfxml/host.h"
#include "wfxml/wfxml.h"
#include "zellog.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

namespace {
const std::string kHelp =
    "usage: wfhost dump [OPTIONS] (DICTIONARY | --dict D.dict | --schema S.xsd)\n"
    "\n"
    "Loads a dictionary file (from wfhost compile), or the dictionary of a schema\n"
    "compiled in process, into the XML plug-in's descriptor and prints its tables,\n"
    "their properties and the element-name index on stdout.\n"
    "\n"
    "options:\n" +
    sharedOptionsHelp(SharedOption::kMessageSet);

struct DumpOptions {
  SharedOptions shared{SharedOption::kMessageSet};
};

DumpOptions readOptions(ArgumentList& args) {
  DumpOptions options;
  while (!args.empty()) {
    const std::string arg = args.take();
    if (readSharedOption(arg, args, options.shared)) continue;
    if (arg.size() > 1 && arg[0] == '-') {
      throw unknownOption(arg);
    } else if (!options.shared.hasMessageSet()) {
      options.shared.dictionary = arg;
    } else {
      throw UsageError("only one DICTIONARY, got '" + options.shared.dictionary + "' and '" + arg + "'");
    }
  }
  if (!options.shared.hasMessageSet()) throw UsageError("no DICTIONARY given");
  return options;
}

}  // namespace

int runDumpCommand(ArgumentList& args) {
  if (args.wantsHelp()) {
    std::cout << kHelp;
    return kExitOk;
  }
  const DumpOptions options = readOptions(args);
  iEffectiveLogFilter = options.shared.host.traceLevel;
  const wfxml::MessageSet set = openMessageSet(options.shared);
  const StdDictionaryInfo* descriptor = wfxml::host::dictionary(set);
  std::cout.flush();
  descriptor->DumpContents(stdout);
  return kExitOk;
}
