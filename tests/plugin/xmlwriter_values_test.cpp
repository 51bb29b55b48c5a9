// How values are spelled: logical types, escaping, binary encodings, ID and
// value attributes, lists, and every null encoding.
#include "writetestsupport.h"

#include "xsdimporter.h"
#include "paramname.h"

#include <gtest/gtest.h>

#include <string>

using namespace writetest;

namespace {

const XMLDictionaryInfo& valuesDescriptor() {
  static const DescriptorPtr descriptor = compileDescriptorFile("sets/write/values.json");
  return *descriptor;
}

// A value as the tree JSON gives it.
PWFData valueOf(const std::string& json) {
  MessageTree tree;
  treeFromJson(R"({"format": "message-tree", "version": 1, "root": {"kind": 0, "name": "v", "value": )" + json + "}}",
               tree);
  return tree.getRoot()->getValue();
}

// tests/data/write/values.txt: member values and the documents they give.
class XMLWriterValues : public testing::TestWithParam<DataCase> {};

}  // namespace

// With "encoding:", the member is one of sets/write/nulls.json under that
// null encoding.
TEST_P(XMLWriterValues, SpellsTheValueAsItsMemberSays) {
  const DataCase& c = GetParam();
  const DescriptorPtr nulls =
      c.fields.count("encoding") ? compileDescriptor(dataText("sets/write/nulls.json",
                                                              {{"@ENCODING@", c["encoding"]},
                                                               {"@NAMESPACES@", c.fields.count("namespaces") ? "true" : "false"}}))
                                 : nullptr;
  const XMLDictionaryInfo* descriptor = nulls ? nulls.get() : &valuesDescriptor();
  MessageTree tree;
  TreeMaker make(tree, descriptor);
  make.member(make.tag(nullptr, u"msg"), ZelWstring::fromUtf8(c["member"]).view(), valueOf(c["value"]));
  EXPECT_EQ(WriteRun(descriptor).text(tree), c.text);
}

INSTANTIATE_TEST_SUITE_P(Types, XMLWriterValues, testing::ValuesIn(dataCases("write/values.txt")), ReadableName());
INSTANTIATE_TEST_SUITE_P(NullEncodings, XMLWriterValues, testing::ValuesIn(dataCases("write/nulls.txt")),
                         [](const testing::TestParamInfo<DataCase>& info) { return info.param.label; });

// A character XML 1.0 cannot carry ends the write, on the fast paths of
// leaves and attributes and on the general one, and the buffer keeps what it
// held before.
TEST(XMLWriterValues, CharacterXmlCannotCarryEndsTheWriteAndKeepsTheBuffer) {
  for (const char16_t* member : {u"text", u"note", u"code", u"ship"}) {
    MessageTree tree;
    TreeMaker make(tree, &valuesDescriptor());
    TreeElement& msg = make.tag(nullptr, u"msg");
    make.member(msg, u"count", PWFData::makeInteger(1));
    make.member(msg, member, str(u"ok\x01"));
    WritableBitstreamBuffer out;
    out.append("kept", 4);
    const ZelException e = WriteRun(&valuesDescriptor()).failure(tree, out);
    EXPECT_EQ(e.getMessageNumber(), ZelMessages::CP_CONVERSION_ERROR) << ZelWstring(member).toUtf8();
    EXPECT_EQ(insertsOf(e), (std::vector<std::string>{"XML 1.0 cannot carry the character", "U+0001", "2"}));
    EXPECT_EQ(std::string(out.bytes().begin(), out.bytes().end()), "kept");
  }
}

// Values with every kind of line end (the mainframe ones too) and tab, in
// content and in attributes, read back as they were written: the second
// write equals the first.
TEST(XMLWriterValues, LineEndsAndTabsSurviveARoundTrip) {
  MessageTree tree;
  TreeMaker make(tree, &valuesDescriptor());
  TreeElement& msg = make.tag(nullptr, u"msg");
  make.member(msg, u"note", str(u" a\tb\r\nc\rd\n \u0085f\u2028 "));
  make.member(msg, u"text", str(u"\r\n\te\r\r\n\u0085\u2028g"));
  make.member(msg, u"code", str(u"\t\r"));
  const std::string first = WriteRun(&valuesDescriptor()).text(tree);
  MessageTree again;
  parseIntoTree(first, &valuesDescriptor(), again);
  EXPECT_EQ(WriteRun(&valuesDescriptor()).text(again), first);
}

// The value of a complex type with simple content is an anonymous child of
// its element: it is spelled as that element's definition says, the way the
// parser read it; base64 with blanks as read, also where it is as long as the
// hexadecimal digits of its bytes would be.
TEST(XMLWriterValues, SimpleContentValueIsSpelledAsItsElementSays) {
  const DescriptorPtr descriptor = compileDescriptorFile("sets/write/simple-content.json");
  const std::string document =
      "<msg><att mime=\"a\"> AQI= </att><doc mime=\"b\">AQ I D</doc><hex mime=\"c\">0001</hex>"
      "<day zone=\"z\">05.03.2024</day></msg>";
  MessageTree tree;
  parseIntoTree(document, descriptor.get(), tree);
  EXPECT_EQ(WriteRun(descriptor.get()).text(tree), document);
}

// The same with a dictionary compiled from an XML Schema whose binary simple
// content is derived in two steps: the bytes come back unchanged.
TEST(XMLWriterValues, SchemaBinarySimpleContentRoundTrips) {
  const XsdImportResult imported =
      importXmlSchemas({dataPath("xsd/binary-content.xsd")}, XsdImportOptions());
  const std::vector<unsigned char> extract = compileMessageSetToExtract(imported.set, "binary-content.xsd");
  const DescriptorPtr descriptor(new XMLDictionaryInfo(0));
  descriptor->FromExtractFormat(nullptr, extract.data(), extract.size());
  descriptor->postProcessDictionary();
  MessageTree first;
  parseIntoTree("<Attachment xmlns=\"urn:test:binary\"><EmbeddedDocumentBinaryObject mimeCode=\"text/plain\">"
                "SGVsbG8h</EmbeddedDocumentBinaryObject><Plain>AAEC/w==</Plain><Hex>00FF</Hex></Attachment>",
                descriptor.get(), first);
  const std::string written = WriteRun(descriptor.get()).text(first);
  EXPECT_NE(written.find(">SGVsbG8h<"), std::string::npos) << written;
  EXPECT_NE(written.find(">AAEC/w==<"), std::string::npos) << written;
  MessageTree second;
  parseIntoTree(written, descriptor.get(), second);
  first.setStartMsgInfo(WorkerInfoPtr());
  second.setStartMsgInfo(WorkerInfoPtr());
  EXPECT_EQ(treeToJson(second), treeToJson(first));
}

// ---------------------------------------------------------------------------
// Lists: anonymous children separated by single blanks.

namespace {
TreeElement& listOf(TreeMaker& make, TreeElement& parent, std::u16string_view member,
                    std::initializer_list<PWFData> items) {
  TreeElement& list = make.member(parent, member, PWFData(), 12);
  list.setItemTypeIndex(make.typeIndexOf(u"integer"));
  for (const PWFData& item : items) make.anonymous(list, item);
  return list;
}
}  // namespace

TEST(XMLWriterLists, ItemsAreSeparatedBySingleBlanksInElementsAndAttributes) {
  MessageTree tree;
  TreeMaker make(tree, &valuesDescriptor());
  TreeElement& msg = make.tag(nullptr, u"msg");
  const auto one = PWFData::makeInteger(1), two = PWFData::makeInteger(2), three = PWFData::makeInteger(-3);
  listOf(make, msg, u"ints", {one, two, three});
  listOf(make, msg, u"intsAttr", {one, two});
  listOf(make, msg, u"intsValue", {three, one});
  listOf(make, msg, u"ints", {});
  EXPECT_EQ(WriteRun(&valuesDescriptor()).text(tree),
            "<msg intsAttr=\"1 2\"><ints>1 2 -3</ints><intsValue v=\"-3 1\"></intsValue><ints></ints></msg>");
}

TEST(XMLWriterLists, ItemsTakeTheListMembersFormat) {
  MessageTree tree;
  TreeMaker make(tree, &valuesDescriptor());
  TreeElement& list = make.member(make.tag(nullptr, u"msg"), u"stamps", PWFData(), 12);
  list.setItemTypeIndex(make.typeIndexOf(u"dateTime"));
  // An item known through its type takes the list's format; a self-defining one keeps the XML Schema form.
  TreeElement& typed = make.anonymous(list, PWFData::makeDateTime(dateTime(2024, 3, 5, 0, 0, 0)));
  typed.setTypeIndex(make.typeIndexOf(u"dateTime"));
  typed.setKind(9);
  make.anonymous(list, PWFData::makeDateTime(dateTime(2024, 3, 6, 0, 0, 0)));
  EXPECT_EQ(WriteRun(&valuesDescriptor()).text(tree), "<msg><stamps>20240305 2024-03-06T00:00:00</stamps></msg>");
}

TEST(XMLWriterLists, NamedChildInAListAttributeEndsTheWrite) {
  MessageTree tree;
  TreeMaker make(tree, &valuesDescriptor());
  TreeElement& list = listOf(make, make.tag(nullptr, u"msg"), u"intsAttr", {PWFData::makeInteger(1)});
  make.member(list, u"count", PWFData::makeInteger(2));
  const ZelException e = WriteRun(&valuesDescriptor()).failure(tree);
  EXPECT_EQ(insertsOf(e), (std::vector<std::string>{"XML Worker Internal Error",
                                                    "Attribute list value is only valid for anonymous fields"}));
}

// ---------------------------------------------------------------------------
// Null encodings: a null string (non-numeric) and a null integer (numeric).

TEST(XMLWriterNullEncodings, NumericValuesUseTheNumericEncoding) {
  const DescriptorPtr descriptor = compileDescriptorFile("sets/write/numeric-nulls.json");
  MessageTree tree;
  TreeMaker make(tree, descriptor.get());
  TreeElement& msg = make.tag(nullptr, u"msg");
  make.member(msg, u"n", PWFData::makeNull(eLogicalDecimal));
  make.member(msg, u"s", PWFData::makeNull(eLogicalString));
  EXPECT_EQ(WriteRun(descriptor.get()).text(tree), "<msg><n>NULL</n><s isNull=\"true\"></s></msg>");
}
