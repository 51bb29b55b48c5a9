// The tree walk's failures, limits and bookkeeping: what ends a write, that
// a failed write leaves the output as it was, deep trees, the worker's
// calling order and its descriptor stack, embedded messages of another
// message set.
#include "writetestsupport.h"

#include "xmlworkerutility.h"
#include "xmlwriter.h"
#include "host/test_support.h"
#include "testdata.h"
#include "paramname.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>

using namespace writetest;

namespace {

constexpr char kSimpleSet[] = "sets/write/simple.json";

const XMLDictionaryInfo& simpleDescriptor() {
  static const DescriptorPtr descriptor = compileDescriptorFile(kSimpleSet);
  return *descriptor;
}

void expectInternalError(const ZelException& e, const std::string& cause) {
  EXPECT_EQ(e.getMessageNumber(), ZelMessages::CP_XML_INTERNAL_ERROR) << e.what();
  EXPECT_EQ(insertsOf(e), (std::vector<std::string>{"XML Worker Internal Error", cause}));
}

}  // namespace

TEST(XMLWriterFailures, UnparsedBitstreamElementEndsTheWriteAndKeepsEarlierBytes) {
  MessageTree tree;
  TreeMaker make(tree, &simpleDescriptor());
  TreeElement& msg = make.tag(nullptr, u"msg");
  // Enough text before the fault that part of it is converted already.
  for (int i = 0; i < 2000; ++i) make.member(msg, u"text", str(u"0123456789"));
  make.named(&msg, u"raw", PWFData::makeBinary({'<', 'x', '/', '>'}), 4).setBitStream(true);
  WritableBitstreamBuffer out;
  out.append("earlier", 7);
  const ZelException e = WriteRun(&simpleDescriptor()).failure(tree, out);
  EXPECT_EQ(e.getMessageNumber(), ZelMessages::CP_XML_WRITING_UNPARSED_BUFFER_ERROR);
  EXPECT_EQ(insertsOf(e), std::vector<std::string>{"The XML worker cannot write out an unparsed buffer"});
  EXPECT_EQ(std::string(out.bytes().begin(), out.bytes().end()), "earlier");
}

TEST(XMLWriterFailures, UnparsedBytesOfAnElementAreCopiedUnconverted) {
  MessageTree tree;
  TreeMaker make(tree, &simpleDescriptor());
  TreeElement& msg = make.tag(nullptr, u"msg");
  make.member(msg, u"text",
              PWFData::makeBinary({'<', 't', 'e', 'x', 't', '>', 0xC3, 0xA9, '<', '/', 't', 'e', 'x', 't', '>'}))
      .setBitStream(true);
  WriteRun run(&simpleDescriptor());
  run.prop(MI_CCSID_STR, 1200);
  WritableBitstreamBuffer out;
  const std::vector<std::uint8_t> bytes = run.bytes(tree, out);
  // <msg> in UTF-16, then the bytes as they were, then </msg> in UTF-16.
  const std::string raw(bytes.begin(), bytes.end());
  EXPECT_NE(raw.find(std::string("\0><text>\xC3\xA9</text>\0<", 17)), std::string::npos);
}

// Names of self-defining elements and attributes come from the tree: one
// that is not an XML name (or holds a colon while the writer chooses the
// prefixes) ends the write instead of making the document ill-formed.
// Characters from U+10000 to U+EFFFF are name characters.
TEST(XMLWriterFailures, SelfDefiningNameThatIsNoXmlNameEndsTheWrite) {
  const DescriptorPtr namespaces = compileDescriptorFile("sets/write/namespaced-one-member.json");
  const struct {
    std::u16string_view name;
    const XMLDictionaryInfo* descriptor;
    bool refused;
  } cases[] = {{u"a b", nullptr, true},         {u"1a", nullptr, true},          {u"@x<", nullptr, true},
               {u"@", nullptr, true},           {u"p:x", nullptr, false},        {u"p:x", namespaces.get(), true},
               {u"@p:x", namespaces.get(), true}, {u"\u00e9t\u00e9", namespaces.get(), false},
               {u"a\x01", nullptr, true},       {u"\U00010000a", namespaces.get(), false},
               {u"a\U000EFFFF", nullptr, false}, {u"a\U000F0000", nullptr, true}};
  for (const auto& c : cases) {
    MessageTree tree;
    TreeMaker make(tree);
    make.named(&make.named(nullptr, u"root", PWFData(), 5), c.name, str(u"v"));
    WritableBitstreamBuffer out;
    if (!c.refused) {
      EXPECT_NO_THROW(WriteRun(c.descriptor).bytes(tree, out)) << ZelWstring(c.name).toUtf8();
      continue;
    }
    const ZelException e = WriteRun(c.descriptor).failure(tree, out);
    EXPECT_EQ(e.getMessageNumber(), ZelMessages::CP_TREE_ERROR) << ZelWstring(c.name).toUtf8();
    EXPECT_EQ(out.getLength(), 0u);
  }
}

// An attribute the tree holds twice ends the write instead of making the
// start tag ill-formed; one the writer would write itself as a null marker
// is written as the tree holds it, once, whatever its value.
TEST(XMLWriterFailures, AttributeIsWrittenOnceOrEndsTheWrite) {
  const DescriptorPtr nulls =
      compileDescriptor(dataText("sets/write/nulls.json", {{"@ENCODING@", "trueAttribute"}, {"@NAMESPACES@", "false"}}));
  // Self-defining attributes, and a member's attribute (written without its item).
  MessageTree selfDefining;
  TreeMaker makeSelfDefining(selfDefining);
  TreeElement& root = makeSelfDefining.named(nullptr, u"a", PWFData(), 5);
  MessageTree members;
  TreeMaker makeMembers(members, nulls.get());
  TreeElement& msg = makeMembers.tag(nullptr, u"msg");
  for (const char16_t* value : {u"1", u"2"}) {
    makeSelfDefining.named(&root, u"@x", str(value));
    makeMembers.member(msg, u"attr", str(value));
  }
  for (const auto& [tree, descriptor, names] :
       {std::tuple<const MessageTree&, const XMLDictionaryInfo*, std::vector<std::string>>{selfDefining, nullptr, {"a", "x"}},
        {members, nulls.get(), {"msg", "attr"}}}) {
    WritableBitstreamBuffer out;
    const ZelException e = WriteRun(descriptor).failure(tree, out);
    EXPECT_EQ(e.getMessageNumber(), ZelMessages::CP_TREE_ERROR) << e.what();
    EXPECT_EQ(insertsOf(e), (std::vector<std::string>{"An attribute would be written twice on one start tag",
                                                      names[0], names[1]}));
    EXPECT_EQ(out.getLength(), 0u);
  }

  for (const char16_t* marker : {u"yes", u"no"}) {
    MessageTree marked;
    TreeMaker make(marked, nulls.get());
    TreeElement& msg = make.tag(nullptr, u"msg");
    make.named(&make.member(msg, u"text", PWFData::makeNull(eLogicalString)), u"@NIL", str(marker));
    // A structure's null simple value, the tree's attribute after it.
    TreeElement& code = make.member(msg, u"code");
    make.named(&code, u"", PWFData::makeNull(eLogicalString));
    make.named(&code, u"@NIL", str(marker));
    const std::string value = ZelWstring(marker).toUtf8();
    EXPECT_EQ(WriteRun(nulls.get()).text(marked),
              "<msg><text NIL=\"" + value + "\"></text><code NIL=\"" + value + "\"></code></msg>");
  }
}

// An element written the short way holds its start tag back until its last
// child has shown that the short way fits; an attribute longer than the
// held text's room makes it grow, then it is written or taken back.
TEST(XMLWriterTrees, LongAttributeBeforeAChildThatNeedsTheItem) {
  MessageTree tree;
  TreeMaker make(tree, &simpleDescriptor());
  TreeElement& msg = make.tag(nullptr, u"msg");
  const std::string longText(9000, 'x');
  for (const bool plain : {true, false}) {
    TreeElement& text = make.member(msg, u"text", str(u"v"));
    make.member(text, u"id", str(ZelWstring::fromUtf8(longText).view()));
    if (!plain) make.named(&text, u"@k", str(u"w"));
  }
  const std::string start = "<text id=\"" + longText + "\"";
  EXPECT_EQ(WriteRun(&simpleDescriptor()).text(tree),
            "<msg>" + start + ">v</text>" + start + " k=\"w\">v</text></msg>");
}

// tests/data/write/leaves.txt (each leaf shape and its output) and
// write/malformed-trees.txt (each malformed tree and the cause of its error).
class XMLWriterTrees : public testing::TestWithParam<DataCase> {};

TEST_P(XMLWriterTrees, AreWrittenOrEndWithTheirError) {
  const DataCase& c = GetParam();
  MessageTree tree;
  treeFromJson(c.text, tree);
  if (c.fields.count("cause")) {
    const DescriptorPtr withDocType = compileDescriptorFile("sets/write/with-doctype.json");
    return expectInternalError(WriteRun(withDocType.get()).failure(tree), c["cause"]);
  }
  EXPECT_EQ(WriteRun(&simpleDescriptor()).prop(MI_SUBTREEBITSTREAM_STR, 1).text(tree), c["expected"]);
}

INSTANTIATE_TEST_SUITE_P(Leaves, XMLWriterTrees, testing::ValuesIn(dataCases("write/leaves.txt")), ReadableName());
INSTANTIATE_TEST_SUITE_P(Malformed, XMLWriterTrees, testing::ValuesIn(dataCases("write/malformed-trees.txt")),
                         [](const testing::TestParamInfo<DataCase>& info) { return info.param.label; });

// ---------------------------------------------------------------------------
// Depth: the walk recurses once per level and stops with an error in time.

// What parses writes back: the deepest document the parser accepts is
// written as it was read, and one level more the parser refuses.
TEST(XMLWriterDepth, DeepestDocumentThatParsesIsWrittenBack) {
  const auto nested = [](long depth) {
    std::string open, close;
    for (long i = 0; i < depth; ++i) open += "<a>", close += "</a>";
    return open + close;
  };
  MessageTree tree;
  parseIntoTree(nested(XMLWriter::MAX_TREE_DEPTH), nullptr, tree);
  EXPECT_EQ(WriteRun().prop(MI_SUBTREEBITSTREAM_STR, 1).text(tree), nested(XMLWriter::MAX_TREE_DEPTH));
  MessageTree deeper;
  EXPECT_THROW(parseIntoTree(nested(XMLWriter::MAX_TREE_DEPTH + 1), nullptr, deeper), ZelException);
}

TEST(XMLWriterDepth, DeeperTreeEndsTheWriteWithAnErrorNotACrash) {
  for (long depth : {XMLWriter::MAX_TREE_DEPTH + 1, 100000L}) {
    MessageTree tree;
    TreeMaker make(tree);
    TreeElement* element = &make.named(nullptr, u"d", PWFData(), 5);
    for (long i = 1; i < depth; ++i) element = &make.named(element, u"d", PWFData(), 2);
    WritableBitstreamBuffer out;
    const ZelException e = WriteRun().failure(tree, out);
    EXPECT_EQ(e.getMessageNumber(), ZelMessages::CP_XML_INTERNAL_ERROR);
    EXPECT_EQ(insertsOf(e),
              (std::vector<std::string>{"XML Worker Internal Error", "The message tree is too deep to be written",
                                        std::to_string(XMLWriter::MAX_TREE_DEPTH)}));
    EXPECT_EQ(out.getLength(), 0u);
  }
}

// ---------------------------------------------------------------------------
// The worker's write side.

namespace {
std::vector<std::string> wrongOrderInserts(const std::function<void()>& call) {
  const ZelParserException e = raisedBy<ZelParserException>(call);
  EXPECT_EQ(e.getMessageNumber(), ZelMessages::CP_INTERNAL_ERROR);
  return insertsOf(e);
}
}  // namespace

TEST(XMLWorkerWrite, CallsOutOfOrderAreRefused) {
  const ZelNamedLogSource owner("test");
  XMLWorker worker(&owner);
  WritableBitstreamBuffer out;
  const std::vector<std::string> notCalled{"XML Worker initializeWrite not called."};
  EXPECT_EQ(wrongOrderInserts([&] { worker.write(&out, nullptr, 0); }), notCalled);
  EXPECT_EQ(wrongOrderInserts([&] { worker.setFIMessageTree(nullptr); }), notCalled);
  EXPECT_EQ(wrongOrderInserts([&] { worker.getFIMessageTree(); }), notCalled);

  MessageInfo properties;
  worker.initializeWrite(&properties, nullptr, nullptr, nullptr);
  bool done = false;
  EXPECT_EQ(wrongOrderInserts([&] { worker.initializeWrite(&properties, nullptr, nullptr, &done); }),
            std::vector<std::string>{"XML Worker initializeWrite already called."});
  EXPECT_TRUE(done);
}

TEST(XMLWorkerWrite, WriterFollowsTheDescriptorStack) {
  const DescriptorPtr yesNo = compileDescriptorFile("sets/write/yes-no.json");
  MessageTree tree;
  TreeMaker make(tree, yesNo.get());
  make.member(make.tag(nullptr, u"msg"), u"flag", PWFData::makeBoolean(true));

  const ZelNamedLogSource owner("test");
  XMLWorker worker(&owner);
  worker.setWireFormatDescriptor(yesNo.get());
  MessageInfo properties;
  worker.initializeWrite(&properties, nullptr, nullptr, nullptr);
  worker.setFIMessageTree(&tree);
  auto written = [&] {
    WritableBitstreamBuffer out;
    worker.write(&out, nullptr, 0);
    return maskTimeStamp(std::string(out.bytes().begin(), out.bytes().end()));
  };
  EXPECT_EQ(written(), "<msg><flag>yes</flag></msg>");
  worker.setWireFormatDescriptor(&simpleDescriptor());
  worker.release(false);
  EXPECT_EQ(worker.getWireFormatDescriptor(), yesNo.get());
  EXPECT_EQ(written(), "<msg><flag>yes</flag></msg>");
  worker.release(false);
  EXPECT_EQ(worker.getWireFormatDescriptor(), nullptr);
  // Without a descriptor every element is self-defining and named by the
  // tree, which has no names for these: the root cannot be an element.
  const ZelParserException e = raisedBy<ZelParserException>([&] { written(); });
  expectInternalError(e, "Should never call writeTree on something that isn't rendered as an element");
}

// ---------------------------------------------------------------------------
// An embedded message of another message set, with its own dictionary.

namespace {

constexpr char kOuterSet[] = "sets/write/embedding-outer.json";
constexpr char kInnerSet[] = "sets/write/embedded-inner.json";

// An outer message with an embedded note of another message set, written
// by a worker that the tree's dictionary switch pushes the note's
// descriptor onto (and pops it from), counting both.
class XMLWriterEmbedded : public testing::Test, public EmbeddedDictionarySwitch {
protected:
  XMLWriterEmbedded() : worker(&owner) {
    msg = &makeOuter.tag(nullptr, u"msg");
    note = &makeInner.tag(msg, u"note");
    tree.setDictionaryRef(*note, u"inner");
    tree.setDictionarySwitch(this);
    worker.setWireFormatDescriptor(outer.get());
    worker.initializeWrite(&properties, nullptr, nullptr, nullptr);
  }
  void loadDictionary(const ZelWstring& reference) override {
    EXPECT_EQ(reference, std::u16string_view(u"inner"));
    worker.setWireFormatDescriptor(inner.get());
    ++loads;
  }
  void releaseDictionary(const ZelWstring&) override {
    worker.release(false);
    ++releases;
  }
  std::string write(const MessageTree& written) {
    worker.setFIMessageTree(&written);
    WritableBitstreamBuffer out;
    worker.write(&out, nullptr, 0);
    return std::string(out.bytes().begin(), out.bytes().end());
  }

  const DescriptorPtr outer = compileDescriptorFile(kOuterSet);
  const DescriptorPtr inner = compileDescriptorFile(kInnerSet);
  MessageTree tree;
  TreeMaker makeOuter{tree, outer.get()};
  TreeMaker makeInner{tree, inner.get()};
  TreeElement* msg;
  TreeElement* note;
  const ZelNamedLogSource owner{"test"};
  MessageInfo properties;
  XMLWorker worker;
  int loads = 0;
  int releases = 0;
};

}  // namespace

TEST_F(XMLWriterEmbedded, EmbeddedMessageIsWrittenWithItsOwnDictionary) {
  makeOuter.member(*msg, u"flag", PWFData::makeBoolean(true));
  makeInner.member(*note, u"flag", PWFData::makeBoolean(true));
  makeOuter.member(*msg, u"flag", PWFData::makeBoolean(true));
  EXPECT_EQ(write(tree),
            "<msg><in:note xmlns:in=\"urn:inner\"><in:flag>yes</in:flag></in:note><flag>Y</flag><flag>Y</flag></msg>");
  // Once to see whether it is an attribute, once to write it.
  EXPECT_EQ(loads, 2);
  EXPECT_EQ(releases, 2);
  EXPECT_EQ(worker.getWireFormatDescriptor(), outer.get());
}

TEST_F(XMLWriterEmbedded, FailureInsideAnEmbeddedMessageReleasesItsDictionary) {
  // Deep inside the embedded message: an unparsed bitstream.
  makeInner.named(&makeInner.named(note, u"deeper", PWFData(), 2), u"raw", PWFData(), 4);
  const ZelParserException e = raisedBy<ZelParserException>([&] { write(tree); });
  EXPECT_EQ(e.getMessageNumber(), ZelMessages::CP_XML_WRITING_UNPARSED_BUFFER_ERROR);
  EXPECT_EQ(loads, releases);
  EXPECT_EQ(worker.getWireFormatDescriptor(), outer.get());
  // The worker writes the next tree as before.
  MessageTree plain;
  TreeMaker makePlain(plain, outer.get());
  makePlain.member(makePlain.tag(nullptr, u"msg"), u"flag", PWFData::makeBoolean(true));
  EXPECT_EQ(write(plain), "<msg><flag>Y</flag></msg>");
}
