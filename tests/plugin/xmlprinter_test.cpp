#include "xmlprinter.h"

#include "bitstreambuffer.h"
#include "textbufferwriter.h"
#include "zelexception.h"
#include "host/test_support.h"
#include "paramname.h"
#include "testdata.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

std::string textOf(const WritableBitstreamBuffer& out) { return std::string(out.bytes().begin(), out.bytes().end()); }

// A UTF-8 text writer with a small batch, to see what is pending and what
// has been converted.
struct Utf8Output {
  explicit Utf8Output(std::size_t capacity) : writer(&out, 1208, 2, capacity) {}
  std::string converted() const { return textOf(out); }
  std::string pending() { return ZelWstring(writer.pendingText()).toUtf8(); }

  WritableBitstreamBuffer out;
  TextBufferWriter writer;
};

TEST(XMLPrinterEscaping, ReplacesTheFiveSpecialCharactersInPlace) {
  const struct {
    std::u16string_view in;
    std::u16string_view out;
  } cases[] = {
      {u"a<b>c&d'e\"f", u"a&lt;b&gt;c&amp;d&apos;e&quot;f"},
      {u"plain text \u00e9 \t\r\n", u"plain text \u00e9 \t&#xD;\n"},
      {u"", u""},
  };
  ZelWstring out(u"leftover");
  for (const auto& c : cases) {
    XMLPrinter::replaceSpecialChars(ZelWstring(c.in), out);
    EXPECT_EQ(out.view(), c.out);
  }
}

TEST(XMLPrinterBatching, TextOfExactlyTheCapacityIsHeldOneMoreGoesStraightThrough) {
  Utf8Output output(8);
  XMLPrinter::appendStr(&output.writer, u"12345678", -1);
  EXPECT_EQ(output.pending(), "12345678");
  EXPECT_EQ(output.converted(), "");

  XMLPrinter::appendStr(&output.writer, u"abc", 3);  // 8 + 3 > 8: the batch goes first
  EXPECT_EQ(output.converted(), "12345678");
  EXPECT_EQ(output.pending(), "abc");

  XMLPrinter::appendStr(&output.writer, u"123456789", 9);  // longer than a batch
  EXPECT_EQ(output.converted(), "12345678abc123456789");
  EXPECT_EQ(output.pending(), "");

  XMLPrinter::appendStr(&output.writer, u"abc\0de", -1);  // up to the zero
  XMLPrinter::appendStr(&output.writer, nullptr, 4);
  XMLPrinter::appendReplaceStr(&output.writer, nullptr, -1);
  XMLPrinter::appendStr(&output.writer, ZelWstring(u"defgh"));  // exactly fills the batch
  EXPECT_EQ(output.pending(), "abcdefgh");
}

// Short text is escaped while it is copied, eight units at a time: every
// length around the block size, with a special character at every place
// (and two together), gives the entities in the right places.
TEST(XMLPrinterEscaping, SpecialCharacterAtEveryPlaceOfEveryLength) {
  const std::u16string_view specials = u"<>&'\"";
  for (std::size_t length = 1; length <= 40; ++length) {
    for (std::size_t at = 0; at < length; ++at) {
      std::u16string text;
      for (std::size_t i = 0; i < length; ++i) text += static_cast<char16_t>(u'a' + i % 26);
      text[at] = specials[(length + at) % specials.size()];
      if (at + 1 < length && at % 3 == 0) text[at + 1] = specials[at % specials.size()];
      Utf8Output output(TextBufferWriter::DEFAULT_PENDING_CAPACITY);
      XMLPrinter::appendReplaceStr(&output.writer, text);
      ZelWstring expected;
      XMLPrinter::replaceSpecialChars(ZelWstring(text), expected);
      ASSERT_EQ(output.pending(), expected.toUtf8()) << length << " " << at;
    }
  }
}

// However the text is cut into batches, the bytes equal those of the whole
// text converted at once: no batch edge splits a surrogate pair or adds a
// shift in a stateful code page.
class PrinterAcrossCodePages : public ::testing::TestWithParam<std::tuple<std::pair<long, long>, std::size_t>> {};

TEST_P(PrinterAcrossCodePages, BatchesGiveTheBytesOfOneConversion) {
  const auto [page, capacity] = GetParam();
  const auto [ccsid, endian] = page;
  const std::u16string_view pieces[] = {u"<r a=\"", u"x&y", u"\">", u"\u65e5\u672c\u8a9e",
                                        u"\U0001F600\U0001F600", u"a<b", u"</r>", u"\u00e9"};
  std::u16string expected;
  WritableBitstreamBuffer batched;
  {
    TextBufferWriter writer(&batched, ccsid, endian, capacity);
    for (int round = 0; round < 3; ++round) {
      for (std::u16string_view piece : pieces) {
        XMLPrinter::appendReplaceStr(&writer, piece);
        XMLPrinter::appendStr(&writer, piece);
        ZelWstring escaped;
        XMLPrinter::replaceSpecialChars(ZelWstring(piece), escaped);
        expected.append(escaped.view()).append(piece);
      }
    }
    writer.flush();
  }
  WritableBitstreamBuffer whole;
  TextBufferWriter writer(&whole, ccsid, endian);
  writer.appendStr(expected.data(), expected.size());
  writer.flush();
  EXPECT_EQ(hexOf(batched.bytes()), hexOf(whole.bytes()));
}

INSTANTIATE_TEST_SUITE_P(CodePages, PrinterAcrossCodePages,
                         ::testing::Combine(::testing::Values(std::pair(1208L, 2L), std::pair(1200L, 2L),
                                                              std::pair(1200L, 1L), std::pair(1236L, 1L),
                                                              std::pair(500L, 2L), std::pair(1386L, 2L),
                                                              std::pair(1390L, 2L)),
                                            ::testing::Values<std::size_t>(1, 3, 7, 64,
                                                                           TextBufferWriter::DEFAULT_PENDING_CAPACITY)), ReadableName());

struct Mark {
  long ccsid;
  long endian;
  const char* hex;  // the mark after the pending "<", itself converted first
};

class ByteOrderMark : public ::testing::TestWithParam<Mark> {};

TEST_P(ByteOrderMark, FollowsThePendingTextInTheRightOrder) {
  const Mark& mark = GetParam();
  WritableBitstreamBuffer out;
  TextBufferWriter writer(&out, mark.ccsid, mark.endian);
  WritableBitstreamBuffer lessThan;
  {
    TextBufferWriter reference(&lessThan, mark.ccsid, mark.endian);
    reference.appendStr(u"<", 1);
  }
  XMLPrinter::appendStr(&writer, u"<", 1);
  XMLPrinter::outputBOM(&writer);
  XMLPrinter::appendStr(&writer, u"<", 1);
  writer.flush();
  const std::string lt = hexOf(lessThan.bytes());
  EXPECT_EQ(hexOf(out.bytes()), lt + mark.hex + lt);
}

INSTANTIATE_TEST_SUITE_P(CodePages, ByteOrderMark,
                         ::testing::Values(Mark{1200, 2, "feff"}, Mark{1200, 1, "fffe"}, Mark{13488, 2, "feff"},
                                           Mark{17584, 1, "fffe"}, Mark{1232, 2, "0000feff"},
                                           Mark{1234, 1, "fffe0000"}, Mark{1236, 1, "fffe0000"}, Mark{1200, -1, ""},
                                           Mark{1236, -1, ""}, Mark{1208, 2, ""}, Mark{1208, 1, ""},
                                           Mark{500, 2, ""}), ReadableName());

// tests/data/doctypes.txt: identifiers and the DOCTYPE they give.
class XMLPrinterDocType : public ::testing::TestWithParam<DataCase> {};

TEST_P(XMLPrinterDocType, ShapesFollowTheIdentifiersGiven) {
  const DataCase& c = GetParam();
  std::map<std::string, std::u16string> given;
  for (const char* key : {"public", "system", "subset"})
    if (c.fields.count(key)) given[key] = ZelWstring::fromUtf8(c[key]).view();
  const auto text = [&given](const char* key) { return given.count(key) ? given[key].c_str() : nullptr; };
  Utf8Output output(256);
  XMLPrinter::outputDocType(&output.writer, u"doc", text("public"), text("system"), text("subset"), c.fields.count("lines"));
  EXPECT_EQ(output.pending(), c.text);
}

INSTANTIATE_TEST_SUITE_P(Identifiers, XMLPrinterDocType, ::testing::ValuesIn(dataCases("doctypes.txt")),
                         [](const auto& info) { return info.param.label; });

TEST(XMLPrinterCData, TextIsWrittenUnchanged) {
  Utf8Output output(64);
  XMLPrinter::outputCDataSection(&output.writer, u"a]]>b<&", -1);
  XMLPrinter::outputCDataSection(&output.writer, nullptr);
  XMLPrinter::outputCDataSection(&output.writer, u"0A1Bxx", 4);
  EXPECT_EQ(output.pending(), "<![CDATA[a]]>b<&]]><![CDATA[]]><![CDATA[0A1B]]>");
}


// ---------------------------------------------------------------------------
// Beyond the five special characters: what a parser would change is written
// as a character reference, what XML 1.0 cannot carry is refused.

namespace {
struct EscapeCase {
  std::u16string_view in;
  std::u16string_view content;
  std::u16string_view attribute;
};

class XMLPrinterReferences : public ::testing::TestWithParam<EscapeCase> {};

// The text escaped in pending text of room enough (one pass) and in a batch
// too small for it (the scan, then pieces), which must agree.
std::string escaped(std::u16string_view text, EscapeKind kind, std::size_t capacity) {
  Utf8Output output(capacity);
  XMLPrinter::appendReplaceStr(&output.writer, text, kind);
  output.writer.flush();
  return output.converted();
}
}  // namespace

TEST_P(XMLPrinterReferences, LineEndsAndTabsSurviveWhereAParserWouldChangeThem) {
  const EscapeCase& c = GetParam();
  for (const std::size_t capacity : {std::size_t{4}, TextBufferWriter::DEFAULT_PENDING_CAPACITY}) {
    EXPECT_EQ(escaped(c.in, EscapeKind::Content, capacity), ZelWstring(c.content).toUtf8()) << capacity;
    EXPECT_EQ(escaped(c.in, EscapeKind::AttributeValue, capacity), ZelWstring(c.attribute).toUtf8()) << capacity;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, XMLPrinterReferences,
    ::testing::Values(EscapeCase{u"a\tb\nc\rd", u"a\tb\nc&#xD;d", u"a&#x9;b&#xA;c&#xD;d"},
                      EscapeCase{u"\r\n\r\n", u"&#xD;\n&#xD;\n", u"&#xD;&#xA;&#xD;&#xA;"},
                      // Characters from U+D800 on that XML carries are copied: pairs, private use, U+FFFD.
                      EscapeCase{u"x\U0001F600y\uE000\uFFFD<", u"x\U0001F600y\uE000\uFFFD&lt;",
                                 u"x\U0001F600y\uE000\uFFFD&lt;"},
                      EscapeCase{u"12345678\U0001F600\t", u"12345678\U0001F600\t", u"12345678\U0001F600&#x9;"},
                      // Mainframe line ends, inside and after an eight-unit block.
                      EscapeCase{u"a\u0085b\u2028c", u"a&#x85;b&#x2028;c", u"a&#x85;b&#x2028;c"},
                      EscapeCase{u"1234\u2028678\u0085", u"1234&#x2028;678&#x85;", u"1234&#x2028;678&#x85;"}), ReadableName());

// A character XML 1.0 cannot carry, at every place of texts around the
// eight-unit blocks, ends the append with the host's conversion error naming
// it and its offset; nothing of the text is appended.
TEST(XMLPrinterReferences, CharacterXmlCannotCarryIsRefusedAtEveryPlace) {
  const struct {
    char16_t unit;
    const char* name;
  } refused[] = {{u'\x01', "U+0001"}, {u'\x1F', "U+001F"}, {u'\uFFFE', "U+FFFE"}, {u'\uFFFF', "U+FFFF"},
                 {0xD800, "U+D800"},  {0xDBFF, "U+DBFF"},  {0xDC00, "U+DC00"},  {0xDFFF, "U+DFFF"}};
  for (const auto& r : refused) {
    for (std::size_t length = 1; length <= 20; ++length) {
      for (std::size_t at = 0; at < length; ++at) {
        std::u16string text(length, u'a');
        text[at] = r.unit;
        if (at > 0) text[at - 1] = u'&';
        for (const EscapeKind kind : {EscapeKind::Content, EscapeKind::AttributeValue}) {
          Utf8Output output(length % 2 ? 8 : TextBufferWriter::DEFAULT_PENDING_CAPACITY);
          XMLPrinter::appendStr(&output.writer, u"<", 1);
          const ZelConversionException e =
              raisedBy<ZelConversionException>([&] { XMLPrinter::appendReplaceStr(&output.writer, text, kind); });
          EXPECT_EQ(e.getMessageNumber(), ZelMessages::CP_CONVERSION_ERROR);
          ASSERT_EQ(e.getInserts().size(), 3u);
          EXPECT_EQ(e.insertText(1), r.name);
          EXPECT_EQ(e.insertText(2), std::to_string(at));
          output.writer.flush();
          ASSERT_EQ(output.converted(), "<") << r.name << " at " << at << " of " << length;
        }
      }
    }
  }
}

// A high surrogate is refused unless a low one follows, also where a pair
// straddles the edge of an eight-unit block.
TEST(XMLPrinterReferences, SurrogatePairsAreCopiedWhereverTheyFall) {
  for (std::size_t at = 0; at < 17; ++at) {
    std::u16string text(18, u'b');
    text[at] = 0xD83D;
    text[at + 1] = 0xDE00;
    EXPECT_EQ(escaped(text, EscapeKind::Content, TextBufferWriter::DEFAULT_PENDING_CAPACITY), ZelWstring(text).toUtf8());
    std::swap(text[at], text[at + 1]);  // low before high: both lone
    EXPECT_THROW(escaped(text, EscapeKind::Content, TextBufferWriter::DEFAULT_PENDING_CAPACITY),
                 ZelConversionException);
  }
}

}  // namespace
