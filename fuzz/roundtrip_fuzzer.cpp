// Arbitrary bytes parsed without a dictionary and against each example
// dictionary; a document that parses is written back as UTF-8 with the same
// descriptor, and the written document must parse again into the same tree.
#include "fuzzsupport.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// The writer stamps documents it writes without a dictionary with a comment
// that the second parse keeps in the next record: cut it out, and drop a
// record that is left empty.
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

// A document without DOCTYPE is written with one naming the root; the
// identifiers it lacks come back as null strings.
WorkerInfoPtr withoutAbsentDoctypeIds(const WorkerInfoPtr& record) {
  if (!record) return record;
  for (const long key : {2L, 3L})  // the start record's system and public id
    if (record->getDataProperty(key).isNull()) record->setProperty(key, PWFData());
  return record;
}

// With a descriptor the writer takes the prolog from the message set, not
// from the tree's start record: the record is left out of the comparison.
std::string comparableJson(MessageTree& tree, bool withDescriptor) {
  tree.setStartMsgInfo(withDescriptor ? WorkerInfoPtr()
                                      : withoutAbsentDoctypeIds(withoutTimeStamp(tree.getStartMsgInfo())));
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

[[noreturn]] void fail(const char* what, const std::string& detail, const std::vector<std::uint8_t>& written) {
  std::fprintf(stderr, "%s\n%s\nwritten:\n%.*s\n", what, detail.c_str(), static_cast<int>(written.size()),
               reinterpret_cast<const char*>(written.data()));
  std::abort();
}

void roundTrip(const std::uint8_t* data, std::size_t size, const DictionaryInfo* descriptor) {
  MessageInfo inProperties;
  MessageTree first;
  if (!parseInto(data, size, descriptor, inProperties, first)) return;

  static const ZelNamedLogSource owner("fuzz");
  std::vector<std::uint8_t> written;
  {
    std::unique_ptr<BitstreamWorker> writer(workerFactory().createBitstreamWorker(&owner));
    if (descriptor) writer->setWireFormatDescriptor(descriptor);
    MessageInfo outProperties;
    outProperties.setIntegerProperty(u"ccsid", 1208);
    WritableBitstreamBuffer out;
    try {
      writer->initializeWrite(&outProperties, nullptr, nullptr, nullptr);
      writer->setFIMessageTree(&first);
      writer->write(&out, nullptr, 0);
    } catch (const ZelException& e) {
      fail("a parsed tree does not write", e.what(), written);
    }
    if (descriptor) writer->release(false);
    written = out.bytes();
  }

  MessageInfo againProperties;
  MessageTree second;
  if (!parseInto(written.data(), written.size(), descriptor, againProperties, second))
    fail("the written document does not parse", "", written);
  const std::string before = comparableJson(first, descriptor != nullptr);
  const std::string after = comparableJson(second, descriptor != nullptr);
  if (before != after) fail("the tree changed in the round trip", before + "\n" + after, written);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  roundTrip(data, size, nullptr);
  for (const DescriptorPtr& descriptor : exampleDescriptors(false)) roundTrip(data, size, descriptor.get());
  return 0;
}
