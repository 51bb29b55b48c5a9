// wfhost compile: compiles a message-set source into a dictionary file.
#include "messagesetcompiler.h"
#include "messagesetjson.h"
#include "toolsupport.h"
#include "zelexception.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {
const char kHelp[] =
    "usage: wfhost compile SOURCE -o DICTIONARY\n"
    "\n"
    "Checks a message-set source and compiles it into a dictionary file that\n"
    "wfhost dump and the XML plug-in load. The source format is chosen by the\n"
    "file name: .json (see docs/message-set-source.md).\n"
    "\n"
    "options:\n"
    "  -o, --output FILE   the dictionary file to write (required)\n";

struct CompileOptions {
  std::vector<std::string> sources;
  std::string output;
};

CompileOptions readOptions(ArgumentList& args) {
  CompileOptions options;
  while (!args.empty()) {
    const std::string arg = args.take();
    if (arg == "-o" || arg == "--output") {
      options.output = args.takeValue(arg);
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw UsageError("unknown option " + arg);
    } else {
      options.sources.push_back(arg);
    }
  }
  if (options.sources.empty()) throw UsageError("no SOURCE given");
  if (options.output.empty()) throw UsageError("no output file given (-o FILE)");
  return options;
}

bool endsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Reads the sources in the format their names call for.
msgset::MessageSet readSources(const std::vector<std::string>& sources) {
  const std::string& first = sources.front();
  if (endsWith(first, ".json")) {
    if (sources.size() > 1) throw UsageError("a .json source is compiled on its own");
    return readMessageSetJsonFile(first);
  }
  throw UsageError("unknown source format of '" + first + "' (expected a .json file)");
}

void writeFile(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (out) out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (out) out.close();
  if (!out) {
    ZelFatalException e(__FILE__, __LINE__, "writeFile", zelDefaultLogSourceName(), ZelMessages::CP_IO_ERROR);
    e.addInsert(path).addInsert(std::strerror(errno));
    throw e;
  }
}
}  // namespace

int runCompileCommand(ArgumentList& args) {
  if (!args.empty() && (args.peek() == "--help" || args.peek() == "-h")) {
    std::cout << kHelp;
    return kExitOk;
  }
  const CompileOptions options = readOptions(args);
  const msgset::MessageSet set = readSources(options.sources);
  writeFile(options.output, compileMessageSetToExtract(set, options.sources.front()));
  return kExitOk;
}
