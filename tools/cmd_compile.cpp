// wfhost compile: compiles a message-set source into a dictionary file.
#include "messagesetcompiler.h"
#include "messagesetsupport.h"
#include "toolsupport.h"

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

namespace {
const char kHelp[] =
    "usage: wfhost compile SOURCE -o DICTIONARY\n"
    "       wfhost compile SCHEMA.xsd [MORE.xsd ...] [--messages NAME,...] [--props FILE.json]\n"
    "                      [--catalog CATALOG.xml ...] -o DICTIONARY\n"
    "\n"
    "Checks a message-set source and compiles it into a dictionary file that\n"
    "wfhost dump and the XML plug-in load. The source format is chosen by the\n"
    "file name: .json (see docs/message-set-source.md), or .xsd: a set of XML\n"
    "Schema documents (see docs/wfhost.md, \"Compiling a schema\").\n"
    "\n"
    "options:\n"
    "  -o, --output FILE   the dictionary file to write (required)\n"
    "  --messages NAMES    .xsd: the global elements that are messages (comma-separated;\n"
    "                      default: those no other declaration refers to)\n"
    "  --props FILE.json   .xsd: message-set properties that override the defaults\n"
    "  --catalog FILE      .xsd: an XML catalog that maps schema locations by http URL\n"
    "                      to local files (repeatable; then those XML_CATALOG_FILES\n"
    "                      names). Nothing is ever fetched from the network.\n";

struct CompileOptions {
  std::vector<std::string> sources;
  std::string output;
  XsdImportOptions schemaOptions;
};

std::vector<std::string> splitNames(const std::string& list) {
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start <= list.size()) {
    const std::size_t comma = std::min(list.find(',', start), list.size());
    if (comma > start) names.push_back(list.substr(start, comma - start));
    start = comma + 1;
  }
  return names;
}

CompileOptions readOptions(ArgumentList& args) {
  CompileOptions options;
  while (!args.empty()) {
    const std::string arg = args.take();
    if (arg == "-o" || arg == "--output") {
      options.output = args.takeValue(arg);
    } else if (arg == "--messages") {
      options.schemaOptions.messages = splitNames(args.takeValue(arg));
      if (options.schemaOptions.messages.empty()) throw UsageError("--messages names no element");
    } else if (arg == "--props") {
      options.schemaOptions.propertiesFile = args.takeValue(arg);
    } else if (arg == "--catalog") {
      options.schemaOptions.catalogFiles.push_back(args.takeValue(arg));
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw unknownOption(arg);
    } else {
      options.sources.push_back(arg);
    }
  }
  if (options.sources.empty()) throw UsageError("no SOURCE given");
  if (options.output.empty()) throw UsageError("no output file given (-o FILE)");
  return options;
}

}  // namespace

int runCompileCommand(ArgumentList& args) {
  if (args.wantsHelp()) {
    std::cout << kHelp;
    return kExitOk;
  }
  const CompileOptions options = readOptions(args);
  std::vector<std::string> read = options.sources;
  read.insert(read.end(), options.schemaOptions.catalogFiles.begin(), options.schemaOptions.catalogFiles.end());
  if (!options.schemaOptions.propertiesFile.empty()) read.push_back(options.schemaOptions.propertiesFile);
  prepareOutputFile(options.output, read);
  const msgset::MessageSet set = readMessageSetSources(options.sources, options.schemaOptions);
  writeFile(options.output, compileMessageSetToExtract(set, options.sources.front()));
  return kExitOk;
}
