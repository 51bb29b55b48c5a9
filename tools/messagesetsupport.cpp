#include "messagesetsupport.h"

#include "bitstreamworker.h"
#include "stddictionaryinfo.h"
#include "zelexception.h"

#include <filesystem>

wfxml::host::LibraryOptions libraryOf(const HostOptions& host) {
  wfxml::host::LibraryOptions library;
  library.plugin = host.plugin;
  library.logSourceName = "wfhost";
  return library;
}

wfxml::MessageSet openMessageSet(const HostOptions& host, const std::string& dictionary) {
  return dictionary.empty() ? wfxml::host::none(libraryOf(host)) : wfxml::host::load(dictionary, libraryOf(host));
}

void setPropertyAssignment(const std::string& option, const std::string& assignment, MessageInfo& properties) {
  const auto equals = assignment.find('=');
  if (equals == std::string::npos || equals == 0)
    throw UsageError(option + " needs NAME=VALUE, not '" + assignment + "'");
  properties.setProperty(ZelWstring::fromUtf8(assignment.substr(0, equals)),
                         ZelWstring::fromUtf8(assignment.substr(equals + 1)));
}

void readWriteCommandOptions(ArgumentList& args, const char* inputName, WriteCommandOptions& options,
                             const ExtraOption& extra) {
  while (!args.empty()) {
    const std::string arg = args.take();
    if ((extra && extra(arg, args)) || readHostOption(arg, args, options.host)) continue;
    if (arg == "--dict") {
      options.dictionary = args.takeValue(arg);
    } else if (arg == "-o") {
      options.output = args.takeValue(arg);
    } else if (arg == "--prop") {
      setPropertyAssignment(arg, args.takeValue(arg), options.outputProperties);
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw UsageError("unknown option " + arg);
    } else if (options.input.empty()) {
      options.input = arg;
    } else {
      throw UsageError(std::string("only one ") + inputName + ", got '" + options.input + "' and '" + arg + "'");
    }
  }
  if (options.input.empty()) throw UsageError(std::string("no ") + inputName + " given");
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
    found = loaded_.emplace(name, openMessageSet(host_, path.string())).first;
  }
  worker_.setWireFormatDescriptor(wfxml::host::dictionary(found->second));
}

void DictionaryFiles::releaseDictionary(const ZelWstring&) { worker_.release(false); }
