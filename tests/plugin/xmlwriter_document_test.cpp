// The document around the message: byte-order mark, XML declaration,
// prefix text, DOCTYPE, time-stamp comment, root wrapper, dependency
// namespaces; subtree output; the worker's calling order; failures.
#include "writetestsupport.h"

#include "textbufferwriter.h"
#include "xmlwriter.h"
#include "xmlworkerutility.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

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

std::string hexOf(const std::vector<std::uint8_t>& bytes, std::size_t count) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (std::size_t i = 0; i < count && i < bytes.size(); ++i) {
    hex += digits[bytes[i] >> 4];
    hex += digits[bytes[i] & 15];
  }
  return hex;
}

}  // namespace

TEST(XMLWriterDocument, WithoutDictionaryWritesDeclarationCommentAndMessage) {
  MessageTree tree;
  buildOrder(tree);
  EXPECT_EQ(maskTimeStamp(WriteRun().text(tree)),
            "<?xml version=\"1.0\"?><!DOCTYPE order><!--VRK Generated XML Output on :TIME-->"
            "<order><item>Cup &amp; saucer</item></order>");
}

TEST(XMLWriterDocument, TimeStampCommentEndsWithTheLineFeedOfItsTime) {
  MessageTree tree;
  buildOrder(tree);
  const std::string xml = WriteRun().text(tree);
  const std::regex stamp("<!--VRK Generated XML Output on :[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] "
                         "[0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}\\n-->");
  EXPECT_TRUE(std::regex_search(xml, stamp)) << xml;
}

TEST(XMLWriterDocument, ParserRecordsComeBackWithoutDictionary) {
  MessageTree tree;
  buildOrder(tree);
  tree.setStartMsgInfo(startRecord({{eStartMsgPrefixText, str(u"<!-- first --><?pi x?>")},
                                    {eStartMsgStandalone, str(u"yes")},
                                    {eStartMsgSystemId, str(u"order.dtd")},
                                    {eStartMsgPublicId, str(u"-//Example//Order//EN")},
                                    {eStartMsgVersion, str(u"1.1")},
                                    {eStartMsgInternalSubset, str(u"<!ENTITY e \"x\">")}}));
  EXPECT_EQ(maskTimeStamp(WriteRun().text(tree)),
            "<?xml version=\"1.1\" standalone=\"yes\"?><!-- first --><?pi x?>"
            "<!DOCTYPE order PUBLIC \"-//Example//Order//EN\" \"order.dtd\" [<!ENTITY e \"x\">]>"
            "<!--VRK Generated XML Output on :TIME--><order><item>Cup &amp; saucer</item></order>");
}

// Each DOCTYPE shape from the identifiers the parser kept.
class XMLWriterDocTypeShapes
    : public testing::TestWithParam<std::tuple<PWFData, PWFData, PWFData, std::string>> {};

TEST_P(XMLWriterDocTypeShapes, FollowsTheIdentifiersThatArePresent) {
  const auto& [systemId, publicId, subset, doctype] = GetParam();
  MessageTree tree;
  buildOrder(tree);
  tree.setStartMsgInfo(startRecord({{eStartMsgSystemId, systemId}, {eStartMsgPublicId, publicId},
                                    {eStartMsgInternalSubset, subset}}));
  const std::string xml = WriteRun().text(tree);
  EXPECT_EQ(xml.substr(0, xml.find("<!--")), "<?xml version=\"1.0\"?>" + doctype);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, XMLWriterDocTypeShapes,
    testing::Values(std::make_tuple(PWFData(), PWFData(), PWFData(), "<!DOCTYPE order>"),
                    std::make_tuple(str(u"o.dtd"), PWFData(), PWFData(), "<!DOCTYPE order SYSTEM \"o.dtd\">"),
                    std::make_tuple(str(u"o.dtd"), str(u"-//P"), PWFData(), "<!DOCTYPE order PUBLIC \"-//P\" \"o.dtd\">"),
                    // A public identifier needs a system identifier after it.
                    std::make_tuple(PWFData::makeNull(eLogicalString), str(u"-//P"), PWFData(), "<!DOCTYPE order>"),
                    std::make_tuple(str(u""), str(u"-//P"), str(u"<!ELEMENT order ANY>"),
                                    "<!DOCTYPE order [<!ELEMENT order ANY>]>"),
                    std::make_tuple(PWFData(), PWFData(), str(u""), "<!DOCTYPE order>")));

// Byte-order marks and encoding names per code page, without dictionary:
// the output equals the expected text converted on its own.
struct CodePageCase {
  long ccsid;
  long encoding;        // -1: not set
  std::string mark;     // hex
  const char16_t* encodingName;
};

void PrintTo(const CodePageCase& c, std::ostream* os) { *os << "ccsid " << c.ccsid << " encoding " << c.encoding; }

class XMLWriterCodePages : public testing::TestWithParam<CodePageCase> {};

TEST_P(XMLWriterCodePages, MarkAndDeclarationFollowTheOutputSettings) {
  const CodePageCase& c = GetParam();
  MessageTree tree;
  buildOrder(tree);
  WriteRun run;
  run.prop(MI_CCSID_STR, c.ccsid);
  if (c.encoding >= 0) run.prop(MI_ENCODING_STR, c.encoding);
  WritableBitstreamBuffer out;
  const std::vector<std::uint8_t> written = run.bytes(tree, out);

  const long endian = c.encoding >= 0 && (c.encoding & 0xF) == 2 ? 1 : 2;
  std::u16string declaration = u"<?xml version=\"1.0\"";
  if (*c.encodingName) declaration += std::u16string(u" encoding=\"") + c.encodingName + u"\"";
  declaration += u"?><!DOCTYPE order>";
  WritableBitstreamBuffer expected;
  TextBufferWriter text(&expected, c.ccsid, endian);
  text.appendStr(declaration.data(), declaration.size());
  text.flush();
  EXPECT_EQ(hexOf(written, c.mark.size() / 2), c.mark);
  const std::vector<std::uint8_t> rest(written.begin() + static_cast<long>(c.mark.size() / 2), written.end());
  EXPECT_EQ(hexOf(rest, expected.getLength()), hexOf(expected.bytes(), expected.getLength()));
}

INSTANTIATE_TEST_SUITE_P(
    Marks, XMLWriterCodePages,
    testing::Values(CodePageCase{1208, -1, "", u""}, CodePageCase{1200, -1, "feff", u""},
                    CodePageCase{1200, 546, "fffe", u""}, CodePageCase{13488, 273, "feff", u"UTF-16"},
                    CodePageCase{17584, 546, "fffe", u"UTF-16"}, CodePageCase{1232, 546, "fffe0000", u"ISO-10646-UCS-4"},
                    CodePageCase{1232, 785, "0000feff", u"ISO-10646-UCS-4"}, CodePageCase{500, -1, "", u"IBM500"},
                    CodePageCase{37, 546, "", u"IBM037"}, CodePageCase{819, -1, "", u"IBM819"}));

TEST(XMLWriterDocument, EmptyTreeWritesNothing) {
  MessageTree tree;
  WritableBitstreamBuffer out;
  out.append("keep", 4);
  EXPECT_TRUE(WriteRun().bytes(tree, out).empty());
  EXPECT_EQ(out.getLength(), 4u);
}

TEST(XMLWriterDocument, SubtreeWritesOnlyTheMessage) {
  MessageTree tree;
  buildOrder(tree);
  WriteRun run;
  run.prop(MI_SUBTREEBITSTREAM_STR, 1);
  EXPECT_EQ(run.text(tree), "<order><item>Cup &amp; saucer</item></order>");
}
