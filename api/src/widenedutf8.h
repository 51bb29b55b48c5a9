#ifndef WFXML_SRC_WIDENEDUTF8_H
#define WFXML_SRC_WIDENEDUTF8_H

// A UTF-8 document handed to Xerces-C's scanner as UTF-16. The scanner's
// reader works in UTF-16 and its UTF-8 transcoder costs about 9
// instructions a byte; widening ASCII eight bytes at a time costs about
// one, and UTF-16 in the machine's byte order is nearly copied. The scanner
// reads the same characters either way, so it finds the same problems
// (WidenedUtf8Source, for a check of the verdict alone, leaves some out).

#include <xercesc/sax/InputSource.hpp>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wfxml::detail {

// True when Xerces-C reads the document as UTF-8 (forcedEncoding empty or
// "UTF-8"; else no other byte-order mark or encoding declaration). Whether
// its bytes are UTF-8 throughout, WidenedUtf8Source finds as it hands them
// out.
bool readsAsUtf8(const void* bytes, std::size_t size, const std::u16string& forcedEncoding);

// Where the scanner reads the document as UTF-8 and its last bytes begin a
// sequence the end cuts short: that lead byte's line and column (in
// characters, both from 1). Xerces-C's decoder waits for the missing bytes
// and, when none come, drops the sequence without a word, so "<a/>\xFF"
// would read as well-formed and "<a>\xFF</a>" as a document cut off.
struct Utf8Fault {
  std::size_t line = 0;
  std::size_t column = 0;
  unsigned char byte = 0;  // the lead byte, or the byte that begins no sequence
};
std::optional<Utf8Fault> cutShortUtf8(const void* bytes, std::size_t size, const std::u16string& forcedEncoding);
// Whether the last bytes begin a sequence the end cuts short, whatever the
// encoding: false for nearly every document, found in a few instructions.
bool mayEndInsideUtf8Sequence(const void* bytes, std::size_t size);
// What is wrong there, as a problem's message.
std::string cutShortUtf8Reason(const Utf8Fault& cut);

// Bytes as messages name them: "0x85 0x40".
std::string hexBytes(const void* bytes, std::size_t count);

// Where the scanner reads the document as UTF-8 and a byte of it begins no
// UTF-8 sequence (RFC 3629): that byte, its line and column. Xerces-C names
// the start of the block it was decoding instead (often the first line) and
// the byte after the bad one.
std::optional<Utf8Fault> firstNonUtf8Byte(const void* bytes, std::size_t size, const std::u16string& forcedEncoding);
std::string nonUtf8Reason(const Utf8Fault& bad);
// Why a document cannot be read, where the scanner's own message names
// neither cause: it is in UTF-16 or UTF-32 (by its byte-order mark, or by
// the zero bytes around its first '<') and declares an encoding of neither,
// such as UTF-8 (a file converted without its declaration), which the
// scanner takes at its word ("invalid byte '' at position 2 of a 3-byte
// sequence"); it is UTF-16 or UTF-32 without byte-order mark or declaration,
// or EBCDIC without a declaration of its code page, both of which the
// scanner reads as UTF-8; or it holds JSON, or no character but white space
// (an empty file; both "invalid document structure"). The reason, as a
// problem's message;
// else nullopt.
std::optional<std::string> unreadableDocumentReason(const void* bytes, std::size_t size);
// The part of unreadableDocumentReason for a document in UTF-16 or UTF-32
// (by its byte-order mark, or by the zero bytes around its first '<') that
// declares an encoding of neither.
std::optional<std::string> wideDocumentDeclaringOtherEncoding(const void* bytes, std::size_t size);
// Why a document that starts with UTF-8's byte-order mark is not read: its
// declaration names another encoding, which the scanner would read it in
// without a word (an "é" of UTF-8 as "Ã©" of ISO-8859-1); else nullopt.
std::optional<std::string> utf8MarkDeclaringOtherEncoding(const void* bytes, std::size_t size);

// Whether a code of Xerces-C's exceptions (XMLExcepts) is one of its
// decoders' for bytes they cannot read: Trans_Unrepresentable to
// Trans_BadTrailingSurrogate, UTF8_FormatError to UTF8_Exceeds_BytesLimit.
inline bool isUndecodableCode(long long code) { return (code >= 77 && code <= 80) || (code >= 89 && code <= 93); }

// What follows the prolog of a document in UTF-8: its byte-order mark, XML
// declaration, comments, processing instructions and white space left out
// (an unterminated comment or instruction is left in).
std::string_view afterProlog(std::string_view document);
// Whether that goes on to a document type declaration.
bool declaresDocumentType(std::string_view document);

// The document of readsAsUtf8 widened as WidenedUtf8Source hands it out,
// checked in the same pass: the number of units now at the start of out
// (which only grows, so that one buffer serves document after document),
// or nullopt where readsAsUtf8 is false.
std::optional<std::size_t> widenUtf8(const void* bytes, std::size_t size, const std::u16string& forcedEncoding,
                                     std::vector<char16_t>& out);
// Turns the plain comments right after the XML declaration of a document
// widenUtf8 widened into blanks, their line ends kept, for a parse that keeps
// nothing of them: the scanner passes blanks at a fraction of a comment's
// cost (FpML's licence comment), and every line and column stays the
// document's.
void blankPlainPrologComments(const void* bytes, std::size_t size, char16_t* widened);

// The document as UTF-16 for a scan that only asks whether it passes, the
// bytes widened as the scanner reads them (a UTF-8 byte-order mark left out).
// The comments right after its XML declaration are left out too where they
// are plain (printable ASCII, tabs and line ends, no "--" within): the
// scanner reads a comment a character at a time, some 130 instructions
// each (FpML's licence comments were 5 % of its check), and finds nothing
// wrong in such a one; what follows them is handed over as it is. Lines and
// columns are then not the document's. Only for documents readsAsUtf8
// accepts; the bytes must outlive the scan. Bytes that are not UTF-8
// (RFC 3629) end the document for the scanner there.
class WidenedUtf8Source : public xercesc::InputSource {
public:
  WidenedUtf8Source(const void* bytes, std::size_t size);
  xercesc::BinInputStream* makeStream() const override;  // the scanner adopts it
  // False once the stream has met bytes that are not UTF-8: a scan that
  // passed then read only part of the document.
  bool wasUtf8() const { return wasUtf8_; }

private:
  const unsigned char* bytes_;
  std::size_t size_;
  mutable bool wasUtf8_ = true;  // set by the stream
};

}  // namespace wfxml::detail

#endif
