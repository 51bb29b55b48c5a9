// Arbitrary bytes parsed without a dictionary and against each example
// dictionary; a document that parses is written back as UTF-8 with the same
// descriptor, and the written document must parse again into the same tree
// (compared as the end-to-end round-trip tests compare). Without a
// dictionary it is written in Latin-1 too, where what the code page lacks is
// a character reference or, where none may stand (a name, a comment, the
// DOCTYPE ...), refused: the document then parses into the same tree as well.
#include "fuzzsupport.h"
#include "stddictionaryinfo.h"
#include "treeroundtrip.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

// Whether the writer writes the DOCTYPE of a start record: only one with an
// identifier or an internal subset.
bool writesDocType(const WorkerInfoPtr& record) {
  for (const long key : {eStartMsgSystemId, eStartMsgPublicId, eStartMsgInternalSubset}) {
    const PWFData& value = record->getDataProperty(key);
    if (value.getDataLogicalType() == eLogicalString && !value.isNull() && value.getStringLength() > 0) return true;
  }
  return false;
}

// With a descriptor the writer takes the prolog from the message set, not
// from the tree's start record: the record is left out of the comparison.
// Without, the comments and processing instructions met before a DOCTYPE
// come back only where the DOCTYPE is written: before the root element
// alone they are not kept.
std::string comparableJson(MessageTree& tree, bool withDescriptor) {
  if (withDescriptor) tree.setStartMsgInfo(WorkerInfoPtr());
  const WorkerInfoPtr& start = tree.getStartMsgInfo();
  if (start && !writesDocType(start)) start->setProperty(eStartMsgPrefixText, PWFData());
  return ::comparableJson(tree);
}

// An element of a list type holds items; one that holds an element too
// comes only of a document its schema refuses, and the writer puts the
// list's separator before each of its texts, so such a tree grows a blank
// at every round trip.
bool holdsListWithElements(const TreeElement* e) {
  for (; e; e = e->getNextSibling()) {
    if (e->getKind() == eKindList)
      for (const TreeElement* child = e->getFirstChild(); child; child = child->getNextSibling())
        if (!child->getName().empty() || child->getTagId() >= 1) return true;
    if (holdsListWithElements(e->getFirstChild())) return true;
  }
  return false;
}

// A null in an element that is not nillable comes only of a document the
// set refuses (the parse gives one to an element whose value attribute is
// absent): the set's null text written in its place need not read back, and
// the API's checked write refuses such a tree.
bool holdsNullItMayNotHold(const TreeElement* e, const StdDictionaryInfo& dictionary) {
  const auto& tags = dictionary.getTagCache();
  const auto& members = dictionary.getMemberCache();
  for (; e; e = e->getNextSibling()) {
    // An anonymous value stands for its element, beside its attributes.
    const bool anonymous = e->getName().empty() && e->getTagIndex() < 0 && e->getMemberIndex() < 0;
    const TreeElement* holder = anonymous && e->getParent() ? e->getParent() : e;
    long tag = holder->getTagIndex();
    if (holder->getMemberIndex() >= 0 && static_cast<std::size_t>(holder->getMemberIndex()) < members.size())
      tag = members[holder->getMemberIndex()].elementIndex;
    if (e->getValue().isNull() && tag >= 0 && static_cast<std::size_t>(tag) < tags.size() && !tags[tag].nillable)
      return true;
    if (holdsNullItMayNotHold(e->getFirstChild(), dictionary)) return true;
  }
  return false;
}

[[noreturn]] void fail(const char* what, const std::string& detail, const std::vector<std::uint8_t>& written) {
  std::fprintf(stderr, "%s\n%s\nwritten:\n%.*s\n", what, detail.c_str(), static_cast<int>(written.size()),
               reinterpret_cast<const char*>(written.data()));
  std::abort();
}

constexpr long kUtf8 = 1208;
constexpr long kLatin1 = 819;

// The tree written in ccsid; nothing when Latin-1 lacks a character where no
// reference may stand for it.
std::optional<std::vector<std::uint8_t>> write(MessageTree& tree, const DictionaryInfo* descriptor, long ccsid) {
  static const ZelNamedLogSource owner("fuzz");
  std::unique_ptr<BitstreamWorker> writer(workerFactory().createBitstreamWorker(&owner));
  if (descriptor) writer->setWireFormatDescriptor(descriptor);
  MessageInfo outProperties;
  outProperties.setIntegerProperty(u"ccsid", ccsid);
  WritableBitstreamBuffer out;
  try {
    writer->initializeWrite(&outProperties, nullptr, nullptr, nullptr);
    writer->setFIMessageTree(&tree);
    writer->write(&out, nullptr, 0);
  } catch (const ZelException& e) {
    if (ccsid == kLatin1 && e.getMessageNumber() == ZelMessages::CP_CONVERSION_ERROR && e.getInserts().size() == 3)
      return std::nullopt;
    fail("a parsed tree does not write", e.what(), {});
  }
  if (descriptor) writer->release(false);
  return out.bytes();
}

void roundTrip(const std::uint8_t* data, std::size_t size, const DictionaryInfo* descriptor, long ccsid) {
  MessageInfo inProperties;
  MessageTree first;
  if (!parseInto(data, size, descriptor, inProperties, first)) return;
  // A tree without message content (a root wrapper alone) writes nothing.
  if (first.empty() || holdsListWithElements(first.getRoot())) return;
  if (const auto* dictionary = dynamic_cast<const StdDictionaryInfo*>(descriptor);
      dictionary && holdsNullItMayNotHold(first.getRoot(), *dictionary))
    return;
  const std::optional<std::vector<std::uint8_t>> written = write(first, descriptor, ccsid);
  if (!written) return;

  MessageInfo againProperties;
  againProperties.setIntegerProperty(u"ccsid", ccsid);
  MessageTree second;
  if (!parseInto(written->data(), written->size(), descriptor, againProperties, second))
    fail("the written document does not parse", std::to_string(ccsid), *written);
  const std::string before = comparableJson(first, descriptor != nullptr);
  const std::string after = comparableJson(second, descriptor != nullptr);
  if (before != after)
    fail("the tree changed in the round trip", std::to_string(ccsid) + "\n" + before + "\n" + after, *written);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  roundTrip(data, size, nullptr, kUtf8);
  roundTrip(data, size, nullptr, kLatin1);
  for (const DescriptorPtr& descriptor : exampleDescriptors(false)) roundTrip(data, size, descriptor.get(), kUtf8);
  return 0;
}
