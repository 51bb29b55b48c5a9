// Reading the tree as a writer does (the walk itself is the writer tests'),
// its lifetime rules, and very deep trees.
#include "messagetree.h"
#include "tree_test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace treetest;

namespace {

// root{1} -> [ a -> [ a1, a2 ], {2}, c ]
void buildSample(MessageTree& tree) {
  TreeElement& root = tree.createRoot();
  root.setTagId(1);
  root.setKind(6);
  TreeElement& a = tree.appendChild(root);
  tree.setName(a, u"a");
  tree.setName(tree.appendChild(a), u"a1");
  tree.setName(tree.appendChild(a), u"a2");
  TreeElement& defined = tree.appendChild(root);
  defined.setTagId(2);
  defined.setMemberId(5);
  tree.setName(tree.appendChild(root), u"c");
}

class CountingResolver : public TreeNameResolver {
public:
  ZelWstring nameOf(long tagId, long memberId, long) const override {
    ++calls;
    return tagId == 2 ? ZelWstring(u"Defined") : ZelWstring();
  }
  mutable int calls = 0;
};

TEST(TreeIteratorTest, DefinedElementsTakeTheResolversNameOnceSelfDefiningKeepTheirOwn) {
  MessageTree tree;
  buildSample(tree);
  CountingResolver resolver;
  tree.setNameResolver(&resolver);
  const TreeElement& defined = *tree.getRoot()->getFirstChild()->getNextSibling();
  MessageTreeIterator cursor(tree, defined);
  EXPECT_EQ(cursor.getTagName().toUtf8(), "Defined");
  EXPECT_EQ(cursor.getTagName().c_str()[7], u'\0');
  EXPECT_EQ(cursor.getTagName().toUtf8(), "Defined");
  EXPECT_EQ(resolver.calls, 1);
  EXPECT_EQ(MessageTreeIterator(tree, *tree.getRoot()->getFirstChild()).getTagName().toUtf8(), "a");
  EXPECT_EQ(resolver.calls, 1);
  EXPECT_NE(treeToText(tree).find("{2}Defined kind=0 member=5"), std::string::npos);
}

class RecordingSwitch : public EmbeddedDictionarySwitch {
public:
  void loadDictionary(const ZelWstring& reference) override { calls.push_back("load " + reference.toUtf8()); }
  void releaseDictionary(const ZelWstring& reference) override { calls.push_back("release " + reference.toUtf8()); }
  std::vector<std::string> calls;
};

TEST(TreeIteratorTest, OnlyElementsWithADictionaryReferenceSwitchDictionaries) {
  MessageTree tree;
  buildSample(tree);
  TreeElement& embedded = *tree.getRoot()->getLastChild();
  tree.setDictionaryRef(embedded, u"other.dict");
  MessageTreeIterator plain(tree, *tree.getRoot());
  MessageTreeIterator withReference(tree, embedded);

  expectTreeError([&] { withReference.loadDictionaryAndDescriptor(); }, "other.dict");
  plain.loadDictionaryAndDescriptor();  // no reference, no switch needed

  RecordingSwitch recorder;
  tree.setDictionarySwitch(&recorder);
  plain.loadDictionaryAndDescriptor();
  plain.releaseDictionaryAndDescriptor();
  withReference.loadDictionaryAndDescriptor();
  withReference.releaseDictionaryAndDescriptor();
  EXPECT_EQ(recorder.calls, (std::vector<std::string>{"load other.dict", "release other.dict"}));
}

// Counts live records, to show the tree releases what it holds.
class CountedRecord : public DataWorkerInfo<1> {
public:
  CountedRecord() { ++live; }
  ~CountedRecord() override { --live; }
  static int live;
};
int CountedRecord::live = 0;

TEST(TreeLifetimeTest, RollbackClearAndDestructionReleaseEveryRecord) {
  {
    MessageTree tree;
    TreeBuilder builder(tree);
    builder.startMessage(WorkerInfoPtr(new CountedRecord));
    long tag = 1;
    builder.startMessageContent(tag, 6, WorkerInfoPtr(new CountedRecord), -1, -1, 0, -1);
    builder.startEmbeddedMessage();
    builder.startMessageContent(u"m", ZelWstring(), 5, WorkerInfoPtr(new CountedRecord), -1);
    builder.data(str(u"v"), WorkerInfoPtr(new CountedRecord), -1, -1);
    EXPECT_EQ(CountedRecord::live, 4);
    builder.endEmbeddedMessage(false, true);
    EXPECT_EQ(CountedRecord::live, 2);
    EXPECT_EQ(tree.elementCount(), 1u);
    EXPECT_FALSE(tree.getRoot()->hasChildren());
  }
  EXPECT_EQ(CountedRecord::live, 0);

  MessageTree reused;
  reused.setStartMsgInfo(WorkerInfoPtr(new CountedRecord));
  TreeElement& old = reused.createRoot();
  old.setEndInfo(WorkerInfoPtr(new CountedRecord));
  old.setValue(str(u"old"));
  old.setTagId(7);
  reused.appendChild(old);
  reused.clear();
  EXPECT_EQ(CountedRecord::live, 0);
  EXPECT_TRUE(reused.empty());
  // The element that takes the old root's place (and its value's storage) starts new.
  const TreeElement& fresh = reused.createRoot();
  EXPECT_TRUE(!fresh.hasValue() && fresh.getValue().isNothing() && !fresh.hasChildren() && !fresh.hasRecords());
  EXPECT_EQ(fresh.getTagId(), -1);
}

TEST(TreeDepthTest, AHundredThousandLevelsBuildPrintRoundTripAndDestroy) {
  constexpr std::size_t kDepth = 100000;
  MessageTree tree;
  {
    TreeBuilder builder(tree);
    builder.startMessage(WorkerInfoPtr());
    builder.startMessageContent(u"level", ZelWstring(), 5, WorkerInfoPtr(), -1);
    for (std::size_t i = 1; i < kDepth; ++i) builder.startElement(u"level", ZelWstring(), 0, WorkerInfoPtr(), -1, -1);
    builder.data(PWFData::makeInteger(1), WorkerInfoPtr(), -1, -1);
    for (std::size_t i = 1; i < kDepth; ++i) builder.endElement(u"level", ZelWstring(), WorkerInfoPtr());
    builder.endMessageContent(u"level", ZelWstring(), WorkerInfoPtr());
    builder.endMessage(WorkerInfoPtr());
  }
  ASSERT_EQ(tree.elementCount(), kDepth);

  const std::string text = treeToText(tree);
  EXPECT_LT(text.size(), kDepth * 160);  // indentation is capped, so the text stays linear
  EXPECT_NE(text.find("[100000] level kind=0 = Integer:1"), std::string::npos);

  const std::string json = treeToJson(tree);
  MessageTree copy;
  treeFromJson(json, copy);
  EXPECT_EQ(copy.elementCount(), kDepth);
  EXPECT_EQ(treeToJson(copy), json);
}

}  // namespace
