#ifndef TESTS_PLUGIN_WRITETESTSUPPORT_H
#define TESTS_PLUGIN_WRITETESTSUPPORT_H

// Writes hand-built message trees through an XMLWorker the way a host does,
// with descriptors compiled from message-set sources in the JSON format, and
// gives the output as text for byte-exact comparisons.

#include "bitstreambuffer.h"
#include "descriptortestsupport.h"
#include "messageinfo.h"
#include "messagetree.h"
#include "plugintestsupport.h"
#include "timestampmask.h"
#include "xmldictionaryinfo.h"
#include "xmlworker.h"
#include "zelexception.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace writetest {

using plugintest::compileDescriptor;
using plugintest::compileDescriptorFile;
using plugintest::DescriptorPtr;

inline PWFData str(std::u16string_view text) { return PWFData::makeString(text.data(), text.size()); }

// Builds trees: self-defining elements by name, defined ones by the row
// names of the descriptor's tags and members.
class TreeMaker {
public:
  explicit TreeMaker(MessageTree& tree, const XMLDictionaryInfo* descriptor = nullptr)
      : tree_(tree), descriptor_(descriptor) {}

  // Self-defining element (kind 0 field, 2 structure, 5 message); "@a" is
  // an attribute field; an empty name an anonymous value.
  TreeElement& named(TreeElement* parent, std::u16string_view name, PWFData value = PWFData(),
                     unsigned short kind = 0, std::u16string_view uri = {}) {
    TreeElement& e = parent ? tree_.appendChild(*parent) : tree_.createRoot();
    tree_.setName(e, name);
    if (!uri.empty()) tree_.setNamespaceURI(e, uri);
    e.setKind(kind);
    e.setValue(std::move(value));
    return e;
  }
  // The global element with this row name (a message is kind 6).
  TreeElement& tag(TreeElement* parent, std::u16string_view rowName, PWFData value = PWFData(),
                   unsigned short kind = 6) {
    TreeElement& e = parent ? tree_.appendChild(*parent) : tree_.createRoot();
    const long index = rowOf(rowName, true);
    e.setTagIndex(index);
    e.setTagId(descriptor_->getTagCache().get(index).tagId);
    e.setKind(kind);
    e.setValue(std::move(value));
    return e;
  }
  // The type member with this row name (the first one of that name).
  TreeElement& member(TreeElement& parent, std::u16string_view rowName, PWFData value = PWFData(),
                      unsigned short kind = 1) {
    TreeElement& e = tree_.appendChild(parent);
    const long index = rowOf(rowName, false);
    const prf_SMD_TYPEMEMBER_DEFINITION& m = descriptor_->getMemberCache().get(index);
    e.setMemberIndex(index);
    e.setMemberId(m.memberId);
    e.setTagId(m.elementId > 0 ? m.elementId : -1);
    e.setTagIndex(m.elementIndex);
    e.setKind(kind);
    e.setValue(std::move(value));
    return e;
  }
  // An anonymous value (a list item or text run).
  TreeElement& anonymous(TreeElement& parent, PWFData value) { return named(&parent, u"", std::move(value)); }

  long typeIndexOf(std::u16string_view rowName) const {
    for (long i = 0; i < descriptor_->getTypeDefs().GetRowCount(); ++i)
      if (const char16_t* name = descriptor_->getTypeName(i); name && rowName == name) return i;
    ADD_FAILURE() << "no type row";
    return -1;
  }

private:
  long rowOf(std::u16string_view rowName, bool tags) const {
    const long count = tags ? descriptor_->getTagDefs().GetRowCount() : descriptor_->getStructDefs().GetRowCount();
    for (long i = 0; i < count; ++i) {
      const char16_t* name = tags ? descriptor_->getTagName(i) : descriptor_->getMemberName(i);
      if (name && rowName == name) return i;
    }
    ADD_FAILURE() << "no such row";
    return -1;
  }

  MessageTree& tree_;
  const XMLDictionaryInfo* descriptor_;
};

// Parses document into tree with a fresh worker, as a host builds its tree.
inline void parseIntoTree(std::string_view document, const XMLDictionaryInfo* descriptor, MessageTree& tree) {
  const ZelNamedLogSource owner("test");
  XMLWorker worker(&owner);
  TreeBuilder builder(tree);
  MessageInfo properties;
  if (descriptor) worker.setWireFormatDescriptor(descriptor);
  worker.initializeParse(-1, &properties, 0);
  worker.setFIHandler(&builder);
  const BitstreamBuffer buffer(reinterpret_cast<const unsigned char*>(document.data()), document.size());
  worker.parseFirst(&buffer, nullptr, false, 0, -1);
  while (worker.hasNext()) worker.parseNext();
}

// One write through a worker: optional descriptor, output properties.
struct WriteRun {
  const XMLDictionaryInfo* descriptor = nullptr;
  MessageInfo properties;

  WriteRun() = default;
  explicit WriteRun(const XMLDictionaryInfo* dictionary) : descriptor(dictionary) {}

  WriteRun& prop(std::u16string_view name, std::int64_t value) {
    properties.setIntegerProperty(ZelWstring(name), value);
    return *this;
  }

  // The bytes appended to out.
  std::vector<std::uint8_t> bytes(const MessageTree& tree, WritableBitstreamBuffer& out) {
    const ZelNamedLogSource owner("test");
    XMLWorker worker(&owner);
    if (descriptor) worker.setWireFormatDescriptor(descriptor);
    worker.initializeWrite(&properties, nullptr, nullptr, nullptr);
    worker.setFIMessageTree(&tree);
    const std::size_t before = out.getLength();
    const long written = worker.write(&out, nullptr, 0);
    EXPECT_EQ(static_cast<std::size_t>(written), out.getLength() - before);
    return std::vector<std::uint8_t>(out.bytes().begin() + before, out.bytes().end());
  }
  // The output as text (UTF-8 and other single-byte output).
  std::string text(const MessageTree& tree) {
    WritableBitstreamBuffer out;
    const std::vector<std::uint8_t> written = bytes(tree, out);
    return std::string(written.begin(), written.end());
  }
  // The exception the write ends with; a test failure when there is none.
  ZelException failure(const MessageTree& tree, WritableBitstreamBuffer& out) {
    return raisedBy([&] { bytes(tree, out); });
  }
  ZelException failure(const MessageTree& tree) {
    WritableBitstreamBuffer out;
    return failure(tree, out);
  }
};

}  // namespace writetest

#endif
