#include "messagesetsupport.h"

#include "bitstreamworker.h"
#include "elementkinds.h"
#include "messagesetcompiler.h"
#include "messagesetjson.h"
#include "stddictionaryinfo.h"
#include "zelexception.h"

#include <filesystem>
#include <iostream>

wfxml::host::LibraryOptions libraryOf(const HostOptions& host) {
  wfxml::host::LibraryOptions library;
  library.plugin = host.plugin;
  library.logSourceName = "wfhost";
  return library;
}

wfxml::MessageSet openDictionary(const HostOptions& host, const std::string& dictionary) {
  if (dictionary != "-") return wfxml::host::load(dictionary, libraryOf(host));
  return namingInput(dictionary, [&] { return wfxml::host::loadBytes(readFile(dictionary), libraryOf(host)); });
}

namespace {
bool endsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}
}  // namespace

msgset::MessageSet readMessageSetSources(const std::vector<std::string>& sources,
                                         const XsdImportOptions& schemaOptions, SchemaWarnings warnings) {
  // Every source is judged by its name before any is read: a schema reader
  // given a .json source would only say that it is no XML.
  for (const std::string& source : sources) {
    if (endsWith(source, ".json") && sources.size() > 1)
      throw UsageError("a .json source is compiled on its own, not with other sources ('" + source + "')");
    if (!endsWith(source, ".json") && !endsWith(source, ".xsd"))
      throw UsageError("unknown source format of '" + source + "' (expected .xsd files or one .json file)");
  }
  if (endsWith(sources.front(), ".json")) return readMessageSetJsonFile(sources.front());
  XsdImportResult imported = importXmlSchemas(sources, schemaOptions);
  for (const std::string& warning : imported.warnings) std::cerr << "warning: " << warning << "\n";
  if (warnings == SchemaWarnings::Print) {
    for (const std::string& warning : imported.mappingWarnings) std::cerr << "warning: " << warning << "\n";
  }
  return std::move(imported.set);
}

wfxml::MessageSet openMessageSet(const SharedOptions& options, SchemaWarnings warnings) {
  if (!options.dictionary.empty()) return openDictionary(options.host, options.dictionary);
  if (options.schemas.empty()) return wfxml::host::none(libraryOf(options.host));
  XsdImportOptions schemaOptions;
  schemaOptions.catalogFiles = options.catalogs;
  return wfxml::host::loadBytes(
      compileMessageSetToExtract(readMessageSetSources(options.schemas, schemaOptions, warnings), options.schemas.front()),
      libraryOf(options.host));
}

MessageInfo outputPropertiesOf(const SharedOptions& options, const std::string& output) {
  MessageInfo properties = options.properties;
  if (!options.encoding.empty()) wfxml::host::setEncoding(options.encoding, properties);
  if (options.indent) properties.setIntegerProperty(ZelWstring(MI_INDENT_STR), 1);
  if (output == "-") properties.setIntegerProperty(ZelWstring(MI_FINALNEWLINE_STR), 1);
  return properties;
}

MessageInfo inputPropertiesOf(const SharedOptions& options, MessageInfo properties) {
  if (!options.inputEncoding.empty()) wfxml::host::setEncoding(options.inputEncoding, properties);
  return properties;
}

MessageInfo inputPropertiesOf(const SharedOptions& options) { return inputPropertiesOf(options, options.properties); }

wfxml::ParseOptions parseOptionsOf(const SharedOptions& options) {
  wfxml::ParseOptions parse;
  parse.encoding = options.inputEncoding;
  parse.validate = options.validate;
  // readSharedOption has refused a limit that is not a positive number.
  const std::int64_t limit = options.properties.getPropertyAsInteger(ZelWstring(MI_ENTITYEXPANSIONLIMIT_STR));
  if (limit > 0) parse.entityExpansionLimit = static_cast<std::size_t>(limit);
  return parse;
}

void refuseStdinTwice(const SharedOptions& shared, const std::string& input) {
  if (shared.dictionary == "-" && input == "-")
    throw UsageError("--dict - and the input - would both read standard input: give one of them a file");
}

void readWriteCommandOptions(ArgumentList& args, const char* inputName, WriteCommandOptions& options,
                             const ExtraOption& extra) {
  while (!args.empty()) {
    const std::string arg = args.take();
    if ((extra && extra(arg, args)) || readSharedOption(arg, args, options.shared)) continue;
    if (arg == "-o") {
      options.output = args.takeValue(arg);
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw unknownOption(arg);
    } else if (options.input.empty()) {
      options.input = arg;
    } else {
      throw UsageError(std::string("only one ") + inputName + ", got '" + options.input + "' and '" + arg + "'");
    }
  }
  if (options.input.empty()) throw UsageError(std::string("no ") + inputName + " given");
  refuseStdinTwice(options.shared, options.input);
  // --prop gives the write's properties; this one only a parse reads, so it
  // would go unheeded.
  if (options.shared.properties.getProperty(ZelWstring(MI_ENTITYEXPANSIONLIMIT_STR)))
    throw UsageError("--prop entityExpansionLimit: --prop sets what the document is written with, and this limits "
                     "a parse (roundtrip: --in-prop)");
}

void readInputCommandOptions(ArgumentList& args, const char* verb, SharedOptions& shared,
                             std::vector<std::string>& inputs, const ExtraOption& extra) {
  while (!args.empty()) {
    const std::string arg = args.take();
    if (extra(arg, args) || readSharedOption(arg, args, shared)) continue;
    if (arg.size() > 1 && arg.front() == '-') throw unknownOption(arg);
    inputs.push_back(arg);
  }
  if (!shared.hasMessageSet())
    throw UsageError(std::string("no message set to ") + verb + " with: give --dict D.dict or --schema S.xsd");
  if (inputs.empty()) throw UsageError(std::string("no FILE to ") + verb);
  for (const std::string& input : inputs) refuseStdinTwice(shared, input);
}

DictionaryFiles::DictionaryFiles(const HostOptions& host, BitstreamWorker& worker, std::string baseDirectory)
    : host_(host), worker_(worker), baseDirectory_(std::move(baseDirectory)) {}

DictionaryFiles::~DictionaryFiles() = default;

void DictionaryFiles::loadDictionary(const ZelWstring& reference) {
  const std::string name = reference.toUtf8();
  auto found = loaded_.find(name);
  if (found == loaded_.end()) {
    std::filesystem::path path(name);
    if (path.is_relative() && !std::filesystem::exists(path) && !baseDirectory_.empty())
      path = std::filesystem::path(baseDirectory_) / path;
    found = loaded_.emplace(name, openDictionary(host_, path.string())).first;
  }
  worker_.setWireFormatDescriptor(wfxml::host::dictionary(found->second));
}

void DictionaryFiles::releaseDictionary(const ZelWstring&) { worker_.release(false); }

std::optional<UndefinedRoot> undefinedRootOf(const MessageTree& tree) {
  const TreeElement* root = tree.getRoot();
  if (!root || root->getKind() != eKindSelfDefiningMessage) return std::nullopt;
  return UndefinedRoot{std::u16string(root->getName().view()), std::u16string(root->getNamespaceURI().view())};
}

void warnOfUndefinedRoot(const std::string& file, const wfxml::MessageSet& set, const UndefinedRoot& root) {
  std::string messages;
  const std::vector<std::string> names = wfxml::host::qualifiedMessageNames(set);
  for (std::size_t i = 0; i < names.size() && i < 10; ++i) messages += (i ? ", " : "") + names[i];
  if (names.size() > 10) messages += ", ...";
  const std::string name = ZelWstring(root.name).toUtf8();
  const std::string shownRoot = root.namespaceUri.empty() ? name + " (in no namespace)"
                                                          : "{" + ZelWstring(root.namespaceUri).toUtf8() + "}" + name;
  std::cerr << "wfhost: warning: " << (file == "-" ? "<stdin>" : file) << ": the root " << shownRoot
            << " is no element of the dictionary (its messages: " << (messages.empty() ? "none" : messages)
            << "): the document was parsed self-defining, without typed values\n";
}
