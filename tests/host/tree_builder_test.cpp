// The tree built from parse events, checked through its text form.
#include "messagetree.h"
#include "tree_test_support.h"
#include "paramname.h"
#include "testdata.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

using namespace treetest;

namespace {

const ZelWstring kNoNamespace;

class TreeBuilderTest : public ::testing::Test {
protected:
  // Opens a defined message as the root, as the parser does for the outer element.
  void startRoot(long tagId = 7) {
    builder.startMessage(WorkerInfoPtr());
    long holder = tagId;
    ASSERT_TRUE(builder.startMessageContent(holder, 6, WorkerInfoPtr(), -1, -1, 3, -1));
    EXPECT_EQ(holder, tagId);
  }
  void finish() {
    builder.endMessageContent(7, WorkerInfoPtr());
    builder.endMessage(WorkerInfoPtr());
  }
  void selfDefining(const char16_t* name, unsigned short kind = 0) {
    builder.startElement(name, kNoNamespace, kind, WorkerInfoPtr(), -1, -1);
  }
  void endSelfDefining(const char16_t* name) { builder.endElement(name, kNoNamespace, WorkerInfoPtr()); }
  void value(const PWFData& data, long itemType = -1, long listType = -1) {
    builder.data(data, WorkerInfoPtr(), itemType, listType);
  }

  MessageTree tree;
  TreeBuilder builder{tree};
};

TEST_F(TreeBuilderTest, DefinedSelfDefiningAndAttributeFieldsWithRecordsAndDeferredEnd) {
  WorkerInfoPtr startRecord(new DataWorkerInfo<6>());
  startRecord->setProperty(4, str(u"1.0"));
  builder.startMessage(startRecord);
  long holder = 7;
  ASSERT_TRUE(builder.startMessageContent(holder, 6, WorkerInfoPtr(), -1, -1, 3, -1));
  selfDefining(u"@id");
  value(str(u"42"));
  endSelfDefining(u"@id");
  builder.startElement(9, 1, commentRecord(u"<!--c-->"), -1, 0, -1, 4, -1);
  value(PWFData::makeInteger(5));
  builder.endElement(9, commentRecord(u"<?pi?>"));
  builder.startElement(u"note", ZelWstring(u"urn:n"), 0, WorkerInfoPtr(), -1, 12);
  value(PWFData::makeNull(eLogicalString));
  builder.endElement(-1, WorkerInfoPtr());  // by-name starts may end by id
  EXPECT_EQ(builder.openDepth(), 1u);       // the message's end is still to come
  finish();

  expectTreeText(tree, "DefinedSelfDefiningAndAttributeFieldsWithRecordsAndDeferredEnd");
}

TEST_F(TreeBuilderTest, ListItemsBecomeAnonymousChildrenAndMarkTheElement) {
  startRoot();
  builder.startElement(11, 12, WorkerInfoPtr(), -1, 0, -1, 5, -1);
  for (int i = 1; i <= 3; ++i) value(PWFData::makeInteger(i), /*itemType=*/4);
  builder.endElement(11, WorkerInfoPtr());
  finish();
  expectTreeText(tree, "ListItemsBecomeAnonymousChildrenAndMarkTheElement");
}

TEST_F(TreeBuilderTest, OneTypedValueIsTheElementsValueASecondMakesBothListItems) {
  startRoot();
  selfDefining(u"union", 9);
  value(PWFData::makeInteger(12), /*itemType=*/3);
  endSelfDefining(u"union");
  selfDefining(u"list", 9);
  value(PWFData::makeInteger(1), /*itemType=*/3);
  value(PWFData::makeInteger(2), /*itemType=*/3);
  endSelfDefining(u"list");
  selfDefining(u"ofUnionList", 9);
  value(str(u"a"), /*itemType=*/2, /*listType=*/8);  // items of a list inside a union
  endSelfDefining(u"ofUnionList");
  finish();
  expectTreeText(tree, "OneTypedValueIsTheElementsValueASecondMakesBothListItems");
}

TEST_F(TreeBuilderTest, MixedContentAndValuesAfterValueOrChildrenGoToAnonymousChildren) {
  startRoot();
  builder.startElement(20, 3, WorkerInfoPtr(), -1, 0, -1, 6, -1);  // a structure
  value(str(u"Dear "));
  selfDefining(u"name");
  value(str(u"Ann"));
  endSelfDefining(u"name");
  value(str(u", hello"));
  builder.endElement(20, WorkerInfoPtr());
  selfDefining(u"twice");
  value(PWFData::makeNull(eLogicalInteger));  // a null is a value ...
  value(PWFData::makeInteger(3));             // ... so this one cannot replace it
  endSelfDefining(u"twice");
  finish();
  expectTreeText(tree, "MixedContentAndValuesAfterValueOrChildrenGoToAnonymousChildren");
}

TEST_F(TreeBuilderTest, AbandonedEmbeddedMessagesLeaveNothingKeptOnesStay) {
  builder.startMessage(WorkerInfoPtr());
  builder.startEmbeddedMessage();  // no message matched at the top ...
  builder.endEmbeddedMessage(false, true);
  builder.startEmbeddedMessage();  // ... so the element starts one by name
  ASSERT_TRUE(builder.startMessageContent(u"doc", kNoNamespace, 5, WorkerInfoPtr(), -1));
  selfDefining(u"before");
  endSelfDefining(u"before");
  builder.startEmbeddedMessage();  // an attempt that builds and is then dropped
  ASSERT_TRUE(builder.startMessageContent(u"dropped", kNoNamespace, 5, WorkerInfoPtr(), -1));
  selfDefining(u"inner");
  value(str(u"x"));
  builder.endEmbeddedMessage(false, true);
  builder.startEmbeddedMessage();
  ASSERT_TRUE(builder.startMessageContent(u"kept", kNoNamespace, 5, WorkerInfoPtr(), -1));
  builder.endMessageContent(u"kept", kNoNamespace, WorkerInfoPtr());
  builder.endMessageContent(u"doc", kNoNamespace, WorkerInfoPtr());
  builder.endMessage(WorkerInfoPtr());
  expectTreeText(tree, "AbandonedEmbeddedMessagesLeaveNothingKeptOnesStay");
  EXPECT_EQ(tree.elementCount(), 3u);
}

TEST_F(TreeBuilderTest, AbandoningTheAttemptThatCreatedTheRootEmptiesTheTree) {
  builder.startMessage(WorkerInfoPtr());
  builder.startEmbeddedMessage();
  builder.startMessageContent(u"doc", kNoNamespace, 5, WorkerInfoPtr(), -1);
  builder.endEmbeddedMessage(false, true);
  EXPECT_TRUE(tree.empty());
  EXPECT_EQ(builder.openDepth(), 0u);
  builder.startMessageContent(u"again", kNoNamespace, 5, WorkerInfoPtr(), -1);  // a new root is allowed
  EXPECT_EQ(tree.getRoot()->getName().toUtf8(), "again");
}

TEST_F(TreeBuilderTest, AMessageWithoutContentEndsWithTagIdMinusOne) {
  builder.startMessage(commentRecord(u"<!--x-->"));
  builder.endMessageContent(-1, WorkerInfoPtr());
  builder.endMessage(WorkerInfoPtr());
  EXPECT_TRUE(tree.empty());
  EXPECT_EQ(treeToText(tree), "message start={0:String:\"<!--x-->\"}\n");
}

// Sends the events named, in order, with fixed arguments.
void send(TreeBuilder& b, const std::string& events) {
  std::istringstream in(events);
  long tag = 1;
  for (std::string event; in >> event;) {
    if (event == "startMessage") b.startMessage(WorkerInfoPtr());
    if (event == "endMessage") b.endMessage(WorkerInfoPtr());
    if (event == "startEmbeddedMessage") b.startEmbeddedMessage();
    if (event == "endEmbeddedMessage") b.endEmbeddedMessage(false, true);
    if (event == "startMessageContent") b.startMessageContent(tag, 6, WorkerInfoPtr(), -1, -1, 0, -1);
    if (event == "endMessageContent") b.endMessageContent(1, WorkerInfoPtr());
    if (event == "startElement") b.startElement(3, 1, WorkerInfoPtr(), -1, 0, -1, 1, -1);
    if (event == "endElement") b.endElement(3, WorkerInfoPtr());
    if (event == "data") b.data(str(u"x"), WorkerInfoPtr(), -1, -1);
  }
}

// tests/data/trees/builder-misuse.txt: event sequences a misbehaving parser
// might send; the last event is blamed.
class TreeBuilderMisuseTest : public ::testing::TestWithParam<DataCase> {};

TEST_P(TreeBuilderMisuseTest, ThrowsTreeErrorNamingTheEvent) {
  MessageTree tree;
  TreeBuilder builder(tree);
  const std::string& events = GetParam()["events"];
  expectTreeError([&] { send(builder, events); }, events.substr(events.rfind(' ') + 1));
}

INSTANTIATE_TEST_SUITE_P(Events, TreeBuilderMisuseTest, ::testing::ValuesIn(dataCases("trees/builder-misuse.txt")),
                         ReadableName());

}  // namespace
