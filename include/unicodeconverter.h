#ifndef UNICODECONVERTER_H
#define UNICODECONVERTER_H

#include "zelapi.h"
#include "zelwstring.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class WritableBitstreamBuffer;

// Converts UTF-16 text into one code page, given by its CCSID, and appends the
// bytes to an output buffer. One object holds one converter for the whole of a
// document: a surrogate pair or a shift state (stateful double-byte EBCDIC)
// may span two calls, and finish() ends the document's text.
//
// CCSIDs:
//   1208                  UTF-8
//   1200, 13488, 17584    UTF-16
//   1232, 1234, 1236      UTF-32
//   anything else         the IBM table of that number ("ibm-<ccsid>"), for
//                         example 37, 500, 1047 (EBCDIC), 819, 1252, 5348
//                         (single byte), 943, 1386 (double byte)
// UTF-16 and UTF-32 are written little-endian when the byte order is 1 and
// big-endian otherwise (2, or -1 for none), whatever the CCSID's own default
// order: the byte-order mark that the writer puts in front follows the same
// setting, so the two always agree. No converter writes a mark of its own.
//
// Characters the code page cannot represent are written as XML decimal
// character references ("&#233;") in character data and attribute values,
// so the output stays readable XML; anywhere else (a name, a comment, a
// processing instruction, a CDATA section, the DOCTYPE) a reference would
// not read back as the character, and the conversion fails.
class ZEL_API CPUnicodeConverter {
public:
  // Throws ZelFatalException CP_CODEPAGE_ERROR (insert: the ccsid) when there
  // is no converter for the CCSID.
  CPUnicodeConverter(long ccsid, long byteOrder);
  ~CPUnicodeConverter();
  CPUnicodeConverter(const CPUnicodeConverter&) = delete;
  CPUnicodeConverter& operator=(const CPUnicodeConverter&) = delete;

  // UTF-16 and UTF-32 CCSIDs: the code pages that take a byte-order mark.
  static bool IsUnicode(long ccsid);

  long getCodepage() const { return ccsid_; }
  bool isLittleEndian() const { return littleEndian_; }
  // The name to put in an XML declaration's encoding attribute: "UTF-8",
  // "UTF-16", "ISO-10646-UCS-4", else "IBM" and the CCSID with at least three
  // digits ("IBM037", "IBM500", "IBM943"). The scanner (through ICU) and
  // libxml2 both read these names back. Valid while the converter lives.
  const char* getName() const { return name_.c_str(); }
  // 1 for UTF-8 and the single- and multi-byte tables, 2 for UTF-16, 4 for UTF-32.
  int getMinBytesPerChar() const;

  // Converts text and appends the bytes to out. A surrogate at the end of
  // text may be held until the next call. On failure nothing is appended by
  // this call, the converter is reset, and ZelConversionException
  // CP_CONVERSION_ERROR is thrown (inserts: the ccsid, the offset of the
  // failing unit within text, 0 when it was held from the call before): for
  // an unpaired surrogate, which no encoding can carry, or for a character
  // the code page lacks where no reference may stand for it (a third
  // insert: the character, "U+0416").
  void fromUnicode(const char16_t* text, std::size_t length, WritableBitstreamBuffer& out);
  // Ends the text: appends what the converter still holds (the shift back to
  // single-byte mode of a stateful code page) and returns to the initial
  // state. A surrogate still held fails as above.
  void finish(WritableBitstreamBuffer& out);

  // Text in the process's local code page (for example the output of
  // ctime_r) as UTF-16; bytes the local code page cannot read become U+FFFD.
  // Throws ZelFatalException CP_CODEPAGE_ERROR (insert: "local") when the
  // local code page has no converter.
  static ZelWstring fromLocalToUnicode(const char* text, std::size_t length);

  // A new document starts in the same converter: what was written before no
  // longer says where a reference may stand.
  void beginDocument();

private:
  // Converts through ICU. On failure the buffer goes back to sizeBefore, and
  // offset (where text starts within the caller's text) is added to the
  // offset insert.
  void convert(const char16_t* text, std::size_t length, bool flush, WritableBitstreamBuffer& out,
               std::size_t sizeBefore, long offset);

  struct Handle;
  std::unique_ptr<Handle> handle_;
  long ccsid_;
  bool littleEndian_;
  std::string name_;
  std::vector<std::uint8_t> scratch_;  // converted bytes before they reach the output
};

#endif
