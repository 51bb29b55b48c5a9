#ifndef EBCDICLINEENDS_H
#define EBCDICLINEENDS_H

#include "zelapi.h"

#include <cstddef>
#include <cstdint>

// Mainframe documents end their lines with EBCDIC's NL (0x15), which the
// EBCDIC code pages' tables read as U+0085: to XML 1.0 a character of the
// text, and refused in markup. Such documents are scanned with each NL as LF
// (0x25), so that either ends a line, while U+0085 and U+2028 in documents
// of any other code page stay characters of their text. (U+0085 written
// into an EBCDIC document goes as a character reference.)

// The code page a document in the code page ccsid, or with ccsid 0 in the
// one its XML declaration names, is scanned in with NL as LF: one of EBCDIC
// with both NL and LF; 0 where it is none.
ZEL_API long nlAsLfCodePage(long ccsid, const void* bytes, std::size_t size);
// Whether it has one.
ZEL_API bool scansNlAsLf(long ccsid, const void* bytes, std::size_t size);

// Every NL as LF, in place.
ZEL_API void nlToLf(std::uint8_t* bytes, std::size_t size);

#endif
