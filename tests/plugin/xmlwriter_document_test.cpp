// The document around the message: byte-order mark, XML declaration,
// prefix text, DOCTYPE, time-stamp comment, root wrapper, dependency
// namespaces; subtree output; the worker's calling order; failures.
#include "writetestsupport.h"

#include "host/test_support.h"
#include "textbufferwriter.h"
#include "xmlwriter.h"
#include "xmlworkerutility.h"
#include "paramname.h"

#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>

using namespace writetest;

namespace {

// <order><item>Cup &amp; saucer</item></order>, self-defining.
void buildOrder(MessageTree& tree) {
  TreeMaker make(tree);
  TreeElement& order = make.named(nullptr, u"order", PWFData(), 5);
  make.named(&order, u"item", str(u"Cup & saucer"));
}

WorkerInfoPtr startRecord(std::initializer_list<std::pair<long, PWFData>> properties) {
  WorkerInfoPtr record(new XMLStartMsgInfo());
  for (const auto& [key, value] : properties) record->setProperty(key, value);
  return record;
}

}  // namespace

// Without dictionary the same tree gives the same bytes: the DOCTYPE and
// the time-stamp comment come only when the output properties ask.
TEST(XMLWriterDocument, DocTypeAndTimeStampCommentOnlyWhenAskedWithoutDictionary) {
  MessageTree tree;
  buildOrder(tree);
  EXPECT_EQ(WriteRun().text(tree), "<?xml version=\"1.0\"?><order><item>Cup &amp; saucer</item></order>");
  WriteRun asking;
  asking.prop(MI_DOCTYPE_STR, 1);
  asking.prop(MI_TIMESTAMPCOMMENT_STR, 1);
  const std::string xml = asking.text(tree);
  const std::regex stamp("<!DOCTYPE order><!--VRK Generated XML Output on :[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] "
                         "[0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}\\n--><order>");
  EXPECT_TRUE(std::regex_search(xml, stamp)) << xml;
}

// The DOCTYPE's shapes from fewer identifiers are the printer test's.
TEST(XMLWriterDocument, ParserRecordsComeBackWithoutDictionary) {
  MessageTree tree;
  buildOrder(tree);
  tree.setStartMsgInfo(startRecord({{eStartMsgPrefixText, str(u"<!-- first --><?pi x?>")},
                                    {eStartMsgStandalone, str(u"yes")},
                                    {eStartMsgSystemId, str(u"order.dtd")},
                                    {eStartMsgPublicId, str(u"-//Example//Order//EN")},
                                    {eStartMsgVersion, str(u"1.1")},
                                    {eStartMsgInternalSubset, str(u"<!ENTITY e \"x\">")}}));
  EXPECT_EQ(WriteRun().text(tree),
            "<?xml version=\"1.1\" standalone=\"yes\"?><!-- first --><?pi x?>"
            "<!DOCTYPE order PUBLIC \"-//Example//Order//EN\" \"order.dtd\" [<!ENTITY e \"x\">]>"
            "<order><item>Cup &amp; saucer</item></order>");
}

// tests/data/write/code-pages.txt: byte-order marks and encoding names per
// code page, without dictionary; the output equals the expected text
// converted on its own.
class XMLWriterCodePages : public testing::TestWithParam<DataCase> {};

TEST_P(XMLWriterCodePages, MarkAndDeclarationFollowTheOutputSettings) {
  const DataCase& c = GetParam();
  const auto number = [&c](const char* key) { return c.fields.count(key) ? std::stol(c[key]) : -1L; };
  const std::string mark = c.fields.count("mark") ? c["mark"] : "";
  MessageTree tree;
  buildOrder(tree);
  WriteRun run;
  run.prop(MI_CCSID_STR, number("ccsid"));
  if (number("encoding") >= 0) run.prop(MI_ENCODING_STR, number("encoding"));
  WritableBitstreamBuffer out;
  const std::vector<std::uint8_t> written = run.bytes(tree, out);

  const long endian = number("encoding") >= 0 && (number("encoding") & 0xF) == 2 ? 1 : 2;
  std::u16string declaration = u"<?xml version=\"1.0\"";
  if (c.fields.count("name")) declaration += u" encoding=\"" + std::u16string(ZelWstring::fromUtf8(c["name"]).view()) + u"\"";
  declaration += u"?><order>";
  WritableBitstreamBuffer expected;
  TextBufferWriter text(&expected, number("ccsid"), endian);
  text.appendStr(declaration.data(), declaration.size());
  text.flush();
  EXPECT_EQ(hexOf(written).substr(0, mark.size()), mark);
  const std::vector<std::uint8_t> rest(written.begin() + static_cast<long>(mark.size() / 2), written.end());
  EXPECT_EQ(hexOf(rest).substr(0, 2 * expected.getLength()), hexOf(expected.bytes()));
}

INSTANTIATE_TEST_SUITE_P(Marks, XMLWriterCodePages, testing::ValuesIn(dataCases("write/code-pages.txt")),
                         [](const auto& info) { return info.param.label; });

TEST(XMLWriterDocument, EmptyTreeWritesNothing) {
  MessageTree tree;
  WritableBitstreamBuffer out;
  out.append("keep", 4);
  EXPECT_TRUE(WriteRun().bytes(tree, out).empty());
  EXPECT_EQ(out.getLength(), 4u);
}

// ---------------------------------------------------------------------------
// With a dictionary.

namespace {

std::string documentSet(const std::string& properties, const std::string& extra = "") {
  return dataText("sets/write/document.json", {{"@PROPERTIES@", properties}, {"@EXTRA@", extra}});
}

// tests/data/write/document-starts.txt: message sets, start records and the
// documents' starts.
class XMLWriterDocumentStarts : public testing::TestWithParam<DataCase> {};

}  // namespace

TEST_P(XMLWriterDocumentStarts, FollowTheMessageSetAndTheParsersRecord) {
  const DataCase& c = GetParam();
  const DescriptorPtr descriptor = compileDescriptor(documentSet(c["properties"], c.fields.count("extra") ? c["extra"] : ""));
  MessageTree tree;
  if (c.fields.count("start"))
    treeFromJson(R"({"format": "message-tree", "version": 1, "startMessage": )" + c["start"] + "}", tree);
  TreeMaker make(tree, descriptor.get());
  make.member(make.tag(nullptr, u"msg"), u"a", str(u"1"));
  EXPECT_EQ(maskTimeStamp(WriteRun(descriptor.get()).text(tree)), c.text);
}

INSTANTIATE_TEST_SUITE_P(MessageSets, XMLWriterDocumentStarts, testing::ValuesIn(dataCases("write/document-starts.txt")),
                         [](const testing::TestParamInfo<DataCase>& info) { return info.param.label; });

TEST(XMLWriterDocumentStart, MessageElementOverridesTheMessageSet) {
  const DescriptorPtr descriptor = compileDescriptorFile("sets/write/message-overrides-set.json");
  MessageTree tree;
  TreeMaker make(tree, descriptor.get());
  make.member(make.tag(nullptr, u"msg"), u"a", str(u"1"));
  EXPECT_EQ(WriteRun(descriptor.get()).text(tree),
            "<!DOCTYPE Own SYSTEM \"own.dtd\" [<!-- own -->]><Own><msg><a>1</a></msg></Own>");
}

TEST(XMLWriterDocumentStart, Utf16OutputNamesItsEncodingAfterTheMark) {
  const DescriptorPtr descriptor = compileDescriptor(documentSet(""));
  MessageTree tree;
  TreeMaker make(tree, descriptor.get());
  make.member(make.tag(nullptr, u"msg"), u"a", str(u"1"));
  WriteRun run(descriptor.get());
  run.prop(MI_CCSID_STR, 1200).prop(MI_ENCODING_STR, 546);
  WritableBitstreamBuffer out;
  const std::vector<std::uint8_t> bytes = run.bytes(tree, out);
  const std::u16string expected = u"\uFEFF<?xml version=\"1.0\" encoding=\"UTF-16\"?><msg><a>1</a></msg>";
  ASSERT_EQ(bytes.size(), expected.size() * 2);
  EXPECT_EQ(std::memcmp(bytes.data(), expected.data(), bytes.size()), 0);  // the test machine is little-endian
}
