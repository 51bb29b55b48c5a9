// The writer resolves each type member once per write: a worker that writes
// with one descriptor and then another must follow the one current at each
// write, even where both have the same rows.
#include "writeitem.h"

#include "writetestsupport.h"

#include <gtest/gtest.h>

#include <string>

using namespace writetest;

namespace {

// msg > one string member, named and rendered as given, in namespace urn:n
// when namespaced.
std::string oneMemberSet(const std::string& name, const std::string& render, bool namespaced) {
  return dataText("sets/write/one-member.json",
                  {{"@NAME@", name}, {"@RENDER@", render}, {"@NAMESPACE@", namespaced ? R"("namespace": "urn:n", )" : ""}});
}

// msg > its one member with the value "x".
void buildOneMember(MessageTree& tree, const XMLDictionaryInfo& descriptor, std::u16string_view member) {
  TreeMaker make(tree, &descriptor);
  make.member(make.tag(nullptr, u"msg"), member, str(u"x"));
}

// One more write of the worker, which was set up for writing once.
std::string writeWith(XMLWorker& worker, const XMLDictionaryInfo& descriptor, const MessageTree& tree) {
  worker.setWireFormatDescriptor(&descriptor);
  worker.setFIMessageTree(&tree);
  WritableBitstreamBuffer out;
  worker.write(&out, nullptr, 0);
  return std::string(out.bytes().begin(), out.bytes().end());
}

}  // namespace

// Both descriptors have their member in the same row, with another name,
// render and namespace: an entry kept from the other write would show.
TEST(WriteDefinitionCache, EachWriteFollowsItsOwnDescriptor) {
  const DescriptorPtr asAttribute = compileDescriptor(oneMemberSet("a", "attribute", false));
  const DescriptorPtr asElement = compileDescriptor(oneMemberSet("e", "element", true));
  MessageTree attributeTree;
  buildOneMember(attributeTree, *asAttribute, u"a");
  MessageTree elementTree;
  buildOneMember(elementTree, *asElement, u"e");
  const std::string attributeAlone = WriteRun(asAttribute.get()).text(attributeTree);
  const std::string elementAlone = WriteRun(asElement.get()).text(elementTree);
  ASSERT_NE(attributeAlone, elementAlone);

  const ZelNamedLogSource owner("test");
  XMLWorker worker(&owner);
  MessageInfo properties;
  worker.setWireFormatDescriptor(asAttribute.get());
  worker.initializeWrite(&properties, nullptr, nullptr, nullptr);
  EXPECT_EQ(writeWith(worker, *asAttribute, attributeTree), attributeAlone);
  EXPECT_EQ(writeWith(worker, *asElement, elementTree), elementAlone);
  EXPECT_EQ(writeWith(worker, *asAttribute, attributeTree), attributeAlone);
}

TEST(WriteDefinitionCache, RowOutsideTheDictionaryRaisesAndCachesNothing) {
  const DescriptorPtr descriptor = compileDescriptor(oneMemberSet("e", "element", false));
  WriteDefinitionCache cache;
  cache.reset(descriptor.get());
  const long rows = descriptor->getStructDefs().GetRowCount();
  EXPECT_ANY_THROW(cache.member(*descriptor, rows));
  EXPECT_ANY_THROW(cache.member(*descriptor, rows));
  EXPECT_NE(cache.member(*descriptor, 0), nullptr);
}
