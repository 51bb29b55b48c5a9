#include "bitstreambuffer.h"
#include "textbufferwriter.h"
#include "unicodeconverter.h"
#include "zelexception.h"
#include "host/test_support.h"
#include "paramname.h"
#include "testdata.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// a, e-acute, euro, a CJK ideograph and a character outside the BMP: single-
// byte, double-byte, unmappable and surrogate-pair cases in one text.
constexpr std::u16string_view SAMPLE = u"a\u00e9\u20ac\u65e5\U0001F600";

struct CodePage {
  long ccsid;
  long endian;
  std::string sampleHex;  // SAMPLE converted, unmappable characters as "&#N;"
  std::string name;
  int minBytes;
  bool unicode;
};

void PrintTo(const CodePage& page, std::ostream* os) {
  *os << page.ccsid << (page.endian == 1 ? "le" : page.endian == 2 ? "be" : "");
}

// tests/data/code-pages.txt.
std::vector<CodePage> codePages() {
  std::vector<CodePage> pages;
  for (const DataCase& c : dataCases("code-pages.txt"))
    pages.push_back({std::stol(c["ccsid"]), std::stol(c["endian"]), c.text, c["name"], std::stoi(c["min"]),
                     c["unicode"] == "true"});
  return pages;
}

class ConverterAcrossCodePages : public ::testing::TestWithParam<CodePage> {};

// text through a writer of the page, handed over in two pieces cut at cut.
std::vector<std::uint8_t> converted(const CodePage& page, std::u16string_view text, std::size_t cut = 0) {
  WritableBitstreamBuffer out;
  TextBufferWriter writer(&out, page.ccsid, page.endian);
  writer.appendStr(text.data(), cut);
  writer.appendStr(text.data() + cut, text.size() - cut);
  writer.flush();
  return out.bytes();
}

TEST_P(ConverterAcrossCodePages, ConvertsSampleAndDescribesItself) {
  const CodePage& page = GetParam();
  WritableBitstreamBuffer out;
  out.append("\x01\x02", 2);
  TextBufferWriter writer(&out, page.ccsid, page.endian);
  writer.appendStr(SAMPLE.data(), SAMPLE.size());
  writer.flush();
  EXPECT_EQ(hexOf(out.bytes()), std::string("0102") + page.sampleHex);
  EXPECT_EQ(writer.getConverter().getName(), page.name);
  EXPECT_EQ(writer.getConverter().getMinBytesPerChar(), page.minBytes);
  EXPECT_EQ(CPUnicodeConverter::IsUnicode(page.ccsid), page.unicode);
  EXPECT_EQ(writer.getCodepage(), page.ccsid);
  EXPECT_EQ(writer.getEndian(), page.endian);
}

// Text handed over in two pieces, cut at every offset (also between the two
// halves of a surrogate pair and inside double-byte runs), gives the same
// bytes as the whole text at once.
TEST_P(ConverterAcrossCodePages, PiecesCutAnywhereGiveTheSameBytes) {
  const std::u16string text = u"<r>\U0001F600\u65e5\u65e5x\u00e9\U00010437\u65e5</r>\U0001F600";
  const std::string whole = hexOf(converted(GetParam(), text));
  for (std::size_t cut = 1; cut <= text.size(); ++cut)
    EXPECT_EQ(hexOf(converted(GetParam(), text, cut)), whole) << "cut at " << cut;
}

// A conversion that fails appends nothing: the bytes before it, converted
// or not, stay exactly as they were.
TEST_P(ConverterAcrossCodePages, UnpairedSurrogateFailsWithoutTouchingTheBuffer) {
  const CodePage& page = GetParam();
  const struct {
    std::u16string text;
    long offset;
  } cases[] = {{u"ab\xD800" u"cd", 2}, {u"ab\xDC00" u"cd", 2}, {std::u16string(100000, u'x') + u"\xDFFFy", 100000}};
  for (const auto& bad : cases) {
    WritableBitstreamBuffer out;
    TextBufferWriter writer(&out, page.ccsid, page.endian);
    writer.appendStr(u"<r>", 3);
    const std::string before = hexOf(out.bytes());
    const ZelConversionException error =
        raisedBy<ZelConversionException>([&] { writer.appendStr(bad.text.data(), bad.text.size()); });
    EXPECT_EQ(error.getMessageNumber(), ZelMessages::CP_CONVERSION_ERROR);
    EXPECT_EQ(error.insertText(0), std::to_string(page.ccsid));
    EXPECT_EQ(error.insertText(1), std::to_string(bad.offset));
    EXPECT_EQ(hexOf(out.bytes()), before);
  }
}

// A surrogate at the very end may be held for the next piece; the flush at
// the end of the text reports it at the latest.
TEST_P(ConverterAcrossCodePages, SurrogateLeftAtTheEndFailsOnFlush) {
  for (const char16_t* text : {u"ab\xD83D", u"ab\xDE00"})
    EXPECT_THROW(converted(GetParam(), text), ZelConversionException);
}

// Every character up to U+00FF spells the same after an ASCII letter and
// after a character outside the BMP (the converter writes common characters
// itself and hands the rest to ICU: both must agree), and characters a
// single-byte code page lacks are escaped in either place.
TEST_P(ConverterAcrossCodePages, Latin1CharactersSpellTheSameWhereverTheyStand) {
  const CodePage& page = GetParam();
  const std::size_t letterBytes = converted(page, u"a").size();
  const std::size_t astralBytes = converted(page, u"\U0001F600").size();
  for (char16_t unit = 0; unit < 256; ++unit) {
    const std::u16string one(1, unit);
    const std::string afterLetter = hexOf(converted(page, u"a" + one), letterBytes);
    const std::string afterAstral = hexOf(converted(page, u"\U0001F600" + one), astralBytes);
    EXPECT_EQ(afterLetter, afterAstral) << "U+" << std::hex << static_cast<int>(unit);
    EXPECT_EQ(afterLetter, hexOf(converted(page, one))) << "U+" << std::hex << static_cast<int>(unit);
  }
}

INSTANTIATE_TEST_SUITE_P(CodePages, ConverterAcrossCodePages, ::testing::ValuesIn(codePages()), ReadableName());

// ASCII runs are spelled in blocks of sixteen and eight units: every length
// around those sizes, with and without a Latin-1 character at the end,
// gives each unit its own byte or pair and nothing more.
TEST(CPUnicodeConverter, Utf8RunsOfEveryLengthAroundTheBlockSizes) {
  for (std::size_t length = 0; length <= 70; ++length) {
    for (const bool accented : {false, true}) {
      std::u16string text;
      std::string expected;
      for (std::size_t i = 0; i < length; ++i) {
        text += static_cast<char16_t>(u'!' + i % 90);
        expected += static_cast<char>('!' + i % 90);
      }
      if (accented) {
        text += u'\u00e9';
        expected += "\xC3\xA9";
      }
      CPUnicodeConverter converter(1208, 2);
      WritableBitstreamBuffer out;
      converter.fromUnicode(text.data(), text.size(), out);
      ASSERT_EQ(std::string(out.bytes().begin(), out.bytes().end()), expected) << length;
    }
  }
}

TEST(CPUnicodeConverter, UnknownCcsidOrOneWithoutXmlIsACodepageError) {
  for (long ccsid : {0L, -1L, 65536L, 12345L, 833L}) {
    const ZelFatalException error = raisedBy<ZelFatalException>([&] { CPUnicodeConverter converter(ccsid, 2); });
    EXPECT_EQ(error.getMessageNumber(), ZelMessages::CP_CODEPAGE_ERROR);
    EXPECT_EQ(error.insertText(0), std::to_string(ccsid));
  }
  // ICU has these tables, but what they would write is no XML: an old Hebrew
  // EBCDIC without '&', a double-byte set without ASCII.
  for (const auto& [ccsid, missing] : {std::pair{803L, "no '&'"}, std::pair{5478L, "no '<'"}}) {
    const ZelFatalException error = raisedBy<ZelFatalException>([&] { CPUnicodeConverter converter(ccsid, 2); });
    EXPECT_EQ(error.getMessageNumber(), ZelMessages::CP_CODEPAGE_ERROR) << ccsid;
    EXPECT_NE(error.insertText(1).find(missing), std::string::npos) << error.insertText(1);
  }
}

// A character the code page lacks becomes a reference only where one reads
// back as the character: '$' stands for it (U+0E01, Thai) in each document,
// handed over whole and in two pieces cut at every unit, in single-byte,
// double-byte and stateful EBCDIC code pages.
TEST(CPUnicodeConverter, ReferencesStandOnlyInCharacterDataAndAttributeValues) {
  const struct {
    std::u16string_view document;
    bool referenced;
  } places[] = {
      {u"<r>a$</r>", true},
      {u"<r a=\"$\" b='\"$'/>", true},
      {u"<r$/>", false},
      {u"<r a$=\"x\"/>", false},
      {u"<r a='x' $='y'/>", false},
      {u"</r$>", false},
      {u"<!-- > $ -->", false},
      {u"<!-- a > -- --><r>$</r>", true},
      {u"<?pi ? > $?>", false},
      {u"<?pi a > b ?><r>$</r>", true},
      {u"<r><![CDATA[ ]> $]]></r>", false},
      {u"<r><![CDATA[ ]]>$</r>", true},
      {u"<!DOCTYPE r SYSTEM \"$\">", false},
      {u"<!DOCTYPE r [ <!-- $ --> ]>", false},
      {u"<!DOCTYPE r [<!ENTITY e \"]>\"><!-- ]>' --><?p ]>\"?>]><r>$</r>", true},
  };
  for (const auto& place : places) {
    std::u16string text(place.document);
    text[text.find(u'$')] = u'\u0E01';
    for (const long ccsid : {819L, 943L, 930L}) {
      for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        SCOPED_TRACE(testing::Message() << std::string(place.document.begin(), place.document.end()) << " in "
                                        << ccsid << " cut at " << cut);
        CPUnicodeConverter converter(ccsid, 2);
        WritableBitstreamBuffer out;
        try {
          converter.fromUnicode(text.data(), cut, out);
          converter.fromUnicode(text.data() + cut, text.size() - cut, out);
          converter.finish(out);
          EXPECT_TRUE(place.referenced);
        } catch (const ZelConversionException& e) {
          EXPECT_FALSE(place.referenced);
          EXPECT_EQ(e.insertText(2), "U+0E01");
        }
      }
    }
  }
}

// A default-ignorable character (zero-width space, soft hyphen) the code
// page lacks is a reference like any other, not dropped.
TEST(CPUnicodeConverter, IgnorableCharactersAreReferencedNotDropped) {
  for (const auto& [ccsid, expected] : {std::pair{819L, "a&#8203;b\xAD&#8236;"}, std::pair{943L, "a&#8203;b&#173;&#8236;"}}) {
    const std::u16string_view text = u"a\u200Bb\u00AD\u202C";
    CPUnicodeConverter converter(ccsid, 2);
    WritableBitstreamBuffer out;
    converter.fromUnicode(text.data(), text.size(), out);
    converter.finish(out);
    EXPECT_EQ(std::string(out.bytes().begin(), out.bytes().end()), expected) << ccsid;
  }
}

// Stateful output: the shift back to single-byte mode is written when the
// pending text ends up converted, and raw bytes go after it. Text given
// while a hold lives is dropped when the hold ends without keep(), kept with
// it; raw bytes never overtake held text.
TEST(TextBufferWriter, RawBytesFollowConvertedTextAndShiftStateNeverHeldText) {
  WritableBitstreamBuffer out;
  TextBufferWriter writer(&out, 1390, 2, /*pendingCapacity=*/4);
  writer.appendPending(u"a\u65e5", 2);
  {
    TextBufferWriter::Hold hold(writer);
    writer.appendStr(ZelWstring(u"a\u65e5a\u65e5"));
    EXPECT_THROW(writer.appendRaw("\xAA", 1), ZelFatalException);
    EXPECT_THROW(writer.flush(), ZelFatalException);
    EXPECT_THROW(TextBufferWriter::Hold{writer}, ZelFatalException);
  }
  {
    TextBufferWriter::Hold hold(writer);
    writer.appendStr(ZelWstring(u"a"));
    hold.keep();
  }
  writer.appendRaw("\xAA", 1);
  EXPECT_EQ(hexOf(out.bytes()), "620e45620f62aa");
}

// Pieces of every length up to past the short-copy sizes land whole and in
// order in the pending text.
TEST(TextBufferWriter, PendingPiecesOfEveryLengthKeepTheirUnits) {
  WritableBitstreamBuffer out;
  TextBufferWriter writer(&out, 1208, -1, /*pendingCapacity=*/4096);
  std::u16string expected;
  for (std::size_t length = 0; length <= 40; ++length) {
    std::u16string piece;
    for (std::size_t i = 0; i < length; ++i) piece += static_cast<char16_t>(u'A' + (length + i) % 26);
    writer.appendPending(piece.data(), piece.size());
    expected += piece;
  }
  writer.appendPending(nullptr, 0);
  EXPECT_EQ(writer.pendingText(), expected);
}

// Text written in place lands after the pending text; a reservation that
// does not fit converts the pending text first, so nothing is lost or
// reordered.
TEST(TextBufferWriter, ReservedRoomFollowsThePendingTextAndMakesRoom) {
  WritableBitstreamBuffer out;
  TextBufferWriter writer(&out, 1208, -1, /*pendingCapacity=*/8);
  writer.appendPending(u"<a>", 3);
  char16_t* target = writer.reservePending(4);
  std::u16string_view(u"12").copy(target, 2);
  writer.commitPending(2);
  EXPECT_EQ(writer.pendingText(), u"<a>12");
  EXPECT_TRUE(out.bytes().empty());
  target = writer.reservePending(6);
  EXPECT_EQ(std::string(out.bytes().begin(), out.bytes().end()), "<a>12");
  EXPECT_TRUE(writer.pendingText().empty());
  std::u16string_view(u"345678").copy(target, 6);
  writer.commitPending(6);
  writer.flush();
  EXPECT_EQ(std::string(out.bytes().begin(), out.bytes().end()), "<a>12345678");
}

}  // namespace
