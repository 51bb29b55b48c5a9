#include "treeroundtrip.h"

#include "bitstreambuffer.h"
#include "messagesetcompiler.h"
#include "messagesetjson.h"
#include "pluginloader.h"
#include "zelexception.h"
#include "zellog.h"

#include <fstream>
#include <iterator>
#include <memory>
#include <string_view>

namespace {

struct WorkerRelease {
  void operator()(BitstreamWorker* worker) const { worker->release(true); }
};

// One worker per parse or write, as a host may use them.
std::unique_ptr<BitstreamWorker, WorkerRelease> newWorker(const DictionaryInfo* descriptor) {
  static const ZelNamedLogSource owner("roundtrip");
  std::unique_ptr<BitstreamWorker, WorkerRelease> worker(LoadedPlugin::instance().factory().createBitstreamWorker(&owner));
  if (descriptor) worker->setWireFormatDescriptor(descriptor);
  return worker;
}

// A record that holds nothing once the writer's additions are taken out
// equals no record.
WorkerInfoPtr orNoneWhenEmpty(const WorkerInfoPtr& record) {
  for (long key = 0; key < record->getDataPropertyCount(); ++key)
    if (!record->getDataProperty(key).isNothing()) return record;
  return WorkerInfoPtr();
}

// A DOCTYPE without identifiers is recorded with null Strings for them, and
// written back (with a dictionary that does not suppress it) or not at all;
// a document without XML declaration is written with version 1.0.
WorkerInfoPtr withoutWriterDefaults(const WorkerInfoPtr& record) {
  if (!record) return record;
  for (const long key : {2L, 3L})  // the start record's system and public id
    if (record->getDataProperty(key).isNull()) record->setProperty(key, PWFData());
  const PWFData& version = record->getDataProperty(4);
  if (version.getDataLogicalType() == eLogicalString && !version.isNull() &&
      std::u16string_view(version.getStringValue(), version.getStringLength()) == u"1.0")
    record->setProperty(4, PWFData());
  return orNoneWhenEmpty(record);
}

}  // namespace

struct LoadedPlugin::Parts {
  PluginLibrary library{std::string(WF_PLUGIN_DIR) + "/libpwfxml.so"};
  std::map<std::string, OwnedDescriptor> descriptors;
};

LoadedPlugin::LoadedPlugin() : parts_(std::make_unique<Parts>()) {}
LoadedPlugin::~LoadedPlugin() = default;

LoadedPlugin& LoadedPlugin::instance() {
  static LoadedPlugin plugin;
  return plugin;
}

BitstreamWorkerFactory& LoadedPlugin::factory() { return *parts_->library.factoryFor(u"XML"); }

const DictionaryInfo* LoadedPlugin::descriptor(const std::string& source) {
  if (source.empty()) return nullptr;
  const auto found = parts_->descriptors.find(source);
  if (found != parts_->descriptors.end()) return found->second.get();
  return descriptorOf(readMessageSetJsonFile(source), source);
}

const DictionaryInfo* LoadedPlugin::descriptorOf(const msgset::MessageSet& set, const std::string& name) {
  auto& slot = parts_->descriptors[name];
  if (!slot) slot = compileDescriptor(set, name);
  return slot.get();
}

OwnedDescriptor compileDescriptor(const msgset::MessageSet& set, const std::string& name) {
  const std::vector<unsigned char> extract = compileMessageSetToExtract(set, name);
  OwnedDescriptor descriptor(LoadedPlugin::instance().factory().createDescriptor());
  descriptor->FromExtractFormat(nullptr, extract.data(), extract.size());
  descriptor->postProcessDictionary();
  return descriptor;
}

MessageInfo propertiesFrom(const std::map<std::string, long>& values) {
  MessageInfo properties;
  for (const auto& [name, value] : values) properties.setIntegerProperty(ZelWstring::fromUtf8(name), value);
  return properties;
}

std::vector<std::uint8_t> readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void parseTree(const std::vector<std::uint8_t>& bytes, const DictionaryInfo* descriptor, MessageInfo properties,
               MessageTree& tree) {
  const auto worker = newWorker(descriptor);
  TreeBuilder builder(tree);
  const BitstreamBuffer buffer(bytes.data(), bytes.size());
  worker->initializeParse(-1, &properties, 0);
  worker->setFIHandler(&builder);
  worker->parse(&buffer, nullptr, 0, 0);
}

std::vector<std::uint8_t> writeTree(const MessageTree& tree, const DictionaryInfo* descriptor,
                                    MessageInfo properties) {
  const auto worker = newWorker(descriptor);
  worker->initializeWrite(&properties, nullptr, nullptr, nullptr);
  worker->setFIMessageTree(&tree);
  WritableBitstreamBuffer out;
  worker->write(&out, nullptr, 0);
  return out.bytes();
}

std::string comparableJson(MessageTree& tree) {
  tree.setStartMsgInfo(withoutWriterDefaults(tree.getStartMsgInfo()));
  return treeToJson(tree);
}

std::string treeDifference(const std::string& expected, const std::string& actual) {
  if (expected == actual) return {};
  std::size_t at = 0;
  while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
  const std::size_t from = at < 60 ? 0 : at - 60;
  return "a different tree: expected ..." + expected.substr(from, 140) + "\n  but got ..." + actual.substr(from, 140);
}

std::string describe(const ZelException& e) { return std::string(e.getKey() ? e.getKey() : "(no key)") + ": " + e.what(); }

RoundTripResult roundTrip(const std::vector<std::uint8_t>& bytes, const DictionaryInfo* descriptor, MessageTree& first,
                          bool withStartRecords) {
  RoundTripResult result;
  const char* step = "parse";
  try {
    parseTree(bytes, descriptor, MessageInfo(), first);
    step = "write";
    result.written = writeTree(first, descriptor, propertiesFrom({{"ccsid", 1208}}));
    step = "round trip";
    MessageTree second;
    parseTree(result.written, descriptor, MessageInfo(), second);
    if (!withStartRecords) {
      first.setStartMsgInfo(WorkerInfoPtr());
      second.setStartMsgInfo(WorkerInfoPtr());
    }
    result.firstJson = comparableJson(first);
    result.problem = treeDifference(result.firstJson, comparableJson(second));
  } catch (const ZelException& e) {
    result.problem = (result.written.empty() ? "" : "the written document does not parse: ") + describe(e);
  }
  if (!result.problem.empty()) result.failedStep = step;
  return result;
}
