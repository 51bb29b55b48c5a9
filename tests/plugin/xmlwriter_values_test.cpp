// How values are spelled: logical types, escaping, binary encodings, ID and
// value attributes, lists, and every null encoding.
#include "writetestsupport.h"

#include "tracetext.h"
#include "xsdimporter.h"
#include "paramname.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace writetest;

namespace {

const XMLDictionaryInfo& valuesDescriptor() {
  static const DescriptorPtr descriptor = compileDescriptorFile("sets/write/values.json");
  return *descriptor;
}

std::vector<std::uint8_t> bytesOf(std::initializer_list<std::uint8_t> bytes) { return bytes; }

struct ValueCase {
  std::u16string member;
  PWFData value;
  std::string expected;  // the whole document
};

void PrintTo(const ValueCase& c, std::ostream* os) {
  *os << ZelWstring(c.member).toUtf8() << " = " << TraceText::ofValue(c.value);
}

class XMLWriterValues : public testing::TestWithParam<ValueCase> {};

}  // namespace

TEST_P(XMLWriterValues, SpellsTheValueAsItsMemberSays) {
  const ValueCase& c = GetParam();
  MessageTree tree;
  TreeMaker make(tree, &valuesDescriptor());
  make.member(make.tag(nullptr, u"msg"), c.member, c.value);
  EXPECT_EQ(WriteRun(&valuesDescriptor()).text(tree), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Types, XMLWriterValues,
    testing::Values(
        ValueCase{u"text", str(u"a<b>c&d'e\"f"), "<msg><text>a&lt;b&gt;c&amp;d&apos;e&quot;f</text></msg>"},
        // Attribute values escape as attribute values (XMLPrinterReferences
        // has every character that differs).
        ValueCase{u"note", str(u"a\tb\nc\rd"), "<msg note=\"a&#x9;b&#xA;c&#xD;d\"></msg>"},
        ValueCase{u"code", str(u"\r\n"), "<msg><code v=\"&#xD;&#xA;\"></code></msg>"},
        ValueCase{u"text", str(u""), "<msg><text></text></msg>"},
        ValueCase{u"count", PWFData::makeInteger(-9007199254740993), "<msg><count>-9007199254740993</count></msg>"},
        ValueCase{u"ratio", PWFData::makeFloat(0.1), "<msg><ratio>0.1</ratio></msg>"},
        ValueCase{u"ratio", PWFData::makeFloat(1e21), "<msg><ratio>1E21</ratio></msg>"},
        ValueCase{u"price", PWFData::makeDecimal(ZelWstring(u"-0012.50")), "<msg><price>-0012.50</price></msg>"},
        ValueCase{u"flag", PWFData::makeBoolean(true), "<msg><flag>Y</flag></msg>"},
        ValueCase{u"flag", PWFData::makeBoolean(false), "<msg><flag>N</flag></msg>"},
        ValueCase{u"span",
                  [] {
                    PWFInterval span;
                    span.days = 1;
                    span.hours = 2;
                    return PWFData::makeInterval(span);
                  }(),
                  "<msg><span>P1DT2H</span></msg>"},
        ValueCase{u"when", PWFData::makeDateTime(dateTime(2024, 3, 5, 9, 30)),
                  "<msg><when>05.03.2024 09:30</when></msg>"},
        ValueCase{u"day", PWFData::makeDateTime(dateTime(2024, 3, 12)), "<msg><day>2024-03-12</day></msg>"},
        // The three binary encodings, and hexadecimal where CDATA cannot stand.
        ValueCase{u"hex", PWFData::makeBinary(bytesOf({0x0A, 0x1F})), "<msg><hex>0A1F</hex></msg>"},
        ValueCase{u"b64", PWFData::makeBinary(bytesOf({'H', 'i', '?', '>'})), "<msg><b64>SGk/Pg==</b64></msg>"},
        ValueCase{u"cdata", PWFData::makeBinary(bytesOf({0x89, 0x50})), "<msg><cdata><![CDATA[8950]]></cdata></msg>"},
        ValueCase{u"cdataAttr", PWFData::makeBinary(bytesOf({0x89, 0x50})), "<msg cdataAttr=\"8950\"></msg>"},
        ValueCase{u"cdataValue", PWFData::makeBinary(bytesOf({0x01})),
                  "<msg><cdataValue val=\"01\"></cdataValue></msg>"},
        // ID and value attributes; the ID attribute's value is escaped.
        ValueCase{u"code", str(u"EUR"), "<msg><code v=\"EUR\"></code></msg>"},
        ValueCase{u"net", PWFData::makeDecimal(ZelWstring(u"228.91")),
                  "<msg><amount kind=\"n&amp;t\" value=\"228.91\"></amount></msg>"},
        ValueCase{u"ship", str(u"Mill Valley"), "<msg><addr type=\"ship\">Mill Valley</addr></msg>"},
        // A structure without value or children still gets its end tag.
        ValueCase{u"text", PWFData(), "<msg><text></text></msg>"}), ReadableName());

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

TEST(XMLWriterValues, ValueOfLogicalTypeNoneEndsTheWrite) {
  MessageTree tree;
  TreeMaker make(tree, &valuesDescriptor());
  make.member(make.tag(nullptr, u"msg"), u"text", PWFData::makeUntyped(u"raw", 3));
  const ZelException e = WriteRun(&valuesDescriptor()).failure(tree);
  EXPECT_EQ(e.getMessageNumber(), ZelMessages::CP_XML_INTERNAL_ERROR);
  EXPECT_EQ(insertsOf(e),
            (std::vector<std::string>{"XML Worker Internal Error", "Invalid logical type for the data to be written"}));
}

// The value of a complex type with simple content is an anonymous child of
// its element: it is spelled as that element's definition says, the way the
// parser read it.
TEST(XMLWriterValues, SimpleContentValueIsSpelledAsItsElementSays) {
  const DescriptorPtr descriptor = compileDescriptorFile("sets/write/simple-content.json");
  const std::string document =
      "<msg><att mime=\"a\">SGVsbG8h</att><doc mime=\"b\">AAEC/w==</doc><hex mime=\"c\">0001</hex>"
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

namespace {
struct NullCase {
  const char* encoding;
  bool namespaces;
  std::string textExpected;   // <text> with a null String value
  std::string valueExpected;  // <code> (value attribute) with a null String value
};

void PrintTo(const NullCase& c, std::ostream* os) { *os << c.encoding << (c.namespaces ? " with namespaces" : ""); }

DescriptorPtr nullsDescriptor(const NullCase& c) {
  return compileDescriptor(dataText("sets/write/nulls.json",
                                    {{"@ENCODING@", c.encoding}, {"@NAMESPACES@", c.namespaces ? "true" : "false"}}));
}

class XMLWriterNullEncodings : public testing::TestWithParam<NullCase> {};
}  // namespace

TEST_P(XMLWriterNullEncodings, NullValueIsWrittenAsTheMessageSetSays) {
  const NullCase& c = GetParam();
  const DescriptorPtr descriptor = nullsDescriptor(c);
  for (const auto& [member, expected] :
       {std::make_pair(u"text", c.textExpected), std::make_pair(u"code", c.valueExpected)}) {
    MessageTree tree;
    TreeMaker make(tree, descriptor.get());
    make.member(make.tag(nullptr, u"msg"), member, PWFData::makeNull(eLogicalString));
    EXPECT_EQ(WriteRun(descriptor.get()).text(tree), expected) << ZelWstring(member).toUtf8();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, XMLWriterNullEncodings,
    testing::Values(
        NullCase{"trueAttribute", false, "<msg><text NIL=\"yes\"></text></msg>",
                 "<msg><code NIL=\"yes\"></code></msg>"},
        NullCase{"emptyContent", false, "<msg><text></text></msg>", "<msg><code val=\"\"></code></msg>"},
        NullCase{"valueText", false, "<msg><text>NIL</text></msg>", "<msg><code val=\"NIL\"></code></msg>"},
        NullCase{"nullElement", false, "<msg><text><NIL/></text></msg>", "<msg><code val=\"\"></code></msg>"},
        NullCase{"omitValueAttribute", false, "<msg><text></text></msg>", "<msg><code></code></msg>"},
        NullCase{"xsiNil", false, "<msg><text></text></msg>", "<msg><code></code></msg>"},
        NullCase{"xsiNil", true,
                 // The message set prefers no prefix for the instance namespace: xsi.
                 "<msg><text xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xsi:nil=\"yes\"></text></msg>",
                 "<msg><code xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xsi:nil=\"yes\"></code></msg>"}), ReadableName());

// Members whose shape changes what a null becomes: an attribute under the
// null-element encoding is left empty; the null text of a binary value
// written as CDATA goes into a CDATA section.
TEST(XMLWriterNullEncodings, NullOfAnAttributeOrCdataMemberTakesItsShape) {
  const struct {
    const char* encoding;
    const char16_t* member;
    ELogicalType type;
    std::string expected;
  } cases[] = {{"nullElement", u"attr", eLogicalString, "<msg attr=\"\"></msg>"},
               {"valueText", u"bin", eLogicalBinary, "<msg><bin><![CDATA[NIL]]></bin></msg>"}};
  for (const auto& c : cases) {
    const DescriptorPtr descriptor = nullsDescriptor({c.encoding, false, "", ""});
    MessageTree tree;
    TreeMaker make(tree, descriptor.get());
    make.member(make.tag(nullptr, u"msg"), c.member, PWFData::makeNull(c.type));
    EXPECT_EQ(WriteRun(descriptor.get()).text(tree), c.expected) << c.encoding;
  }
}

TEST(XMLWriterNullEncodings, NumericValuesUseTheNumericEncoding) {
  const DescriptorPtr descriptor = compileDescriptorFile("sets/write/numeric-nulls.json");
  MessageTree tree;
  TreeMaker make(tree, descriptor.get());
  TreeElement& msg = make.tag(nullptr, u"msg");
  make.member(msg, u"n", PWFData::makeNull(eLogicalDecimal));
  make.member(msg, u"s", PWFData::makeNull(eLogicalString));
  EXPECT_EQ(WriteRun(descriptor.get()).text(tree), "<msg><n>NULL</n><s isNull=\"true\"></s></msg>");
}
