// The host-level calls: the framework's dictionary, tree and properties,
// and a session that changes its worker when a property the worker reads
// only once changes. (host::loadBytes reads every dictionary wfhost is
// given: the end-to-end tests.)
#include "apitestsupport.h"

#include "bitstreambuffer.h"
#include "messageinfo.h"
#include "messagetree.h"
#include "wfxml/host.h"

#include <gtest/gtest.h>

#include <string>

namespace {

MessageInfo subtreeProperties() {
  MessageInfo properties;
  properties.setIntegerProperty(ZelWstring(MI_SUBTREEBITSTREAM_STR), 1);
  return properties;
}

TEST(HostCalls, WritingIntoTheFrameworksBufferAppendsTheSameBytes) {
  wfxml::Session session(kindsMessageSet());
  const wfxml::Message& message = kindsMessage();
  WritableBitstreamBuffer buffer;
  buffer.append("x", 1);
  wfxml::host::write(session, message, MessageInfo(), buffer);
  EXPECT_EQ(std::string(buffer.bytes().begin() + 1, buffer.bytes().end()), textOf(session.write(message)));
}

TEST(HostCalls, APropertyReadOnceGetsAWorkerOfItsOwnAndBack) {
  wfxml::Session session(kindsMessageSet());
  const wfxml::Message& message = kindsMessage();
  const std::string plain = textOf(session.write(message));
  std::vector<std::uint8_t> subtree;
  wfxml::host::write(session, message, subtreeProperties(), subtree);
  std::vector<std::uint8_t> again;
  wfxml::host::write(session, message, MessageInfo(), again);
  EXPECT_EQ(plain.rfind("<?xml", 0), 0u) << plain;
  EXPECT_NE(textOf(subtree).rfind("<?xml", 0), 0u) << textOf(subtree);
  EXPECT_EQ(textOf(again), plain);
}

TEST(HostCalls, TheTreeAndDictionaryAreTheFrameworks) {
  EXPECT_NE(wfxml::host::dictionary(kindsMessageSet()), nullptr);
  EXPECT_EQ(wfxml::host::dictionary(wfxml::MessageSet::none()), nullptr);
  wfxml::Session session(kindsMessageSet());
  wfxml::Message message = wfxml::host::emptyMessage(kindsMessageSet());
  EXPECT_TRUE(wfxml::host::tree(message).empty());
  wfxml::host::parse(session, kKindsDocument.data(), kKindsDocument.size(), MessageInfo(), message);
  const MessageTree& tree = wfxml::host::tree(message);
  EXPECT_EQ(tree.displayName(*tree.getRoot()).toUtf8(), "values");
  EXPECT_EQ(message.root().treeElement(), tree.getRoot());
}

}  // namespace
