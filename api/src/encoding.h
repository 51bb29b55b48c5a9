#ifndef WFXML_SRC_ENCODING_H
#define WFXML_SRC_ENCODING_H

// Encoding names of ParseOptions and WriteOptions as the host framework's
// message properties: a code page (CCSID) and a byte order.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

class MessageInfo;

namespace wfxml::detail {

struct CodePage {
  long ccsid = 0;              // 0: found by the parser (byte-order mark, XML declaration)
  bool littleEndian = false;   // UTF-16 and UTF-32 only
  bool operator==(const CodePage& o) const { return ccsid == o.ccsid && littleEndian == o.littleEndian; }
  bool operator!=(const CodePage& o) const { return !(*this == o); }
};

// The code page of an encoding name: "utf-8", "utf-16le", "utf-16be",
// "utf-16" (big-endian), "utf-32le", "utf-32be", "utf-32" (big-endian),
// "ibm-NNN" or "NNN" (a CCSID), or an ICU converter name ("iso-8859-1",
// "windows-1252", "shift_jis"); case does not matter. An empty name is code
// page 0. Throws Error CP_UNKNOWN_ENCODING (insert: the name) for a name no
// converter answers to, CP_CODEPAGE_ERROR (the name, why) for one whose
// converter has no CCSID or cannot write XML.
CodePage codePageOf(std::string_view name);

// The code page to parse bytes in, by the encoding name given: the name's,
// but none for UTF-32 of bytes that start with a byte-order mark (of any
// Unicode encoding), which the scanner reads by its mark.
CodePage codePageToRead(std::string_view name, const void* bytes, std::size_t size);

// The properties to parse bytes with, where they differ from those given:
// as codePageToRead, without the code page of UTF-32 for bytes that start
// with a byte-order mark.
std::optional<MessageInfo> propertiesToRead(const MessageInfo& properties, const void* bytes, std::size_t size);

// Sets the "ccsid" and "encoding" properties. Both are always set: a worker
// keeps a code page from one parse to the next unless told otherwise.
void setCodePage(const CodePage& codePage, MessageInfo& properties);
// The code page the properties set; code page 0 where they set none.
CodePage codePageOf(const MessageInfo& properties);

// The name to force on Xerces-C's scanner for a code page ("UTF-16LE",
// "ibm-500"); empty for code page 0 and for UTF-8, UTF-16 and UTF-32 of
// bytes that start with a byte-order mark (of any of them), which the scanner
// reads by the mark, as the parser has it.
std::u16string scannerEncodingOf(const CodePage& codePage, const void* bytes, std::size_t size);

// Why bytes cannot be read as the scanner would read them (scannerEncoding,
// as scannerEncodingOf names it; empty for none): their XML declaration
// names another code page, in which they read otherwise, that the forced
// one would override without a word (an "é" of UTF-8 read as "Ã©" of
// ISO-8859-1); a byte-order mark meets a code page of no Unicode form, or
// UTF-8's mark a declaration of another encoding; else nullopt.
std::optional<std::string> declarationContradicting(const std::u16string& scannerEncoding, const void* bytes,
                                                    std::size_t size);

// The code page in which the scanner, forced to scannerEncoding (as
// scannerEncodingOf names it; empty for none), reads the document with NL as
// LF (EBCDIC line ends, ebcdiclineends.h); 0 where it reads NL otherwise.
long nlAsLfCodePage(const std::u16string& scannerEncoding, const void* bytes, std::size_t size);
// Whether it has one.
inline bool scansNlAsLf(const std::u16string& scannerEncoding, const void* bytes, std::size_t size) {
  return nlAsLfCodePage(scannerEncoding, bytes, size) != 0;
}

}  // namespace wfxml::detail

#endif
