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
const char kHelp[] =
    "usage: wfhost dump [OPTIONS] DICTIONARY\n"
    "\n"
    "Loads a dictionary file (from wfhost compile) into the XML plug-in's\n"
    "descriptor and prints its tables, their properties and the element-name\n"
    "index on stdout.\n"
    "\n"
    "options:\n"
    "  --trace N           log level: >0 user trace, >2 entry/exit/trace, >3 debug (stderr)\n"
    "  --plugin NAME|PATH  the wire-format library (default: pwfxml)\n";

struct DumpOptions {
  std::string file;
  HostOptions host;
};

DumpOptions readOptions(ArgumentList& args) {
  DumpOptions options;
  while (!args.empty()) {
    const std::string arg = args.take();
    if (readHostOption(arg, args, options.host)) continue;
    if (arg.size() > 1 && arg[0] == '-') {
      throw UsageError("unknown option " + arg);
    } else if (options.file.empty()) {
      options.file = arg;
    } else {
      throw UsageError("only one DICTIONARY, got '" + options.file + "' and '" + arg + "'");
    }
  }
  if (options.file.empty()) throw UsageError("no DICTIONARY given");
  return options;
}

}  // namespace

int runDumpCommand(ArgumentList& args) {
  if (args.wantsHelp()) {
    std::cout << kHelp;
    return kExitOk;
  }
  const DumpOptions options = readOptions(args);
  iEffectiveLogFilter = options.host.traceLevel;
  const wfxml::MessageSet set = wfxml::host::load(options.file, libraryOf(options.host));
  const StdDictionaryInfo* descriptor = wfxml::host::dictionary(set);
  std::cout.flush();
  descriptor->DumpContents(stdout);
  std::fflush(stdout);
  return kExitOk;
}
