#ifndef XMLPRINTER_H
#define XMLPRINTER_H

#include "zelwstring.h"

#include <string_view>

class TextBufferWriter;

// Punctuation the printer and the writer append.
inline constexpr std::u16string_view XML_DOCTYPE_PREFIX_STR = u"<!DOCTYPE ";
inline constexpr std::u16string_view XML_PUBLIC_PREFIX_STR = u" PUBLIC ";
inline constexpr std::u16string_view XML_SYSTEM_PREFIX_STR = u" SYSTEM ";
inline constexpr std::u16string_view XML_DOUBLEQUOTE_STR = u"\"";
inline constexpr std::u16string_view XML_SPACE_STR = u" ";
inline constexpr std::u16string_view XML_NEWLINE_STR = u"\n";
inline constexpr std::u16string_view XML_GREATERTHAN_STR = u">";
inline constexpr std::u16string_view XML_INTERNAL_PREFIX_STR = u" [";
inline constexpr std::u16string_view XML_INTERNAL_SUFFIX_STR = u"]";
inline constexpr std::u16string_view XML_CDATA_PREFIX_STR = u"<![CDATA[";
inline constexpr std::u16string_view XML_CDATA_SUFFIX_STR = u"]]>";
inline constexpr std::u16string_view XML_INDENT_STR = u"  ";
// The characters escaped in text and attribute values, and their entities.
inline constexpr std::u16string_view XML_ENTITY_STD = u"<>&'\"";
inline constexpr std::u16string_view XML_ENTITY_LT_STR = u"&lt;";
inline constexpr std::u16string_view XML_ENTITY_GT_STR = u"&gt;";
inline constexpr std::u16string_view XML_ENTITY_AMP_STR = u"&amp;";
inline constexpr std::u16string_view XML_ENTITY_SQ_STR = u"&apos;";
inline constexpr std::u16string_view XML_ENTITY_DQ_STR = u"&quot;";

// Where escaped text goes: element content, or an attribute value between
// double quotes.
enum class EscapeKind { Content, AttributeValue };

// The lowest layer of the XML writer: appends UTF-16 text to a
// TextBufferWriter, which converts it into the output code page.
//
// Small pieces are gathered in the text writer's pending text and converted
// in batches of at most its pending capacity; a piece longer than the
// capacity is converted at once, after the pending text. Whoever ends the
// document flushes the text writer (TextBufferWriter::flush).
//
// Escaping goes beyond the five special characters on purpose, so that the
// output is always well-formed and every value reads back as it was
// written: a carriage return becomes "&#xD;" (a parser would turn it into a
// line feed), and in attribute values tab and line feed become "&#x9;" and
// "&#xA;" (a parser would turn them into blanks); next line (U+0085) and
// line separator (U+2028), line ends to a parser that recognises mainframe
// line ends, become "&#x85;" and "&#x2028;" everywhere. A character XML 1.0 cannot
// carry (a control character other than tab, line feed and carriage return,
// a surrogate that is not part of a pair, U+FFFE or U+FFFF) is refused with
// ZelConversionException CP_CONVERSION_ERROR ("XML 1.0 cannot carry the
// character", the character as U+XXXX, its offset in the text), before any
// of the text is appended.
//
// The functions are static and take the text writer first. An XMLPrinter
// object only carries the layout state that the writer reads and updates.
// Conversion errors of the text writer (ZelConversionException) pass through.
class XMLPrinter {
public:
  XMLPrinter(TextBufferWriter* textBuffer, bool prettyPrint) : iPrettyPrint(prettyPrint), iTextBuffer(textBuffer) {}

  bool iPrettyPrint;              // a new line and indentation before tags
  long iDepth = 0;                // open elements: the number of indentation units
  bool iValueWritten = false;     // a value was just written, its end tag follows on the same line
  TextBufferWriter* iTextBuffer;  // where all text goes; borrowed

  // Buffered append of text, unchanged. A null text appends nothing; a
  // negative length means up to the terminating zero.
  static void appendStr(TextBufferWriter* out, const char16_t* text, long length);
  static void appendStr(TextBufferWriter* out, const ZelWstring& text);
  static void appendStr(TextBufferWriter* out, std::u16string_view text);
  // Buffered append of text escaped as content (kind: as an attribute
  // value); null and negative length as above. Throws for a character XML
  // 1.0 cannot carry (above), having appended nothing.
  static void appendReplaceStr(TextBufferWriter* out, const char16_t* text, long length);
  static void appendReplaceStr(TextBufferWriter* out, const ZelWstring& text);
  static void appendReplaceStr(TextBufferWriter* out, std::u16string_view text,
                               EscapeKind kind = EscapeKind::Content);
  // The same for an XML 1.1 document: the control characters that XML 1.1
  // allows only as references (U+0001 to U+001F but tab, line feed and
  // carriage return, and U+007F to U+009F) are written as such.
  static void appendReplaceStr11(TextBufferWriter* out, std::u16string_view text, EscapeKind kind);
  // out := in escaped as content: "<", ">", "&", "'" and '"' replaced by
  // "&lt;", "&gt;", "&amp;", "&apos;" and "&quot;", a carriage return by
  // "&#xD;"; every other unit is copied as it is. Throws as appendReplaceStr.
  static void replaceSpecialChars(const ZelWstring& in, ZelWstring& out);

  // The byte-order mark of UTF-16 (FE FF, or FF FE for byte order 1) and
  // UTF-32 (00 00 FE FF, or FF FE 00 00) output, written raw after the text
  // so far; nothing for other code pages or without a byte order (-1).
  static void outputBOM(TextBufferWriter* out);
  // "<!DOCTYPE root", " PUBLIC "p" "s"" when both identifiers are given,
  // else " SYSTEM "s"" with a system identifier, then " [subset]" (line
  // feeds inside the brackets when newLines), then ">". A null pointer or a
  // text starting with a zero unit counts as absent. Nothing is escaped.
  static void outputDocType(TextBufferWriter* out, const char16_t* rootName, const char16_t* publicId,
                            const char16_t* systemId, const char16_t* internalSubset, bool newLines);
  // "<![CDATA[", text unchanged (null = empty; negative length as above), "]]>".
  static void outputCDataSection(TextBufferWriter* out, const char16_t* text, long length = -1);
  static void outputInternalSubsetBegin(TextBufferWriter* out);  // " ["
  static void outputInternalSubsetEnd(TextBufferWriter* out);    // "]"
};

#endif
