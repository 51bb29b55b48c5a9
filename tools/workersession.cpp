#include "workersession.h"

#include "bitstreambuffer.h"
#include "fihandler.h"
#include "messageinfo.h"
#include "toolsupport.h"
#include "zelexception.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

DescriptorPtr loadDescriptor(BitstreamWorkerFactory& factory, const std::string& path) {
  const std::vector<std::uint8_t> bytes = readFile(path);
  DescriptorPtr descriptor(factory.createDescriptor());
  descriptor->FromExtractFormat(nullptr, bytes.data(), bytes.size());
  descriptor->postProcessDictionary();
  return descriptor;
}

void setPropertyAssignment(const std::string& option, const std::string& assignment, MessageInfo& properties) {
  const auto equals = assignment.find('=');
  if (equals == std::string::npos || equals == 0)
    throw UsageError(option + " needs NAME=VALUE, not '" + assignment + "'");
  properties.setProperty(ZelWstring::fromUtf8(assignment.substr(0, equals)),
                         ZelWstring::fromUtf8(assignment.substr(equals + 1)));
}

void parseInSteps(BitstreamWorker& worker, MessageInfo& properties, const BitstreamBuffer& buffer, FIHandler& handler,
                  const std::vector<long>* path) {
  worker.initializeParse(-1, &properties, 0);
  worker.setFIHandler(&handler);
  worker.parseFirst(&buffer, path, false, 0, -1);
  while (worker.hasNext()) worker.parseNext();
}

long writeInSteps(BitstreamWorker& worker, MessageInfo& properties, const FIMessageTree& tree,
                  WritableBitstreamBuffer& out) {
  worker.initializeWrite(&properties, nullptr, nullptr, nullptr);
  worker.setFIMessageTree(&tree);
  return worker.write(&out, nullptr, 0);
}

void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  if (path == "-") {
    std::cout.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    std::cout.flush();
    return;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (out) out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    ZelException e(__FILE__, __LINE__, "writeFile", nullptr, ZelMessages::CP_IO_ERROR);
    e.addInsert(path).addInsert(std::strerror(errno));
    throw e;
  }
}

WorkerSession::WorkerSession(const HostOptions& host, const std::string& dictionary)
    : library_(host.plugin),
      factory_(*library_.factoryFor(u"XML")),
      descriptor_(dictionary.empty() ? nullptr : loadDescriptor(factory_, dictionary)),
      logSource_("wfhost"),
      worker_(factory_.createBitstreamWorker(&logSource_)) {
  if (descriptor_) worker_->setWireFormatDescriptor(descriptor_.get());
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

DictionaryFiles::DictionaryFiles(BitstreamWorkerFactory& factory, BitstreamWorker& worker, std::string baseDirectory)
    : factory_(factory), worker_(worker), baseDirectory_(std::move(baseDirectory)) {}

DictionaryFiles::~DictionaryFiles() = default;

void DictionaryFiles::loadDictionary(const ZelWstring& reference) {
  const std::string name = reference.toUtf8();
  auto found = loaded_.find(name);
  if (found == loaded_.end()) {
    std::filesystem::path path(name);
    if (path.is_relative() && !std::filesystem::exists(path) && !baseDirectory_.empty())
      path = std::filesystem::path(baseDirectory_) / path;
    found = loaded_.emplace(name, loadDescriptor(factory_, path.string())).first;
  }
  worker_.setWireFormatDescriptor(found->second.get());
}

void DictionaryFiles::releaseDictionary(const ZelWstring&) { worker_.release(false); }
